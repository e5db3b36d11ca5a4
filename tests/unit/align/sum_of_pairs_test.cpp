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

TEST_F(SumOfPairs, ABaseAgainstAGapInAPairedColumnCostsAFurtherGapColumn) {
    // Half of the first profile's second column is gaps: half its pairs with
    // the C opposite match, the other half face a base with a gap
    TreeNode* a = pool.leaf("ACGT");
    TreeNode* b = pool.leaf("ACGT");
    a->workProfile[1].weight[BASE_C] = 0.5;
    double score = 0.0;
    ASSERT_EQ(alignProfiles(a, b, score), 0);
    EXPECT_EQ(workText(b), "ACGT");
    EXPECT_NEAR(score, 3.0 + 0.5 - 0.5 * 0.15, 1e-12);
}

TEST_F(SumOfPairs, AWholeAlignmentScoresEachPairAsTheTwoRowsAlone) {
    const double gap = -1.75 - 0.15; // a gap of one column inside a row
    const struct {
        std::vector<std::string> rows;
        std::vector<double> weights;
        double score;
    } cases[] = {
        {{"ACGT", "ACGT"}, {1, 1}, 4.0},
        {{"AC-T", "ACGT"}, {1, 1}, 3.0 + gap},
        // Before a row's first base: no opening
        {{"-CGT", "ACGT"}, {1, 1}, 3.0 - 0.15},
        // Two gaps facing each other are left out of their pair
        {{"AC-T", "AC-T", "ACGT"}, {1, 1, 1}, 3.0 * 3 + 2 * gap},
        // The first row's gap opens against the second row's C although the
        // second row's own gap starts it, and against the third row's G
        {{"A--A", "A-CA", "AG-A"}, {1, 1, 1}, (2.0 + gap) + (2.0 + gap) + (2.0 + 2 * gap)},
        // A gap, a base, a gap: two openings in the same pair
        {{"A-C-A", "AG-TA"}, {1, 1}, 2.0 + 3 * gap},
        // A pair weighs the product of its rows' weights
        {{"AC-T", "ACGT"}, {2, 0.5}, 3.0 + gap},
        {{"AC-T", "ACGT", "ACGT"}, {1, 1, 3}, (3.0 + gap) * 4 + 4.0 * 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rows[0] + " / " + c.rows[1]);
        EXPECT_NEAR(sumOfPairsOfText(c.rows, c.weights), c.score, 1e-12);
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
