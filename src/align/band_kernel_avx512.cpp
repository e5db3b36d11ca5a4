// Built with the AVX-512 flags: only run when the processor has them.
#include "align/band_antidiagonal.h"
#include "align/outside_entries.h"

namespace vorbex {

BandFill fillBandAvx512(const KernelSettings& s, const ProfileColumn* columns1, int n,
                        const ProfileColumn* columns2, int m, DiagonalBand band, SeedCells& seeds,
                        const OutsideEntries* entries) {
    BandAntidiagonal<8> kernel;
    return kernel.fill(s, columns1, n, columns2, m, band, seeds, entries);
}

void findOutsideEntriesAvx512(const KernelSettings& s, const ProfileColumn* columns1, int n,
                              const ProfileColumn* columns2, int m, DiagonalBand band,
                              OutsideEntries& entries) {
    EntriesByStripes<8, 2>().find(s, columns1, n, columns2, m, band, entries);
}

} // namespace vorbex
