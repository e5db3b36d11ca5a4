// Candidate loop: the best alignment over the candidate trees.
#pragma once

#include "align/align.h"
#include "base/result_code.h"
#include "report/result_files.h"

namespace vorbex {

// The best candidate so far; only its number, length, ConsIndex and sum of pairs are kept.
struct BestAlignment {
    int number;
    int length;
    double ConsIndex;
    double sumOfPairs;
};

// No candidate yet: the report shows these values when none was evaluated,
// and the first candidate always wins, however long.
constexpr BestAlignment NO_BEST_ALIGNMENT = {-1, 8188, -1.0, 0.0};

// True when the candidate would become the best: shorter, or as long with a
// strictly larger ConsIndex; under --scoring=sp, a strictly larger sum of pairs.
bool isBetter(const BestAlignment& best, const AlignmentScore& score);
// Makes the candidate the best one when it is better; true when it did.
bool takeIfBetter(BestAlignment& best, int number, const AlignmentScore& score);

// Aligns and scores the candidate standing in the tree as number `number`,
// writing all of its report text (echo, dumps, summary) to reportFile. ERINT
// when an alignment overflows: the run ends without a best alignment.
[[nodiscard]] ResultCode evaluateCandidate(int number, AlignmentScore& score);
// Tests and fuzzers only: called at the end of evaluateCandidate, while the
// candidate's alignment stands in the tree, in whichever process evaluated it.
extern void (*afterCandidate)(int number, const AlignmentScore& score);

// What the result files want of the candidate evaluated last, which may be
// the best one; ERMEM when the aligned profiles cannot be completed.
[[nodiscard]] ResultCode captureEvaluated(bool mayBeBest, CandidateCapture& capture);

// The bookkeeping after a candidate's text, in candidate order: best
// alignment, result files, report flushed, progress.
void takeCandidate(BestAlignment& best, int number, const AlignmentScore& score,
                   const CandidateCapture& capture);

} // namespace vorbex
