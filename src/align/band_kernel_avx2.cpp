// Built with -mavx2: only run when the processor has it.
#include "align/band_antidiagonal.h"
#include "align/outside_entries.h"

namespace vorbex {

BandFill fillBandAvx2(const KernelSettings& s, const ProfileColumn* columns1, int n,
                      const ProfileColumn* columns2, int m, DiagonalBand band, SeedCells& seeds,
                      const OutsideEntries* entries) {
    BandAntidiagonal<4> kernel;
    return kernel.fill(s, columns1, n, columns2, m, band, seeds, entries);
}

void findOutsideEntriesAvx2(const KernelSettings& s, const ProfileColumn* columns1, int n,
                            const ProfileColumn* columns2, int m, DiagonalBand band,
                            OutsideEntries& entries) {
    EntriesByStripes<4, 2>().find(s, columns1, n, columns2, m, band, entries);
}

} // namespace vorbex
