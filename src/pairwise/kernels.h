// The DP kernels behind alignProfiles: the plain one and the vector ones, all
// filling the workspace's traceMatrix with the same flags and returning the
// same corner score.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/result_code.h"
#include "input/input.h"
#include "pairwise/workspace.h"

namespace vorbex {

// Costs and weights of one alignment, read from runSettings once.
struct KernelSettings {
    double gapOpen;
    double gapExtend;
    double weights[BASE_COUNT];
    int workMode;
};

KernelSettings currentKernelSettings();

// After a traceback that filled the aligned buffers and the path from
// position n + m - 1 down to k + 1: checks the length against --max-length,
// gives both nodes the aligned columns and moves the path to its start.
// ERINT or ERMEM after a message, the nodes as they were.
[[nodiscard]] ResultCode keepAlignedColumns(PairwiseWorkspace& work, TreeNode* first, TreeNode* second,
                                            int k);
// ERMEM after the message that an n x m alignment's work storage cannot be had.
[[nodiscard]] ResultCode noRoomForAlignment(int n, int m);
// Profile against profile by the weighted sum of pairs (--scoring=sp).
[[nodiscard]] ResultCode alignBySumOfPairs(PairwiseWorkspace& work, TreeNode* first, TreeNode* second,
                                           double& score);

// The three states of the corner cell of a sum-of-pairs fill: a pair, a
// column of the first profile against a gap, one of the second against a gap.
struct SumOfPairsCorner {
    double pair;
    double gapInSecond;
    double gapInFirst;
};

// Each fills traceMatrix rows 0..n, columns 0..m with the sum-of-pairs flags
// and returns the corner's states (NaN when its work storage cannot be had).
// The vector ones use up to `threads` threads, with the same result for any number.
SumOfPairsCorner fillSumOfPairsPlain(PairwiseWorkspace& work, const ProfileColumn* columns1, int n,
                                     const ProfileColumn* columns2, int m);
SumOfPairsCorner fillSumOfPairsAvx2(PairwiseWorkspace& work, const ProfileColumn* columns1, int n,
                                    const ProfileColumn* columns2, int m, int threads = 1);
SumOfPairsCorner fillSumOfPairsAvx512(PairwiseWorkspace& work, const ProfileColumn* columns1, int n,
                                      const ProfileColumn* columns2, int m, int threads = 1);

// True when this processor can run the kernel.
bool kernelAvailable(KernelKind kind);
// The kernel alignProfiles uses: the plain one under the plain choice,
// otherwise the widest one the processor runs.
KernelKind selectedKernel(const PairwiseChoices& choices);

// Each fills traceMatrix rows 0..n, columns 0..m for the first profile down
// and the second across, and returns the score of cell [n][m] (NaN when its
// work storage cannot be had). The plain one also fills the three score
// matrices. The vector ones use up to `threads` threads, with the same result
// for any number.
double fillPlainKernel(PairwiseWorkspace& work, const KernelSettings& s, const ProfileColumn* columns1, int n,
                       const ProfileColumn* columns2, int m);
double fillAvx2Kernel(PairwiseWorkspace& work, const KernelSettings& s, const ProfileColumn* columns1, int n,
                      const ProfileColumn* columns2, int m, int threads = 1);
double fillAvx512Kernel(PairwiseWorkspace& work, const KernelSettings& s, const ProfileColumn* columns1,
                        int n, const ProfileColumn* columns2, int m, int threads = 1);

// alignProfiles with the given kernel, which must be available.
[[nodiscard]] ResultCode alignProfilesWith(PairwiseWorkspace& work, KernelKind kind, TreeNode* first,
                                           TreeNode* second, double& score);

} // namespace vorbex
