// Built with -mavx512f, -mavx512dq, -mavx512bw and -mavx512vl: only run when the processor has them.
#include "pairwise/sum_of_pairs_diagonal_fill.h"

namespace vorbex {

SumOfPairsCorner fillSumOfPairsAvx512(PairwiseWorkspace& work, const ProfileColumn* columns1, int n,
                                      const ProfileColumn* columns2, int m, int threads) {
    return fillSumOfPairsAntidiagonal<8, 2>(work, KernelKind::Avx512, columns1, n, columns2, m, threads);
}

} // namespace vorbex
