#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "align/align.h"
#include "run/run.h"
#include "support/nodes.h"

namespace vorbex {
namespace {

using test_support::NodePool;
using test_support::workText;

std::string printed(double score) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", score);
    return text;
}

// Flags of one cell as letters: D pair, U up, L left; "." for none.
std::string flagLetters(std::uint8_t flags) {
    std::string letters;
    if (flags & TRACE_DIAG)
        letters += 'D';
    if (flags & TRACE_UP)
        letters += 'U';
    if (flags & TRACE_LEFT)
        letters += 'L';
    return letters.empty() ? "." : letters;
}

// The flag matrix of the workspace's last alignment, one row per string, cells separated by blanks.
std::vector<std::string> flagTable(const PairwiseWorkspace& work, int n, int m) {
    std::vector<std::string> rows;
    for (int i = 0; i <= n; ++i) {
        std::string row;
        for (int j = 0; j <= m; ++j) {
            if (j > 0)
                row += ' ';
            row += flagLetters(work.traceMatrix[work.traceCell(i, j)]);
        }
        rows.push_back(row);
    }
    return rows;
}

class AlignProfiles : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(initialiseRun(), 0); }

    struct Result {
        std::string first;
        std::string second;
        double score;
    };

    Result align(const char* first, const char* second) {
        TreeNode* a = pool.leaf(first);
        TreeNode* b = pool.leaf(second);
        double score = 0.0;
        EXPECT_EQ(alignProfiles(work, a, b, score), 0);
        EXPECT_EQ(a->workLength, b->workLength);
        return {workText(a), workText(b), score};
    }

    PairwiseWorkspace work;
    NodePool pool;
};

TEST_F(AlignProfiles, IdenticalProfilesStayUnchangedWithARunBonusPerFollowingPair) {
    const Result r = align("ACGT", "ACGT");
    EXPECT_EQ(r.first, "ACGT");
    EXPECT_EQ(r.second, "ACGT");
    // No bonus at [1][1]: the corner cell carries no pair flag
    EXPECT_EQ(r.score, ((((1.0 + 1.0) + RUN_BONUS) + 1.0 + RUN_BONUS) + 1.0) + RUN_BONUS);
    EXPECT_EQ(printed(r.score), "4.000030");

    const char* longer = "ACGTTGCAAGCTTACGGATCCATGCAAGTC";
    const Result same = align(longer, longer);
    EXPECT_EQ(same.first, longer);
    EXPECT_NEAR(same.score, 30 + 29 * RUN_BONUS, 1e-9);
}

TEST_F(AlignProfiles, PairAndLeftStepTieAtTheEndAndTheGapGoesInFront) {
    const Result r = align("A", "AA");
    EXPECT_EQ(r.first, "-A");
    EXPECT_EQ(r.second, "AA");
    EXPECT_EQ(r.score, -1.0);
    EXPECT_EQ(work.traceMatrix[work.traceCell(1, 2)], TRACE_DIAG | TRACE_LEFT);
    const std::vector<std::string> expected = {
        ". L L",
        "U D DL",
    };
    EXPECT_EQ(flagTable(work, 1, 2), expected);
}

TEST_F(AlignProfiles, ShorterSecondProfileGetsItsGapsInFront) {
    const Result r = align("AAAA", "AA");
    EXPECT_EQ(r.first, "AAAA");
    EXPECT_EQ(r.second, "--AA");
    EXPECT_EQ(printed(r.score), "-0.199990");
    EXPECT_NEAR(r.score, -0.19999, 1e-12);
}

TEST_F(AlignProfiles, ShorterFirstProfileGetsItsGapsAtTheEnd) {
    const Result r = align("AC", "ACGT");
    EXPECT_EQ(r.first, "AC--");
    EXPECT_EQ(r.second, "ACGT");
    EXPECT_EQ(r.score, ((1.0 + 1.0) + RUN_BONUS) + -2.0 + -0.2);
    EXPECT_EQ(printed(r.score), "-0.199990");
}

TEST_F(AlignProfiles, SingleDeletionInTheSecondProfile) {
    const Result r = align("ACGT", "AGT");
    EXPECT_EQ(r.first, "ACGT");
    EXPECT_EQ(r.second, "A-GT");
    EXPECT_EQ(printed(r.score), "1.000010");
    EXPECT_NEAR(r.score, 1.00001, 1e-12);
}

TEST_F(AlignProfiles, TiedUpAndLeftStepsTakeUpAndTheScoreIsNotTheTracedOne) {
    const Result r = align("ACG", "T");
    EXPECT_EQ(r.first, "ACG");
    EXPECT_EQ(r.second, "T--");
    EXPECT_EQ(printed(r.score), "-2.600000");
    EXPECT_NEAR(r.score, -2.6, 1e-12);
    // The left matrix wins through the boundary run and ties with the up matrix
    const std::vector<std::string> expected = {
        ". L",
        "U D",
        "U UL",
        "U UL",
    };
    EXPECT_EQ(flagTable(work, 3, 1), expected);
}

TEST_F(AlignProfiles, MismatchesAlonePairWhileGapsWouldCostMore) {
    const Result single = align("A", "C");
    EXPECT_EQ(single.first, "A");
    EXPECT_EQ(single.second, "C");
    EXPECT_EQ(single.score, -1.0);

    const Result swapped = align("AC", "CA");
    EXPECT_EQ(swapped.first, "AC");
    EXPECT_EQ(swapped.second, "CA");
    EXPECT_EQ(swapped.score, (-1.0 + -1.0) + RUN_BONUS);
    EXPECT_EQ(printed(swapped.score), "-1.999990");
}

TEST_F(AlignProfiles, UnrelatedProfilesAreNotPairedAtAll) {
    const Result r = align("AAAAA", "CCCCC");
    EXPECT_EQ(r.first, "-----AAAAA");
    EXPECT_EQ(r.second, "CCCCC-----");
    EXPECT_EQ(printed(r.score), "-3.800000"); // d + 9 * g
    EXPECT_NEAR(r.score, -3.8, 1e-12);
}

TEST_F(AlignProfiles, AGapThatWinsReplacesThePairFlag) {
    runSettings.gapExtendPenalty = -2.0;
    // Up beats the mismatch at [2][1]: only the up flag stays, so C is not paired with A
    const Result up = align("AC", "A");
    EXPECT_EQ(up.second, "A-");
    EXPECT_EQ(flagTable(work, 2, 1), (std::vector<std::string>{". L", "U D", "U U"}));
    // And the mirror image for the left step
    const Result left = align("A", "AC");
    EXPECT_EQ(left.first, "A-");
    EXPECT_EQ(flagTable(work, 1, 2), (std::vector<std::string>{". L L", "U D L"}));
}

TEST_F(AlignProfiles, OpeningWinsANearTieWithExtending) {
    // The score matrices are those of the plain kernel
    work.choices.plain = true;
    // Extending is better than opening by less than the tolerance
    runSettings.gapOpenPenalty = -1.0;
    runSettings.gapExtendPenalty = -1.0 + 5e-9;
    TreeNode* a = pool.leaf("A");
    TreeNode* b = pool.leaf("A");
    double score;
    ASSERT_EQ(alignProfiles(work, a, b, score), 0);
    EXPECT_EQ(work.gapInFirstMatrix[work.traceCell(1, 1)], work.scoreMatrix[work.traceCell(1, 0)] + -1.0);
    EXPECT_EQ(work.gapInSecondMatrix[work.traceCell(1, 1)], work.scoreMatrix[work.traceCell(0, 1)] + -1.0);
}

TEST_F(AlignProfiles, BoundaryIsSummedStepByStep) {
    work.choices.plain = true;
    runSettings.gapOpenPenalty = -2.0;
    runSettings.gapExtendPenalty = -0.1;
    TreeNode* a = pool.leaf("AAAAAAAAAA");
    TreeNode* b = pool.leaf("A");
    double score;
    ASSERT_EQ(alignProfiles(work, a, b, score), 0);
    double sum = 0.0;
    for (int i = 1; i <= 10; ++i) {
        sum += i == 1 ? -2.0 : -0.1;
        EXPECT_EQ(work.scoreMatrix[work.traceCell(i, 0)], sum) << "row " << i;
        EXPECT_EQ(work.traceMatrix[work.traceCell(i, 0)], TRACE_UP);
    }
    // The closed formula gives a different last bit here
    EXPECT_NE(work.scoreMatrix[work.traceCell(10, 0)], -2.0 + 9 * -0.1);
}

TEST_F(AlignProfiles, OtherModesScoreMismatchesDifferently) {
    runSettings.workMode = 2;
    const Result l2 = align("AC", "CA");
    EXPECT_EQ(l2.second, "CA");
    EXPECT_EQ(l2.score, ((1.0 - std::sqrt(2.0)) + (1.0 - std::sqrt(2.0))) + RUN_BONUS);

    for (int mode : {0, 4}) {
        runSettings.workMode = mode;
        const Result squared = align("AC", "CA");
        EXPECT_EQ(squared.second, "CA") << "mode " << mode;
        EXPECT_EQ(squared.score, (-1.0 + -1.0) + RUN_BONUS) << "mode " << mode;
    }
}

TEST_F(AlignProfiles, PositivePenaltiesAreAddedJustTheSame) {
    runSettings.gapOpenPenalty = 1.0;
    runSettings.gapExtendPenalty = 1.0;
    const Result r = align("A", "A");
    // A gap on each side (1 + 1) beats the pair (1)
    EXPECT_EQ(r.first, "-A");
    EXPECT_EQ(r.second, "A-");
    EXPECT_EQ(r.score, 2.0);
}

TEST_F(AlignProfiles, LeavesSavedProfilesAndLengthsAlone) {
    TreeNode* a = pool.leaf("AC");
    TreeNode* b = pool.leaf("ACGT");
    double score;
    ASSERT_EQ(alignProfiles(a, b, score), 0);
    EXPECT_EQ(a->savedLength, 2);
    EXPECT_EQ(test_support::savedText(a), "AC");
    EXPECT_EQ(workText(a), "AC--");
}

TEST_F(AlignProfiles, AlignmentLongerThanMaxseqlenIsErintWithTheNodesUntouched) {
    const std::string log = ::testing::TempDir() + "align_overflow.log";
    reportFile = std::fopen(log.c_str(), "w");
    ASSERT_NE(reportFile, nullptr);
    const std::string as(1024, 'A');
    const std::string cs(1024, 'C');
    TreeNode* a = pool.leaf(as.c_str());
    TreeNode* b = pool.leaf(cs.c_str());
    double score;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(alignProfiles(a, b, score), ERINT);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "ERROR: MAXSEQLEN overflow\n");
    EXPECT_EQ(a->workLength, 1024);
    EXPECT_EQ(b->workLength, 1024);
    EXPECT_EQ(workText(a), as);
    EXPECT_EQ(workText(b), cs);
    std::fclose(reportFile);
    reportFile = nullptr;
    std::ifstream in(log);
    std::stringstream written;
    written << in.rdbuf();
    EXPECT_EQ(written.str(), "ERROR: MAXSEQLEN overflow\n");
    std::remove(log.c_str());
}

TEST(ColumnSimilarity, ModeBitsAndWeights) {
    ASSERT_EQ(initialiseRun(), 0);
    ProfileColumn a{}, c{}, m{}, gap{};
    nucleotideColumn('a', a);
    nucleotideColumn('c', c);
    nucleotideColumn('m', m); // half A, half C

    struct Case {
        int mode;
        double definiteMismatch;
        double halfAgainstA;
    };
    const double r2 = 1.0 - std::sqrt(2.0);
    const double rHalf = 1.0 - std::sqrt(0.5);
    // Only the two lowest bits count: 3 and 5 work as 1, 6 as 2
    const Case cases[] = {{1, -1.0, 0.0}, {3, -1.0, 0.0}, {5, -1.0, 0.0}, {2, r2, rHalf},
                          {6, r2, rHalf}, {0, -1.0, 0.5}, {4, -1.0, 0.5}};
    for (const Case& k : cases) {
        runSettings.workMode = k.mode;
        EXPECT_EQ(columnSimilarity(a, a), 1.0) << "mode " << k.mode;
        EXPECT_EQ(columnSimilarity(gap, gap), 1.0) << "mode " << k.mode;
        EXPECT_EQ(columnSimilarity(a, c), k.definiteMismatch) << "mode " << k.mode;
        EXPECT_EQ(columnSimilarity(m, a), k.halfAgainstA) << "mode " << k.mode;
    }

    // The weight multiplies the difference; under mode 2 the root is taken of the weighted sum
    runSettings.baseWeights[BASE_A] = 0.25;
    runSettings.workMode = 1;
    EXPECT_EQ(columnSimilarity(a, gap), 0.75);
    runSettings.workMode = 0;
    EXPECT_EQ(columnSimilarity(a, gap), 0.75);
    runSettings.workMode = 2;
    EXPECT_EQ(columnSimilarity(a, gap), 0.5);
}

TEST(ColumnSimilarity, SumsFromTheATermToTheTTerm) {
    ASSERT_EQ(initialiseRun(), 0);
    const ProfileColumn three{{1.0, 1.0, 1.0, 0.0}};
    const ProfileColumn gap{};
    runSettings.baseWeights[BASE_C] = 1e-16;
    runSettings.baseWeights[BASE_G] = 1e-16;
    // From the left the tiny terms vanish into 1; summed from the right they would not
    EXPECT_EQ(columnSimilarity(three, gap), 0.0);
    runSettings.workMode = 0;
    EXPECT_EQ(columnSimilarity(three, gap), 0.0);
}

} // namespace
} // namespace vorbex
