#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "align/refinement.h"
#include "base/settings.h"
#include "input/input.h"
#include "pairwise/sum_of_pairs.h"
#include "run/run.h"
#include "support/row_scores.h"

namespace vorbex {
namespace {

using test_support::sumOfPairsOfText;

std::string withoutGaps(std::string row) {
    row.erase(std::remove(row.begin(), row.end(), '-'), row.end());
    return row;
}

class Refinement : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(initialiseRun(), 0);
        longOptions.scoring = Scoring::SUM_OF_PAIRS;
    }
    void TearDown() override { longOptions = LongOptions{}; }
};

TEST_F(Refinement, MovesAMisplacedGapAndKeepsEverySequence) {
    // The third row's gap belongs after its fifth base, not after its first
    const std::vector<std::string> given = {"AACCGGTTAACCGGTT", "AACCGGTTAACCGGTT", "A-ACCGTTAACCGGTT",
                                            "AACCGGTTAACCGGTA"};
    std::vector<std::string> rows = given;
    RefinementResult result;
    ASSERT_EQ(refineAlignment(rows, "((0,1),(2,3))", 3, result), 0);
    const std::vector<double> weights(4, 1.0);
    EXPECT_GT(result.sumOfPairs, sumOfPairsOfText(given, weights));
    EXPECT_EQ(result.sumOfPairs, sumOfPairsOfText(rows, weights));
    EXPECT_GE(result.kept, 1);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        EXPECT_EQ(rows[r].size(), rows[0].size());
        EXPECT_EQ(withoutGaps(rows[r]), withoutGaps(given[r]));
    }
    // The gap faces one of the two Gs (both score alike)
    EXPECT_EQ(rows[0], given[0]);
    EXPECT_TRUE(rows[2] == "AACC-GTTAACCGGTT" || rows[2] == "AACCG-TTAACCGGTT") << rows[2];
    // A second refinement of the result changes nothing more
    std::vector<std::string> again = rows;
    RefinementResult second;
    ASSERT_EQ(refineAlignment(again, "((0,1),(2,3))", 3, second), 0);
    EXPECT_EQ(again, rows);
    EXPECT_EQ(second.kept, 0);
    EXPECT_EQ(second.rounds, 1);
}

TEST_F(Refinement, WeighsEverySequenceAlikeWhateverItsDepth) {
    std::vector<std::string> rows = {"ACGTTGCA", "ACGTTGCA", "ACGATGCA"};
    RefinementResult result;
    ASSERT_EQ(refineAlignment(rows, "((0,1),2)", 1, result), 0);
    EXPECT_EQ(result.sumOfPairs, sumOfPairsOfText(rows, {1.0, 1.0, 1.0}));
}

TEST_F(Refinement, LeavesRowsItCannotReadAsTheyAre) {
    const std::vector<std::string> given = {"A-CGT", "ACCGT", "AC-GT"};
    for (const char* shape :
         {"((0,1),2", "((0,1),1)", "((0,1))", "(0,1,2,3)", "(0,(1,x))", "", "0", "((0,1),2))"}) {
        std::vector<std::string> rows = given;
        RefinementResult result;
        EXPECT_EQ(refineAlignment(rows, shape, 2, result), 0) << shape;
        EXPECT_EQ(rows, given) << shape;
        EXPECT_EQ(result.rounds, 0) << shape;
    }
    std::vector<std::string> ragged = {"ACGT", "ACG", "ACGT"};
    RefinementResult result;
    EXPECT_EQ(refineAlignment(ragged, "((0,1),2)", 2, result), 0);
    EXPECT_EQ(result.rounds, 0);
}

} // namespace
} // namespace vorbex
