#include <gtest/gtest.h>

#include <cstring>

#include "align/align.h"
#include "align/quarter_counts.h"
#include "bench/workload.h"
#include "resolve/resolve.h"
#include "support/nodes.h"

namespace vorbex {
namespace {

using test_support::releaseLeaves;
using test_support::setUpLeaves;

class ScoreAlignment : public testing::Test {
  protected:
    void TearDown() override {
        releaseLeaves();
        trimPosition = 0;
        polytomicCount = 0;
    }

    // Gap symbols in, then the score, as the candidate loop runs them; by the
    // plain reference code when `plain`
    AlignmentScore score(const std::vector<std::string>& aligned, int leftTrim = 0, bool plain = false) {
        releaseLeaves();
        setUpLeaves(aligned);
        mainWorkspace().choices.plain = plain;
        runSettings.leftTrim = leftTrim;
        runSettings.outputMask = 0;
        insertGapSymbols();
        return scoreAlignment();
    }
};

struct ColumnCase {
    const char* column; // one character per leaf, '-' a gap
    int Conserv0;
    int Conserv1;
};

TEST_F(ScoreAlignment, SingleColumnsAreClassedByTheNormOfTheirSum) {
    const ColumnCase cases[] = {
        // three leaves
        {"aaa", 1, 0},
        {"aa-", 0, 1},
        {"aac", 0, 1},
        {"acg", 0, 0},
        {"aar", 0, 1},
        // two leaves
        {"aa", 1, 0},
        {"a-", 0, 1},
        {"ac", 0, 1},
        // any base counts a quarter of each
        {"nn", 0, 1},
        {"nnn", 0, 0},
        {"ttu", 1, 0},
    };
    for (const ColumnCase& c : cases) {
        std::vector<std::string> leaves;
        for (const char* p = c.column; *p != '\0'; ++p)
            leaves.emplace_back(1, *p);
        const AlignmentScore result = score(leaves);
        EXPECT_EQ(result.MA_length, 1) << c.column;
        EXPECT_EQ(result.Conserv0, c.Conserv0) << c.column;
        EXPECT_EQ(result.Conserv1, c.Conserv1) << c.column;
        EXPECT_DOUBLE_EQ(result.ConsIndex, 1.0 * c.Conserv0 + 0.1 * c.Conserv1) << c.column;
    }
}

TEST_F(ScoreAlignment, RunOfConservedSitesEarnsTheSeriesBonusAfterItsFirst) {
    const AlignmentScore run = score({"aaa", "aaa", "aaa"});
    EXPECT_EQ(run.Conserv0, 3);
    EXPECT_DOUBLE_EQ(run.ConsIndex, 3.4);

    // An almost conserved column breaks the run
    const AlignmentScore broken = score({"acaa", "acac", "aaaa"});
    EXPECT_EQ(broken.Conserv0, 2);
    EXPECT_EQ(broken.Conserv1, 2);
    EXPECT_DOUBLE_EQ(broken.ConsIndex, 2.2);
}

TEST_F(ScoreAlignment, ThreeLeafColumnsSumColumnByColumn) {
    // Columns a/a/a, a/a/gap, a/a/c, a/c/g, a/a/r
    const AlignmentScore result = score({"aaaaa", "aaaca", "a-cgr"});
    EXPECT_EQ(result.MA_length, 5);
    EXPECT_EQ(result.Conserv0, 1);
    EXPECT_EQ(result.Conserv1, 3);
    EXPECT_EQ(result.ConsIndex, ((1.0 + 0.1) + 0.1) + 0.1);
}

TEST_F(ScoreAlignment, BonusesComeFromTheSettings) {
    setUpLeaves({"aac", "aag"});
    runSettings.outputMask = 0;
    runSettings.absoluteBonus = 2.0;
    runSettings.almostBonus = 0.5;
    runSettings.seriesBonus = 3.0;
    insertGapSymbols();
    EXPECT_DOUBLE_EQ(scoreAlignment().ConsIndex, 2.0 + 2.0 + 3.0 + 0.5);
}

TEST_F(ScoreAlignment, LeftTrimDropsTheColumnsBeforeTheLastLeafBegins) {
    const AlignmentScore trimmed = score({"a-cg", "-acg"}, 1);
    EXPECT_EQ(trimPosition, 1);
    EXPECT_EQ(trimmed.MA_length, 3);
    EXPECT_EQ(trimmed.Conserv0, 2);
    EXPECT_EQ(trimmed.Conserv1, 1);

    const AlignmentScore whole = score({"a-cg", "-acg"}, 0);
    EXPECT_EQ(trimPosition, 0);
    EXPECT_EQ(whole.MA_length, 4);
    EXPECT_EQ(whole.Conserv1, 2);
}

TEST_F(ScoreAlignment, GapSymbolNeverCountsAsABase) {
    // Symbols as the command line leaves them: upper-cased, or a blank
    for (char symbol : {'-', 'A', 'N', ' ', '*'}) {
        releaseLeaves();
        setUpLeaves({"a", "-"});
        runSettings.outputMask = 0;
        runSettings.gapSymbol = symbol;
        insertGapSymbols();
        const AlignmentScore result = scoreAlignment();
        EXPECT_EQ(result.Conserv0, 0) << symbol;
        EXPECT_EQ(result.Conserv1, 1) << symbol;
    }
}

TEST_F(ScoreAlignment, StaleSumsOfAnEarlierAlignmentDoNotCount) {
    EXPECT_EQ(score({"acgt", "acgt", "acgt"}).Conserv0, 4);
    const AlignmentScore result = score({"ac", "ag"});
    EXPECT_EQ(result.Conserv0, 1);
    EXPECT_EQ(result.Conserv1, 1);
}

// Sums counted in quarters against sums added leaf by leaf: equal scores for
// columns of every code, with and without the codes that weigh thirds
TEST_F(ScoreAlignment, CountedSumsEqualTheSumsInLeafOrder) {
    bench::SplitMix64 random(2026);
    for (const char* alphabet : {"acgtu-", "acgturykmswn-", "acgturykmswbdhvn-", "nnnnnnnnrrrr-b"}) {
        for (int round = 0; round < 40; ++round) {
            const int leaves = 1 + static_cast<int>(random.below(40));
            const int length = 1 + static_cast<int>(random.below(30));
            std::vector<std::string> aligned(static_cast<std::size_t>(leaves));
            for (std::string& row : aligned)
                for (int i = 0; i < length; ++i)
                    row += alphabet[random.below(std::strlen(alphabet))];
            const int leftTrim = static_cast<int>(random.below(2));
            const AlignmentScore plain = score(aligned, leftTrim, true);
            const AlignmentScore counted = score(aligned, leftTrim);
            ASSERT_EQ(counted.MA_length, plain.MA_length) << alphabet << " round " << round;
            ASSERT_EQ(counted.Conserv0, plain.Conserv0) << alphabet << " round " << round;
            ASSERT_EQ(counted.Conserv1, plain.Conserv1) << alphabet << " round " << round;
            ASSERT_EQ(counted.ConsIndex, plain.ConsIndex) << alphabet << " round " << round;
        }
    }
}

TEST_F(ScoreAlignment, FullColumnsOfManyLeavesAreCountedExactly) {
    // Leaves of the any-base code, then of one base: the largest counts fill
    // the counting lanes, and past them the sums are made in order
    for (const int leaves : {DEFAULT_MAX_NODES, MAX_QUARTER_LEAVES, MAX_QUARTER_LEAVES + 1, 20000}) {
        std::vector<std::string> fan(static_cast<std::size_t>(leaves), "nt");
        const AlignmentScore result = score(fan);
        EXPECT_EQ(result.Conserv0, 1) << leaves;
        EXPECT_EQ(result.Conserv1, 0) << leaves;
        fan.back() = "na";
        const AlignmentScore one = score(fan);
        EXPECT_EQ(one.Conserv0, 0) << leaves;
        EXPECT_EQ(one.Conserv1, 1) << leaves;
        EXPECT_EQ(one.ConsIndex, score(fan, 0, true).ConsIndex) << leaves;
    }
}

} // namespace
} // namespace vorbex
