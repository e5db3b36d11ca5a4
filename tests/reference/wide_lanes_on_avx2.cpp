// Built with -mavx2 and the eight-lane types of vector_lanes.h in AVX2
// registers: the AVX-512 kernels' template code, with eight lanes and stripes
// of sixteen rows, run and compared with the plain kernels on any processor
// with AVX2.
#include "reference/wide_lanes_on_avx2.h"
#include "pairwise/band_diagonal_fill.h"
#include "pairwise/band_edge_bounds.h"
#include "pairwise/diagonal_fill.h"
#include "pairwise/sum_of_pairs_diagonal_fill.h"

namespace vorbex {

double fillWideLanesKernelOnAvx2(PairwiseWorkspace& work, const KernelSettings& s,
                                 const ProfileColumn* columns1, int n, const ProfileColumn* columns2, int m,
                                 int threads) {
    return fillAntidiagonal<8, 2>(work, KernelKind::Avx512, s, columns1, n, columns2, m, threads);
}

SumOfPairsCorner fillWideLanesSumOfPairsOnAvx2(PairwiseWorkspace& work, const ProfileColumn* columns1, int n,
                                               const ProfileColumn* columns2, int m, int threads) {
    return fillSumOfPairsAntidiagonal<8, 2>(work, KernelKind::Avx512, columns1, n, columns2, m, threads);
}

BandFill fillWideLanesBandOnAvx2(PairwiseWorkspace& work, const KernelSettings& s,
                                 const ProfileColumn* columns1, int n, const ProfileColumn* columns2, int m,
                                 DiagonalBand band, PairableRuns& seeds, const EdgeBounds* entries) {
    BandAntidiagonal<8> kernel;
    return kernel.fill(work, s, columns1, n, columns2, m, band, seeds, entries);
}

void findWideLanesEdgeBoundsOnAvx2(PairwiseWorkspace& work, const KernelSettings& s,
                                   const ProfileColumn* columns1, int n, const ProfileColumn* columns2, int m,
                                   DiagonalBand band, EdgeBounds& entries) {
    EntriesByStripes<8, 2>().find(work, s, columns1, n, columns2, m, band, entries);
}

} // namespace vorbex
