#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "align/align.h"
#include "run/parallel_candidates.h"
#include "support/whole_run.h"

namespace vorbex {
namespace {

using test_support::InputGenerator;
using test_support::RandomInput;
using test_support::runInProcess;
using test_support::RunOutput;
using test_support::TreeShape;

struct Comparison {
    RunOutput shared;
    RunOutput plain;
    SharingCounters sharedCounters;
    SharingCounters plainCounters;
};

Comparison runBoth(const std::string& fasta, const std::string& newick,
                   const std::vector<std::string>& options) {
    Comparison comparison;
    sharingCounters = {0, 0, 0};
    comparison.shared = runInProcess(fasta, newick, options, false);
    comparison.sharedCounters = sharingCounters;
    sharingCounters = {0, 0, 0};
    comparison.plain = runInProcess(fasta, newick, options, true);
    comparison.plainCounters = sharingCounters;
    return comparison;
}

// The run that shares work says and writes exactly what the plain run does,
// and every node it built was aligned, rebuilt or kept as built. Returns the
// nodes rebuilt or kept.
long long expectSameRun(const RandomInput& input, const std::vector<std::string>& options) {
    const Comparison c = runBoth(input.fasta, input.newick, options);
    const std::string context = input.newick + input.fasta;
    EXPECT_EQ(c.shared.result, 0) << c.shared.standardOutput << context;
    EXPECT_EQ(c.shared.result, c.plain.result) << context;
    EXPECT_EQ(c.shared.standardOutput, c.plain.standardOutput) << context;
    EXPECT_TRUE(c.shared.report == c.plain.report) << "reports differ for\n" << context;
    EXPECT_EQ(c.plainCounters.alignmentsReused, 0);
    EXPECT_EQ(c.sharedCounters.alignmentsComputed + c.sharedCounters.alignmentsReused +
                  c.sharedCounters.nodesKept,
              c.plainCounters.alignmentsComputed)
        << context;
    return c.sharedCounters.alignmentsReused + c.sharedCounters.nodesKept;
}

RandomInput generate(unsigned seed, const TreeShape& shape) {
    return InputGenerator(seed, shape).generate();
}

// One process, so that the counts and the cache are this process's own
class SharedWork : public ::testing::Test {
  protected:
    void SetUp() override { candidateWorkers = 1; }
    void TearDown() override {
        candidateWorkers = 0;
        clearSubtreeCache();
        setSubtreeCacheBudget(defaultSubtreeCacheBudget());
    }
};

TEST_F(SharedWork, OnlySubtreesThatCanComeAgainAreAlignedOnceAndKept) {
    // Root polytomy over three pairs: each pair is the same in all three
    // candidates, each group of two pairs differs, the root is new each time.
    const std::string fasta = ">a\nacgtacgtta\n>b\nacgtacctta\n>c\nttgacgtaa\n>d\nttgaccgtaa\n"
                              ">e\ngacgtagg\n>f\ngacctagg\n";
    const Comparison c = runBoth(fasta, "((a,b),(c,d),(e,f));\n", {});
    ASSERT_EQ(c.shared.result, 0) << c.shared.standardOutput << c.shared.report;
    EXPECT_EQ(c.shared.report, c.plain.report);
    EXPECT_EQ(c.plainCounters.alignmentsComputed, 3 * 5);
    EXPECT_EQ(c.sharedCounters.alignmentsComputed, 3 + 3 + 3);
    // The pairs are settled: the later candidates keep them as built
    EXPECT_EQ(c.sharedCounters.alignmentsReused, 0);
    EXPECT_EQ(c.sharedCounters.nodesKept, 2 * 3);
    // The three pairs and the three groups; no candidate's root
    EXPECT_EQ(subtreeCacheEntries(), 6);
}

// A caterpillar under a root polytomy, its first leaf with one base more: its
// weight halves at every level above, and past 26 levels the column counts
// as a gap column without being all zero. Such a subtree is walked for every
// candidate; a shallower one is kept.
TEST_F(SharedWork, SettledSubtreesAreKeptOnlyWhereGatheringEqualsTheWalk) {
    struct Case {
        int depth;
        bool kept;
    };
    for (const Case& c : {Case{10, true}, Case{30, false}}) {
        SCOPED_TRACE(c.depth);
        std::string fasta = ">s1\nacgtagcgtac\n";
        std::string caterpillar = "s1";
        for (int leaf = 2; leaf <= c.depth; ++leaf) {
            fasta += ">s" + std::to_string(leaf) + "\nacgtacgtac\n";
            caterpillar = "(" + caterpillar + ",s" + std::to_string(leaf) + ")";
        }
        fasta += ">x\nacgtccgtac\n>y\nacctacgaac\n";
        const Comparison runs = runBoth(fasta, "(" + caterpillar + ",x,y);\n", {"-O40"});
        EXPECT_EQ(runs.shared.result, 0) << runs.shared.standardOutput;
        EXPECT_EQ(runs.shared.standardOutput, runs.plain.standardOutput);
        EXPECT_TRUE(runs.shared.report == runs.plain.report);
        // Three candidates: the two later ones keep the caterpillar's inner nodes, or rebuild them
        EXPECT_EQ(runs.sharedCounters.nodesKept, c.kept ? 2 * (c.depth - 1) : 0);
        EXPECT_EQ(runs.sharedCounters.alignmentsComputed + runs.sharedCounters.alignmentsReused +
                      runs.sharedCounters.nodesKept,
                  runs.plainCounters.alignmentsComputed);
    }
}

TEST_F(SharedWork, OneTreeAloneKeepsNothing) {
    const RandomInput input = generate(7, TreeShape{8, 0, false, 1, 30});
    ASSERT_EQ(input.candidates, 1);
    const Comparison c = runBoth(input.fasta, input.newick, {});
    EXPECT_EQ(c.shared.report, c.plain.report);
    EXPECT_EQ(c.sharedCounters.alignmentsComputed, 7);
    EXPECT_EQ(c.sharedCounters.alignmentsReused, 0);
    EXPECT_EQ(subtreeCacheEntries(), 0);
}

TEST_F(SharedWork, RandomTreesWithPolytomiesGiveThePlainRun) {
    long long reused = 0;
    for (unsigned seed = 1; seed <= 3; ++seed) {
        SCOPED_TRACE(seed);
        reused += expectSameRun(generate(seed, TreeShape{}), {});
        reused += expectSameRun(generate(seed, TreeShape{9, 4, false, 200, 30}), {"-O40"});
        reused += expectSameRun(generate(seed, TreeShape{11, 3, true, 200, 30}), {});
    }
    EXPECT_GT(reused, 0);
}

TEST_F(SharedWork, DumpsOfEveryStepAreUnchanged) {
    expectSameRun(generate(11, TreeShape{8, 3, true, 50, 20}), {"-O63"});
    expectSameRun(generate(12, TreeShape{9, 0, false, 50, 24}), {"-O6"});
}

TEST_F(SharedWork, OptionsThatShapeTheAlignmentOrItsTextAgree) {
    const RandomInput input = generate(21, TreeShape{10, 4, false, 120, 32});
    expectSameRun(input, {"-T", "-W2"});
    expectSameRun(input, {"-S.", "-W0"});
    expectSameRun(input, {"-S", "-T"});
    expectSameRun(input, {"-D0", "-G0", "-RA2", "-RT0.5"});
    expectSameRun(input, {"-D1", "-G0.5", "-O40"});
    expectSameRun(input, {"--scoring=sp"});
    expectSameRun(generate(22, TreeShape{11, 3, true, 200, 30}), {"--scoring=sp", "-O40"});
    expectSameRun(input, {"--scoring=sp", "--refine=3"});
}

TEST_F(SharedWork, CodesWeighingThirdsAndLetterGapSymbolsGiveThePlainRun) {
    // Settled subtrees count their leaves from sums kept per column: codes that
    // weigh thirds must send the score back to the ordered sums
    RandomInput input = generate(41, TreeShape{12, 4, true, 120, 40});
    bool header = false;
    for (char& c : input.fasta) {
        header = c == '>' || (header && c != '\n');
        if (!header && (c == 'k' || c == 'm'))
            c = c == 'k' ? 'b' : 'h';
    }
    ASSERT_NE(input.fasta.find_first_of("bh"), std::string::npos);
    expectSameRun(input, {});
    expectSameRun(input, {"-SA", "-T"});
    // Here only a leaf of a settled subtree holds such a code
    const Comparison c =
        runBoth(">s1\nacgbacgtacgt\n>s2\nacgtacgtaggt\n>s3\nacgtccgtacgt\n>s4\nacgtacctacgt\n"
                ">x\nacgtacgtacct\n>y\naggtacgtacgt\n",
                "((s1,s2),(s3,s4),x,y);\n", {});
    EXPECT_GT(c.sharedCounters.nodesKept, 0);
    EXPECT_EQ(c.shared.standardOutput, c.plain.standardOutput);
    EXPECT_TRUE(c.shared.report == c.plain.report);
}

TEST_F(SharedWork, BudgetTooSmallForMostAlignmentsStillGivesThePlainRun) {
    const RandomInput input = generate(31, TreeShape{12, 4, true, 200, 40});
    for (std::size_t budget : {std::size_t{0}, std::size_t{1024}, std::size_t{6000}}) {
        SCOPED_TRACE(budget);
        setSubtreeCacheBudget(budget);
        const Comparison c = runBoth(input.fasta, input.newick, {});
        EXPECT_EQ(c.shared.result, 0);
        EXPECT_EQ(c.shared.standardOutput, c.plain.standardOutput);
        EXPECT_TRUE(c.shared.report == c.plain.report);
        EXPECT_LE(subtreeCacheBytes(), budget);
        if (budget == 0) {
            EXPECT_EQ(c.sharedCounters.alignmentsReused, 0);
        }
    }
}

TEST_F(SharedWork, SlowSweepOverSeedsShapesAndOptions) {
    const std::vector<std::vector<std::string>> optionSets = {
        {}, {"-O63"}, {"-T", "-W2"}, {"-S_", "-O40"}, {"-W0", "-D0", "-G0"}, {"-S", "-T", "-O8"}};
    long long reused = 0;
    for (unsigned seed = 100; seed < 140; ++seed) {
        SCOPED_TRACE(seed);
        TreeShape shape;
        shape.leaves = 6 + static_cast<int>(seed % 9);
        shape.rootOrder = seed % 4 == 0 ? 0 : 2 + static_cast<int>(seed % 4);
        shape.nested = seed % 3 == 0;
        shape.maxCandidates = seed % 5 == 0 ? 400 : 150;
        shape.sequenceLength = 20 + static_cast<int>(seed % 30);
        reused += expectSameRun(generate(seed, shape), optionSets[seed % optionSets.size()]);
    }
    EXPECT_GT(reused, 0);
}

} // namespace
} // namespace vorbex
