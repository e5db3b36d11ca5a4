// Alignment: pairwise profile alignment, the tree passes, gap insertion and score.
#pragma once

#include <cstdint>

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

[[nodiscard]] bool allocateAlignmentStorage();

// Set only by benchmarks and tests: run the plain reference code (plain kernel,
// no work shared between candidates, one thread) that faster code must equal.
extern bool usePlainImplementation;

double columnSimilarity(const ProfileColumn& a, const ProfileColumn& b);
// Aligns the working profiles of both nodes in place and returns the score.
double alignProfiles(TreeNode* first, TreeNode* second);

void traceForward();
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
void writeCandidateSummary(int candidateNumber, const AlignmentScore& score);

} // namespace vorbex
