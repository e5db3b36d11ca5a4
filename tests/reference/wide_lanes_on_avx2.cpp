// Built with -mavx2 and the eight-lane types of vector_lanes.h in AVX2
// registers: the AVX-512 kernels' template code, with eight lanes and stripes
// of sixteen rows, run and compared with the plain kernels on any processor
// with AVX2.
#include "reference/wide_lanes_on_avx2.h"
#include "align/antidiagonal_kernel.h"
#include "align/band_antidiagonal.h"
#include "align/outside_entries.h"
#include "align/sum_of_pairs_kernel.h"

namespace vorbex {

double fillWideLanesKernelOnAvx2(const KernelSettings& s, const ProfileColumn* columns1, int n,
                                 const ProfileColumn* columns2, int m, int threads) {
    return fillAntidiagonal<8, 2>(KernelKind::Avx512, s, columns1, n, columns2, m, threads);
}

SumOfPairsCorner fillWideLanesSumOfPairsOnAvx2(const ProfileColumn* columns1, int n,
                                               const ProfileColumn* columns2, int m, int threads) {
    return fillSumOfPairsAntidiagonal<8, 2>(KernelKind::Avx512, columns1, n, columns2, m, threads);
}

BandFill fillWideLanesBandOnAvx2(const KernelSettings& s, const ProfileColumn* columns1, int n,
                                 const ProfileColumn* columns2, int m, DiagonalBand band, SeedCells& seeds,
                                 const OutsideEntries* entries) {
    BandAntidiagonal<8> kernel;
    return kernel.fill(s, columns1, n, columns2, m, band, seeds, entries);
}

void findWideLanesEntriesOnAvx2(const KernelSettings& s, const ProfileColumn* columns1, int n,
                                const ProfileColumn* columns2, int m, DiagonalBand band,
                                OutsideEntries& entries) {
    EntriesByStripes<8, 2>().find(s, columns1, n, columns2, m, band, entries);
}

} // namespace vorbex
