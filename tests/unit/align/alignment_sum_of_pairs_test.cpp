#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/row_scores.h"

namespace vorbex {
namespace {

using test_support::sumOfPairsOfText;

// Costs of --scoring=sp: a match 1, a transition 0.1, a transversion -0.15, a
// gap opening -1.75 and each gap column -0.15; a gap before a row's first
// base opens nothing.
TEST(AlignmentSumOfPairs, AWholeAlignmentScoresEachPairAsTheTwoRowsAlone) {
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

} // namespace
} // namespace vorbex
