// Alignment: pairwise profile alignment, the tree passes, gap insertion and score.
#pragma once

#include <cstddef>
#include <cstdint>

#include "align/subtree_cache.h"
#include "base/result_code.h"
#include "input/input.h"

namespace vorbex {

constexpr int MATRIX_SIZE = MAXSEQLEN + 1;         // rows and cells per row of the DP matrices
constexpr int ALIGNED_BUFFER_SIZE = 2 * MAXSEQLEN; // longest alignment before the length check
constexpr double RUN_BONUS = 0.00001;

// Trace flags of one DP cell
constexpr std::uint8_t TRACE_UP = 1;
constexpr std::uint8_t TRACE_LEFT = 2;
constexpr std::uint8_t TRACE_DIAG = 4;

// Work storage, allocated once by allocateAlignmentStorage; cell [i][j] of a
// matrix is element i * MATRIX_SIZE + j.
extern double* scoreMatrix;
extern double* gapInFirstMatrix;
extern double* gapInSecondMatrix;
extern std::uint8_t* traceMatrix;
extern ProfileColumn* alignedBuffer1;
extern ProfileColumn* alignedBuffer2;
// The steps of the last pairwise alignment, one per column of the result from
// the first: TRACE_DIAG (a pair), TRACE_UP (a gap in the second), TRACE_LEFT
// (a gap in the first).
extern std::uint8_t* alignmentPath;

[[nodiscard]] bool allocateAlignmentStorage();

// Set only by benchmarks and tests: run the plain reference code (plain kernel,
// no work shared between candidates, one thread) that faster code must equal.
extern bool usePlainImplementation;
// Threads one pairwise alignment may use; results never depend on it.
extern int alignmentThreads;

double columnSimilarity(const ProfileColumn& a, const ProfileColumn& b);
// Aligns the working profiles of both nodes in place and gives the score.
// ERINT after the message when the alignment would pass MAXSEQLEN columns;
// the nodes are then as they were.
[[nodiscard]] ResultCode alignProfiles(TreeNode* first, TreeNode* second, double& score);

// ERINT when an alignment passes MAXSEQLEN; the candidate is then unfinished.
[[nodiscard]] ResultCode traceForward();
void traceBackward();

struct AlignmentScore {
    int MA_length;
    int Conserv0;
    int Conserv1;
    double ConsIndex;
};

extern int trimPosition;
int insertGapSymbols();
AlignmentScore scoreAlignment();

} // namespace vorbex
