// The costs of --scoring=sp, for the pairwise alignment and the score of a
// whole alignment alike.
#pragma once

namespace vorbex {

struct SumOfPairsCosts {
    double match;
    double transition;   // A with G, C with T
    double transversion; // any other pair of bases
    double gapOpen;      // added once per gap, times the bases it faces
    double gapExtend;    // added per gap column, times the bases it faces
    double endGapShare;  // of gapExtend, for a gap before or after a profile
};

// Fitted on the simulated families of bench/accuracy (see the README)
constexpr SumOfPairsCosts SUM_OF_PAIRS_COSTS = {1.0, -0.1, -0.5, -2.5, -0.15, 1.0};

} // namespace vorbex
