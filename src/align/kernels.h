// The DP kernels behind alignProfiles: the plain one and the vector ones, all
// filling traceMatrix with the same flags and returning the same corner score.
#pragma once

#include <cstdint>

#include "base/result_code.h"
#include "input/input.h"

namespace vorbex {

enum class KernelKind { Plain, Avx2, Avx512 };

// Costs and weights of one alignment, read from runSettings once.
struct KernelSettings {
    double gapOpen;
    double gapExtend;
    double weights[BASE_COUNT];
    int workMode;
};

KernelSettings currentKernelSettings();

// True when this processor can run the kernel.
bool kernelAvailable(KernelKind kind);
// The kernel alignProfiles uses: the plain one when usePlainImplementation is
// set, otherwise the widest one the processor runs.
KernelKind selectedKernel();

// Each fills traceMatrix rows 0..n, columns 0..m for the first profile down
// and the second across, and returns the score of cell [n][m]. The plain one
// also fills the three score matrices. The vector ones use up to `threads`
// threads, with the same result for any number.
double fillPlainKernel(const KernelSettings& s, const ProfileColumn* columns1, int n,
                       const ProfileColumn* columns2, int m);
double fillAvx2Kernel(const KernelSettings& s, const ProfileColumn* columns1, int n,
                      const ProfileColumn* columns2, int m, int threads = 1);
double fillAvx512Kernel(const KernelSettings& s, const ProfileColumn* columns1, int n,
                        const ProfileColumn* columns2, int m, int threads = 1);

// alignProfiles with the given kernel, which must be available.
[[nodiscard]] ResultCode alignProfilesWith(KernelKind kind, TreeNode* first, TreeNode* second, double& score);

} // namespace vorbex
