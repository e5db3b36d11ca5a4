#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "align/align.h"
#include "align/subtree_threads.h"
#include "run/run.h"
#include "support/nodes.h"
#include "support/whole_run.h"

namespace vorbex {
namespace {

using test_support::InputGenerator;
using test_support::NodePool;
using test_support::runInProcess;
using test_support::RunOutput;
using test_support::TreeShape;
using test_support::workText;

void expectSameOutput(const RunOutput& expected, const RunOutput& actual) {
    EXPECT_EQ(expected.result, actual.result);
    EXPECT_EQ(expected.standardOutput, actual.standardOutput);
    EXPECT_EQ(expected.report, actual.report);
}

// Whole runs on one binary tree: two and three threads write what the plain
// run writes, on every shape, with dumps of every step, and where alignments
// pass the longest allowed part way up the tree.
TEST(SubtreeThreads, OneTreeOnSeveralThreadsGivesThePlainRun) {
    struct Case {
        unsigned seed;
        int leaves;
        int length;
        std::vector<std::string> options;
        bool fails = false;
    };
    const std::vector<Case> cases = {
        {1, 2, 40, {}},
        {2, 3, 40, {}},
        {3, 9, 60, {"-O63"}},
        {4, 24, 120, {}},
        {5, 40, 200, {"-T"}},
        {6, 40, 200, {"-W2", "-D0"}},
        {9, 24, 120, {"--scoring=sp"}},
        {10, 30, 100, {"--scoring=sp", "--refine=2"}},
        {7, 16, 300, {"--max-length=330"}, true},
        {8, 16, 300, {"--max-length=390"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "seed " << c.seed);
        const auto input = InputGenerator(c.seed, TreeShape{c.leaves, 0, false, 1, c.length}).generate();
        for (const char* threads : {"--threads=2", "--threads=3"}) {
            std::vector<std::string> options = c.options;
            options.push_back(threads);
            const RunOutput plain = runInProcess(input.fasta, input.newick, options, true);
            EXPECT_EQ(plain.result != 0, c.fails);
            expectSameOutput(plain, runInProcess(input.fasta, input.newick, options, false));
        }
    }
}

class FoundAlignments : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(initialiseRun(), 0); }

    // Related random sequences: each a copy of the first with changes
    static std::vector<std::string> related(unsigned seed, int count, int length) {
        std::mt19937 random(seed);
        std::string first;
        for (int i = 0; i < length; ++i)
            first += "ACGT"[random() % 4];
        std::vector<std::string> texts{first};
        while (static_cast<int>(texts.size()) < count) {
            std::string copy;
            for (char base : first)
                if (random() % 10 != 0)
                    copy += random() % 8 == 0 ? "ACGTN"[random() % 5] : base;
            texts.push_back(copy);
        }
        return texts;
    }

    NodePool pool;
};

// What another thread found and the nodes were later given equals what
// aligning them gives: columns, length and score.
TEST_F(FoundAlignments, GivenLaterEqualsAlignedAtOnce) {
    for (unsigned seed = 1; seed <= 6; ++seed) {
        const auto texts = related(seed, 2, 50 + 40 * static_cast<int>(seed));
        TreeNode* a = pool.leaf(texts[0].c_str());
        TreeNode* b = pool.leaf(texts[1].c_str());
        TreeNode* c = pool.leaf(texts[0].c_str());
        TreeNode* d = pool.leaf(texts[1].c_str());
        FoundAlignment found{};
        bool ok = false;
        // In a workspace of its own, as a pool thread finds
        std::thread([&] {
            PairwiseWorkspace own;
            ok = findAlignment(own, a, b, found);
        }).join();
        ASSERT_TRUE(ok);
        EXPECT_EQ(workText(a), texts[0]) << "finding must not touch the nodes";
        double given = 0.0;
        double aligned = 0.0;
        ASSERT_EQ(keepFoundAlignment(mainWorkspace(), a, b, found, given), 0);
        ASSERT_EQ(alignProfiles(c, d, aligned), 0);
        EXPECT_EQ(given, aligned);
        EXPECT_EQ(workText(a), workText(c));
        EXPECT_EQ(workText(b), workText(d));
    }
}

// A balanced tree's nodes reach `build` on the calling thread, in the order
// given, whichever thread found them; the first failure stops the build there.
TEST_F(FoundAlignments, NodesAreBuiltInOrderUntilTheFirstFailure) {
    const auto texts = related(9, 16, 200);
    std::vector<TreeNode*> level;
    for (const std::string& text : texts)
        level.push_back(pool.leaf(text.c_str()));
    std::vector<TreeNode*> order;
    while (level.size() > 1) {
        std::vector<TreeNode*> up;
        for (std::size_t i = 0; i + 1 < level.size(); i += 2)
            up.push_back(pool.inner(level[i], level[i + 1]));
        order.insert(order.end(), up.begin(), up.end());
        level = up;
    }
    static std::vector<TreeNode*> built;
    static std::thread::id caller;
    static TreeNode* failing;
    // Aligns the children and gives the node the first child's columns
    const auto build = [](TreeNode* node, const FoundAlignment* found) -> ResultCode {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        if (node == failing)
            return ERINT;
        double score;
        TreeNode* first = node->children[0];
        const ResultCode code =
            found != nullptr ? keepFoundAlignment(mainWorkspace(), first, node->children[1], *found, score)
                             : alignProfiles(first, node->children[1], score);
        if (code != 0)
            return code;
        for (int c = 0; c < first->workLength; ++c)
            node->workProfile[c] = node->savedProfile[c] = first->workProfile[c];
        node->workLength = node->savedLength = first->workLength;
        built.push_back(node);
        return 0;
    };
    caller = std::this_thread::get_id();
    struct Split {
        int threads;
        std::size_t failAt;
        double poolThreadBytes;
    };
    const double any = 1e18;
    for (const Split& split : {Split{2, order.size(), any}, Split{2, 5, any}, Split{3, 0, any},
                               Split{3, order.size(), any}, Split{2, order.size(), 0.0}}) {
        const std::size_t failAt = split.failAt;
        SCOPED_TRACE(::testing::Message() << split.threads << " threads, failing at " << failAt
                                          << ", pool threads' memory " << split.poolThreadBytes);
        for (TreeNode* node : order)
            node->workLength = node->savedLength = 0;
        for (int i = 0; i < 16; ++i) {
            TreeNode* leaf = order[static_cast<std::size_t>(i / 2)]->children[i % 2];
            leaf->workLength = leaf->savedLength =
                static_cast<int>(texts[static_cast<std::size_t>(i)].size());
            for (int c = 0; c < leaf->workLength; ++c)
                leaf->workProfile[c] = leaf->savedProfile[c];
        }
        built.clear();
        failing = failAt < order.size() ? order[failAt] : nullptr;
        const SubtreeThreadsResult result =
            buildOnThreads(mainWorkspace(), order, build, split.threads, split.poolThreadBytes);
        // An alignment too large for a pool thread's memory is left to the calling thread
        if (split.poolThreadBytes == 0.0) {
            EXPECT_EQ(result.foundByPool, 0);
        }
        EXPECT_LE(result.foundByPool, result.built);
        if (failing != nullptr) {
            EXPECT_EQ(result.code, ERINT);
            EXPECT_EQ(result.built, static_cast<int>(failAt));
        } else {
            EXPECT_EQ(result.code, 0);
            // What is left to the caller is a chain up to the root, each node
            // waiting for the one before
            ASSERT_LT(result.built, static_cast<int>(order.size()));
            for (std::size_t i = static_cast<std::size_t>(result.built); i + 1 < order.size(); ++i)
                EXPECT_EQ(order[i]->parent, order[i + 1]);
        }
        EXPECT_EQ(built, std::vector<TreeNode*>(order.begin(), order.begin() + result.built));
    }
}

} // namespace
} // namespace vorbex
