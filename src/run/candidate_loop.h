// Candidate loop: the best alignment over the candidate trees.
#pragma once

#include "align/align.h"

namespace vorbex {

// Number of the current candidate, from 1; 0 before the first.
extern int candidateNumber;

// The best candidate so far; only its number, length and ConsIndex are kept.
struct BestAlignment {
    int number;
    int length;
    double ConsIndex;
};

// Longer than any alignment can be, so the first candidate always wins.
constexpr BestAlignment NO_BEST_ALIGNMENT = {-1, 8188, -1.0};

// Makes the candidate the best one when it is shorter, or as long with a
// strictly larger ConsIndex; true when it did.
bool takeIfBetter(BestAlignment& best, int number, int length, double consIndex);

// Aligns and scores the candidate standing in the tree as number `number`,
// writing all of its report text (echo, dumps, summary) to reportFile.
AlignmentScore evaluateCandidate(int number);
// The bookkeeping after a candidate's text: best alignment, report flushed, progress.
void takeCandidate(BestAlignment& best, int number, const AlignmentScore& score);

} // namespace vorbex
