// Built with -mavx2: only run when the processor has it.
#include "pairwise/sum_of_pairs_diagonal_fill.h"

namespace vorbex {

SumOfPairsCorner fillSumOfPairsAvx2(PairwiseWorkspace& work, const ProfileColumn* columns1, int n,
                                    const ProfileColumn* columns2, int m, int threads) {
    return fillSumOfPairsAntidiagonal<4, 2>(work, KernelKind::Avx2, columns1, n, columns2, m, threads);
}

} // namespace vorbex
