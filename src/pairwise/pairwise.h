// The pairwise DP: one profile against another, by the specified DP or by
// the weighted sum of pairs, with the work storage of the last alignment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/result_code.h"
#include "input/input.h"

namespace vorbex {

constexpr double RUN_BONUS = 0.00001;

// Trace flags of one DP cell
constexpr std::uint8_t TRACE_UP = 1;
constexpr std::uint8_t TRACE_LEFT = 2;
constexpr std::uint8_t TRACE_DIAG = 4;

// Work storage of the last pairwise alignment, n x m, grown by each alignment
// that needs more (the score matrices only for the plain kernel): cell [i][j]
// of a matrix is element traceCell(i, j), for i in 0..n and j in 0..m;
// the two buffers and the path hold n + m columns. A proven band keeps the
// flags of its diagonals only: row i holds diagonals lowest .. highest, so
// the stride is highest - lowest and the offset -lowest. Each thread that
// aligns has its own; the threads sharing one alignment use their caller's.
extern thread_local constinit double* scoreMatrix;
extern thread_local constinit double* gapInFirstMatrix;
extern thread_local constinit double* gapInSecondMatrix;
extern thread_local constinit std::uint8_t* traceMatrix;
extern thread_local constinit std::size_t traceStride; // m + 1, or the band's
extern thread_local constinit std::size_t traceOffset; // 0, or the band's
inline std::size_t traceCell(int i, int j) {
    return static_cast<std::size_t>(i) * traceStride + static_cast<std::size_t>(j) + traceOffset;
}
extern thread_local constinit ProfileColumn* alignedBuffer1;
extern thread_local constinit ProfileColumn* alignedBuffer2;
// The steps of the last pairwise alignment, one per column of the result from
// the first: TRACE_DIAG (a pair), TRACE_UP (a gap in the second), TRACE_LEFT
// (a gap in the first).
extern thread_local constinit std::uint8_t* alignmentPath;

// Set only by benchmarks and tests: run the plain reference code (plain kernel,
// no work shared between candidates, one thread) that faster code must equal.
extern bool usePlainImplementation;
// Cleared only by benchmarks: fill the whole matrix of every pairwise
// alignment, never a proven band (the results are the same).
extern bool useDiagonalBand;
// Threads one pairwise alignment may use; results never depend on it.
extern int alignmentThreads;

double columnSimilarity(const ProfileColumn& a, const ProfileColumn& b);
// Aligns the working profiles of both nodes in place and gives the score.
// ERINT after the message when the alignment would pass the longest allowed
// (--max-length), ERMEM after one when its work storage or the nodes' room
// cannot be had; the nodes are then as they were.
[[nodiscard]] ResultCode alignProfiles(TreeNode* first, TreeNode* second, double& score);

// An alignment found apart from the nodes, to be given them later: its score
// and its steps from the first.
struct FoundAlignment {
    double score;
    std::vector<std::uint8_t> steps;
};
// Finds the alignment of the two nodes' working profiles, as alignProfiles
// would, in this thread's work storage, on this thread alone and without a
// message; false when it cannot (alignProfiles then says why). Touches
// neither node.
bool findAlignment(const TreeNode* first, const TreeNode* second, FoundAlignment& found);
// Gives both nodes a found alignment of their working profiles, as
// alignProfiles would give them; the same results.
[[nodiscard]] ResultCode keepFoundAlignment(TreeNode* first, TreeNode* second, const FoundAlignment& found,
                                            double& score);

} // namespace vorbex
