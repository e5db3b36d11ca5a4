// Built with -mavx2: only run when the processor has it.
#include "pairwise/diagonal_fill.h"

namespace vorbex {

double fillAvx2Kernel(PairwiseWorkspace& work, const KernelSettings& s, const ProfileColumn* columns1, int n,
                      const ProfileColumn* columns2, int m, int threads) {
    return fillAntidiagonal<4, 2>(work, KernelKind::Avx2, s, columns1, n, columns2, m, threads);
}

} // namespace vorbex
