// The costs of --scoring=sp, for the pairwise alignment and the score of a
// whole alignment alike, and the pairwise alignment by them.
#pragma once

#include <cstdint>
#include <vector>

#include "base/result_code.h"
#include "input/input.h"
#include "pairwise/workspace.h"

namespace vorbex {

struct SumOfPairsCosts {
    double match;
    double transition;   // A with G, C with T
    double transversion; // any other pair of bases
    double gapOpen;      // added once per gap, times the bases it faces
    double gapExtend;    // added per gap column, times the bases it faces
    double endGapShare;  // of gapExtend, for a gap before or after a profile
};

// Fitted on the references of bench/accuracy (see the README)
constexpr SumOfPairsCosts SUM_OF_PAIRS_COSTS = {1.0, 0.1, -0.15, -1.75, -0.15, 1.0};

// A column's gap costs, given its share of bases and the previous column's
// (its own at a profile's first column), so that each pair of sequences counts
// a gap as the two alone would. A gap placed against the column opens once
// for each of its bases, and a further gap column opens again for each
// sequence whose bases begin again there after a gap of its own. A base
// paired with the column pays a gap column's price for each of its gaps and
// an opening for each gap that begins there. Which sequences begin or end a
// gap is not known from the shares: their least possible share stands for
// them, which is exact where the gaps of the two columns nest.
struct ColumnGapCosts {
    double open;   // a gap state's opening, less the reopenings of `extend`, which it takes too
    double extend; // a gap state's column
    double factor; // what a base paired with the column pays, per gap column's price
    double starts; // the share of the column's sequences whose gap begins there
};
inline ColumnGapCosts columnGapCosts(double bases, double previousBases) {
    constexpr SumOfPairsCosts COSTS = SUM_OF_PAIRS_COSTS;
    const double restarts = bases > previousBases ? bases - previousBases : 0.0;
    const double starts = previousBases > bases ? previousBases - bases : 0.0;
    return {COSTS.gapOpen * bases - COSTS.gapOpen * restarts,
            COSTS.gapExtend * bases + COSTS.gapOpen * restarts,
            (1.0 - bases) + starts * (COSTS.gapOpen / COSTS.gapExtend), starts};
}

// Expected score of every pair of bases
struct Substitution {
    double score[BASE_COUNT][BASE_COUNT];
};
inline Substitution buildSubstitution() {
    constexpr SumOfPairsCosts COSTS = SUM_OF_PAIRS_COSTS;
    Substitution s{};
    for (int x = 0; x < BASE_COUNT; ++x)
        for (int y = 0; y < BASE_COUNT; ++y) {
            const bool transition = (x ^ y) == 2; // A=0 with G=2, C=1 with T=3
            s.score[x][y] = x == y ? COSTS.match : transition ? COSTS.transition : COSTS.transversion;
        }
    return s;
}

// A column's share of bases
inline double bases(const ProfileColumn& column) {
    return column.weight[BASE_A] + column.weight[BASE_C] + column.weight[BASE_G] + column.weight[BASE_T];
}

// Aligns two profiles by the weighted sum of pairs, filling the workspace's
// aligned buffers and alignmentPath from position n + m - 1 down to k + 1;
// the alignment's length is n + m - 1 - k. Several threads only when
// `shareThreads`. ERMEM, after a message when `report`, when its work storage
// cannot be had.
[[nodiscard]] ResultCode traceSumOfPairs(PairwiseWorkspace& work, const ProfileColumn* a, int n,
                                         const ProfileColumn* b, int m, double& score, int& k,
                                         bool shareThreads = true, bool report = true);

// Trace flags of a sum-of-pairs cell: where its pair state came from, and
// whether its gap states extended a gap or opened one (from the pair state,
// or from the other gap state). A cell keeps all three at once.
enum : std::uint8_t {
    PAIR_FROM_GAP_IN_SECOND = 1,
    PAIR_FROM_GAP_IN_FIRST = 2,
    GAP_IN_SECOND_EXTENDS = 4,
    GAP_IN_SECOND_FROM_OTHER = 8,
    GAP_IN_FIRST_EXTENDS = 16,
    GAP_IN_FIRST_FROM_OTHER = 32,
};

} // namespace vorbex
