// Built with the AVX-512 flags: only run when the processor has them.
#include "pairwise/band_diagonal_fill.h"
#include "pairwise/band_edge_bounds.h"

namespace vorbex {

BandFill fillBandAvx512(const KernelSettings& s, const ProfileColumn* columns1, int n,
                        const ProfileColumn* columns2, int m, DiagonalBand band, PairableRuns& runs,
                        const EdgeBounds* entries) {
    BandAntidiagonal<8> kernel;
    return kernel.fill(s, columns1, n, columns2, m, band, runs, entries);
}

void findEdgeBoundsAvx512(const KernelSettings& s, const ProfileColumn* columns1, int n,
                          const ProfileColumn* columns2, int m, DiagonalBand band, EdgeBounds& entries) {
    EntriesByStripes<8, 2>().find(s, columns1, n, columns2, m, band, entries);
}

} // namespace vorbex
