// Chooses the DP kernel by what the processor can run, once per process.
#include "pairwise/kernels.h"

namespace vorbex {

bool kernelAvailable(KernelKind kind) {
    switch (kind) {
    case KernelKind::Avx512:
        // The kernel's file is built with all four
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
               __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl");
    case KernelKind::Avx2:
        return __builtin_cpu_supports("avx2");
    case KernelKind::Plain:
        break;
    }
    return true;
}

KernelKind selectedKernel(const PairwiseChoices& choices) {
    static const KernelKind fastest = kernelAvailable(KernelKind::Avx512) ? KernelKind::Avx512
                                      : kernelAvailable(KernelKind::Avx2) ? KernelKind::Avx2
                                                                          : KernelKind::Plain;
    return choices.plain ? KernelKind::Plain : fastest;
}

} // namespace vorbex
