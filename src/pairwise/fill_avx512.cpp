// Built with -mavx512f, -mavx512dq, -mavx512bw and -mavx512vl: only run when the processor has them.
#include "pairwise/diagonal_fill.h"

namespace vorbex {

double fillAvx512Kernel(PairwiseWorkspace& work, const KernelSettings& s, const ProfileColumn* columns1,
                        int n, const ProfileColumn* columns2, int m, int threads) {
    return fillAntidiagonal<8, 2>(work, KernelKind::Avx512, s, columns1, n, columns2, m, threads);
}

} // namespace vorbex
