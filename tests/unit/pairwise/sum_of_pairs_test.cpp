#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "align/align.h"
#include "base/settings.h"
#include "run/run.h"
#include "support/nodes.h"
#include "support/row_scores.h"

namespace vorbex {
namespace {

using test_support::NodePool;
using test_support::sumOfPairsOfText;
using test_support::workText;

// Costs of --scoring=sp: a match 1, a transition 0.1, a transversion -0.15, a
// gap opening -1.75 and each gap column -0.15 (times the bases they face), as
// much for a base against a gap in a paired column; a gap before or after a
// profile is charged no opening.
class SumOfPairs : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(initialiseRun(), 0);
        longOptions.scoring = Scoring::SUM_OF_PAIRS;
    }
    void TearDown() override { longOptions = LongOptions{}; }

    struct Result {
        std::string first;
        std::string second;
        double score;
        ResultCode code;
    };

    Result align(const char* first, const char* second) {
        TreeNode* a = pool.leaf(first);
        TreeNode* b = pool.leaf(second);
        double score = 0.0;
        const ResultCode code = alignProfiles(a, b, score);
        EXPECT_EQ(a->workLength, b->workLength);
        return {workText(a), workText(b), score, code};
    }

    // A profile of equally long rows, each weighing the same
    TreeNode* profileOf(const std::vector<const char*>& rows) {
        std::vector<TreeNode*> leaves;
        for (const char* row : rows)
            leaves.push_back(pool.leaf(row));
        TreeNode* node = leaves[0];
        for (int c = 0; c < node->workLength; ++c) {
            ProfileColumn sum{};
            for (const TreeNode* leaf : leaves)
                for (int x = 0; x < BASE_COUNT; ++x)
                    sum.weight[x] += leaf->workProfile[c].weight[x] / static_cast<double>(rows.size());
            node->workProfile[c] = node->savedProfile[c] = sum;
        }
        return node;
    }

    NodePool pool;
};

TEST_F(SumOfPairs, PairsAndGapsScoreAsTheCostsSay) {
    const struct {
        const char* first;
        const char* second;
        const char* alignedFirst;
        const char* alignedSecond;
        double score;
    } cases[] = {
        // Equal profiles: every column a match
        {"ACGTACGT", "ACGTACGT", "ACGTACGT", "ACGTACGT", 8.0},
        // A transition scores more than a transversion, and both more than two end gaps
        {"A", "G", "A", "G", 0.1},
        {"A", "C", "A", "C", -0.15},
        // One base missing inside: one gap, opened and extended once
        {"ACGTTGCAAGCT", "ACGTTGAAGCT", "ACGTTGCAAGCT", "ACGTTG-AAGCT", 11.0 - 1.75 - 0.15},
        // Where shifting costs less than opening a gap inside, the gap goes to the end
        {"AACCGGTT", "AACGGTT", "AACCGGTT", "-AACGGTT", 6.0 - 0.15 - 0.15},
        // Missing at the ends: no opening
        {"TTACGTACGG", "ACGTAC", "TTACGTACGG", "--ACGTAC--", 6.0 - 4 * 0.15},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.first) + " against " + c.second);
        const Result r = align(c.first, c.second);
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.first, c.alignedFirst);
        EXPECT_EQ(r.second, c.alignedSecond);
        EXPECT_NEAR(r.score, c.score, 1e-12);
    }
}

TEST_F(SumOfPairs, GapsOfAProfileOpenAsEachPairOfItsRowsWithTheOtherCountsThem) {
    // The profiles' scores are means over their pairs of rows: where the gaps
    // of a profile's rows nest, each pair is scored as the two rows alone
    const double gap = -1.75 - 0.15;
    const struct {
        std::vector<const char*> first, second;
        const char* alignedLeaf; // the single row of one side, aligned
        double score;
    } cases[] = {
        // Half the second's rows have a gap facing the C: it opens there
        {{"ACGT"}, {"ACGT", "A-GT"}, "ACGT", (4.0 + (3.0 + gap)) / 2},
        {{"ACGT", "A-GT"}, {"ACGT"}, "ACGT", (4.0 + (3.0 + gap)) / 2},
        // A gap of the leaf over two columns faces a row whose own gap starts
        // it: one opening against each row, as the row's base after its gap
        // begins again inside the leaf's gap
        {{"ACGT"}, {"ACTTGT", "AC-TGT"}, "AC--GT", ((4.0 - 1.75 - 0.3) + (4.0 + gap)) / 2},
        {{"ACTTGT", "AC-TGT"}, {"ACGT"}, "AC--GT", ((4.0 - 1.75 - 0.3) + (4.0 + gap)) / 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.first[0]) + " against " + c.second[0]);
        TreeNode* a = profileOf(c.first);
        TreeNode* b = profileOf(c.second);
        double score = 0.0;
        ASSERT_EQ(alignProfiles(a, b, score), 0);
        EXPECT_EQ(workText(c.first.size() == 1 ? a : b), c.alignedLeaf);
        EXPECT_NEAR(score, c.score, 1e-12);
    }
}

TEST_F(SumOfPairs, AnAlignmentPastTheLongestAllowedLeavesTheProfilesAsTheyWere) {
    // Eight transversions cost more than eight end gap columns and four matches
    longOptions.maxLength = 11;
    testing::internal::CaptureStdout();
    const Result r = align("aaaatttt", "ttttaaaa");
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(r.code, ERINT);
    EXPECT_EQ(r.first, "AAAATTTT");
    EXPECT_EQ(r.second, "TTTTAAAA");
    EXPECT_NE(output.find("MAXSEQLEN overflow"), std::string::npos);
}

} // namespace
} // namespace vorbex
