// Alignment along the tree: the passes, gap insertion and the alignment's score.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/result_code.h"
#include "input/input.h"
#include "pairwise/pairwise.h"

namespace vorbex {

// ERINT when an alignment passes the longest allowed, ERMEM when memory is
// exhausted; the candidate is then unfinished.
[[nodiscard]] ResultCode traceForward();
// ERMEM when the children cannot be given room for their widened profiles.
[[nodiscard]] ResultCode traceBackward();

struct AlignmentScore {
    int MA_length;
    int Conserv0;
    int Conserv1;
    double ConsIndex;
    double sumOfPairs; // --scoring=sp only: the whole alignment's weighted sum of pairs
};

extern int trimPosition;
// Room in every leaf's text for the gap symbols it is to receive; ERMEM after
// a message when it cannot be had. traceBackward ends with it.
[[nodiscard]] ResultCode reserveLeafTexts();
int insertGapSymbols();
// The conserved sites and, under --scoring=sp, the sum of pairs, which reads
// every leaf's aligned profile (complete them first).
AlignmentScore scoreAlignment();
// The weighted sum of pairs of the alignment standing in the leaves' aligned
// profiles, under the costs the profiles were aligned by.
double alignmentSumOfPairs();

} // namespace vorbex
