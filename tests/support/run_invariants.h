// What every candidate's alignment must satisfy, whatever the input and the
// options: checked after each candidate by the whole-run tests and fuzzer.
#pragma once

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "align/align.h"
#include "align/quarter_counts.h"
#include "align/settled_subtrees.h"
#include "base/settings.h"
#include "input/input.h"
#include "pairwise/sum_of_pairs.h"

namespace vorbex::test_support {

// Column c of a leaf's row: its aligned profile's, or where its weights are
// spent, a gap or the column of the letter its text holds there
inline ProfileColumn leafColumn(const TreeNode* leaf, int c) {
    if (leaf->workFlags == nullptr)
        return leaf->workProfile[c];
    ProfileColumn column{};
    if (!isGapColumnOf(leaf, c))
        (void)nucleotideColumn(static_cast<char>(std::tolower(static_cast<unsigned char>(leaf->workText[c]))),
                               column);
    return column;
}

// The weighted sum of pairs of the alignment standing in the leaves, summed
// pair of rows by pair of rows as its definition reads: each pair as the two
// rows alone.
inline double pairwiseSumOfPairs() {
    const SumOfPairsCosts& k = SUM_OF_PAIRS_COSTS;
    const int length = nodeTable[0]->workLength;
    auto bases = [](const ProfileColumn& a) { return a.weight[0] + a.weight[1] + a.weight[2] + a.weight[3]; };
    // Every sequence weighs the same
    const std::vector<double> weight(leafCount, 1.0);
    std::vector<int> first(leafCount, -1), last(leafCount, -1);
    for (int i = 0; i < leafCount; ++i) {
        for (int c = 0; c < length; ++c)
            if (!isGapColumnOf(nodeTable[i], c)) {
                first[i] = first[i] < 0 ? c : first[i];
                last[i] = c;
            }
    }
    double total = 0.0;
    for (int i = 0; i < leafCount; ++i)
        for (int j = i + 1; j < leafCount; ++j) {
            // The two rows alone: columns of two gaps left out, and a gap
            // opens where the pair's previous column was not the same row's gap
            int gapBefore = -1; // the row whose gap the pair's previous column held
            for (int c = 0; c < length; ++c) {
                const ProfileColumn a = leafColumn(nodeTable[i], c);
                const ProfileColumn b = leafColumn(nodeTable[j], c);
                const bool gapA = isGapColumn(a), gapB = isGapColumn(b);
                const double pair = weight[i] * weight[j];
                if (gapA && gapB)
                    continue;
                if (!gapA && !gapB) {
                    for (int x = 0; x < BASE_COUNT; ++x)
                        for (int y = 0; y < BASE_COUNT; ++y)
                            total += pair * a.weight[x] * b.weight[y] *
                                     (x == y         ? k.match
                                      : (x ^ y) == 2 ? k.transition
                                                     : k.transversion);
                    gapBefore = -1;
                    continue;
                }
                const int g = gapA ? i : j;
                const double facing = gapA ? bases(b) : bases(a);
                if (c < first[g] || c > last[g])
                    total += pair * facing * k.gapExtend * k.endGapShare;
                else
                    total += pair * facing * (k.gapExtend + (gapBefore == g ? 0.0 : k.gapOpen));
                gapBefore = g;
            }
        }
    return total;
}

// The first broken invariant of the alignment standing in the tree; nullptr when there is none.
inline const char* alignmentFault(const AlignmentScore& score) {
    // Leaves of settled subtrees get their aligned profiles only on demand
    if (completeLeafProfiles() != 0)
        return "the leaves' aligned profiles can be completed";
    const int length = rootNode->workLength;
    int lastStart = 0;
    for (int entry = 0; entry < leafCount; ++entry) {
        const TreeNode* leaf = nodeTable[entry];
        if (workTextLength(leaf) != length)
            return "every row has the alignment's length";
        // The gap symbol may be a letter or a blank: the profile tells the gap columns
        std::string bases;
        int start = -1;
        for (int i = 0; i < length; ++i) {
            if (isGapColumnOf(leaf, i)) {
                if (leaf->workText[i] != runSettings.gapSymbol)
                    return "a gap column holds the gap symbol";
            } else {
                start = start < 0 ? i : start;
                bases += leaf->workText[i];
            }
        }
        if (bases != leaf->sourceText)
            return "a row without its gaps is its input sequence";
        lastStart = start > lastStart ? start : lastStart;
    }
    // The settled subtrees' kept column sums are their gathered leaves' sums
    const QuarterTable& table = quarterTable();
    std::vector<std::uint64_t> kept(static_cast<std::size_t>(length), 0), counted(kept);
    bool whole = true;
    for (int entry = 0; entry < leafCount; ++entry) {
        const TreeNode* leaf = nodeTable[entry];
        if (int firstBase; isGatheredLeaf(leaf, firstBase))
            for (int i = 0; i < length; ++i) {
                const auto code = static_cast<unsigned char>(leaf->workText[i]);
                counted[i] += table.lanes[code];
                whole = whole && table.whole[code] != 0;
            }
    }
    if (addGatheredQuarters(kept.data(), 0, length) != whole || kept != counted)
        return "the settled subtrees' column sums are those of their leaves";
    // The reported part starts where the last leaf to begin has begun
    if (trimPosition != (runSettings.leftTrim ? lastStart : 0))
        return "the trim position is the column by which every leaf has begun";
    if (score.MA_length != length - trimPosition)
        return "the reported length is the row length less the trim position";
    if (longOptions.scoring == Scoring::SUM_OF_PAIRS) {
        const double pairwise = pairwiseSumOfPairs();
        if (std::fabs(score.sumOfPairs - pairwise) > 1e-9 * std::max(1.0, std::fabs(pairwise)))
            return "the sum of pairs is the sum over every pair of rows";
    }
    return nullptr;
}

// For afterCandidate. A broken invariant stops the process: in a worker that
// fails the run with ERINT, elsewhere the test or the fuzz input.
// A test's own look at each candidate while it stands, after the invariants
inline void (*alsoAfterCandidate)(int number, const AlignmentScore& score) = nullptr;

inline void checkCandidate(int number, const AlignmentScore& score) {
    if (const char* fault = alignmentFault(score)) {
        std::fprintf(stderr, "candidate #%d: broken invariant: %s\n", number, fault);
        std::abort();
    }
    if (alsoAfterCandidate != nullptr)
        alsoAfterCandidate(number, score);
}

} // namespace vorbex::test_support
