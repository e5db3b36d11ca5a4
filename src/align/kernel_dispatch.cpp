// Chooses the DP kernel by what the processor can run, once per process.
#include "align/align.h"
#include "align/kernels.h"

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

KernelKind selectedKernel() {
    static const KernelKind fastest = kernelAvailable(KernelKind::Avx512) ? KernelKind::Avx512
                                      : kernelAvailable(KernelKind::Avx2) ? KernelKind::Avx2
                                                                          : KernelKind::Plain;
    return usePlainImplementation ? KernelKind::Plain : fastest;
}

int wavefrontThreads(KernelKind kind, int n, int m) {
    // Below these the start of the other threads and the waits between
    // stripes cost more than they save
    constexpr int MIN_STRIPES_PER_THREAD = 2;
    constexpr long MIN_CELLS = 200000;
    const int stripeHeight = kind == KernelKind::Avx512 ? 16 : 8;
    if (alignmentThreads <= 1 || kind == KernelKind::Plain || static_cast<long>(n) * m < MIN_CELLS)
        return 1;
    const int stripes = (n + stripeHeight - 1) / stripeHeight;
    const int most = stripes / MIN_STRIPES_PER_THREAD;
    if (most <= 1)
        return 1;
    return alignmentThreads < most ? alignmentThreads : most;
}

WavefrontChoice wavefrontChoice;

int WavefrontChoice::choose(int threads) {
    const long long k = eligible_++;
    // Measure both first, then keep to the faster but for every TRY_OTHER_EVERY-th alignment
    if (nsPerCell_[0] == 0.0 || nsPerCell_[1] == 0.0)
        return k % 2 == 0 ? threads : 1;
    const bool severalFaster = nsPerCell_[1] < nsPerCell_[0];
    const bool tryOther = k % TRY_OTHER_EVERY == 0;
    return severalFaster != tryOther ? threads : 1;
}

void WavefrontChoice::record(int threads, double cells, double seconds) {
    if (cells <= 0.0)
        return;
    double& average = nsPerCell_[threads > 1 ? 1 : 0];
    const double sample = seconds * 1e9 / cells;
    average = average == 0.0 ? sample : 0.75 * average + 0.25 * sample;
}

} // namespace vorbex
