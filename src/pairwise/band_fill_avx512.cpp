// Built with the AVX-512 flags: only run when the processor has them.
#include "pairwise/band_diagonal_fill.h"
#include "pairwise/band_edge_bounds.h"

namespace vorbex {

BandFill fillBandAvx512(PairwiseWorkspace& work, const KernelSettings& s, const ProfileColumn* columns1,
                        int n, const ProfileColumn* columns2, int m, DiagonalBand band, PairableRuns& runs,
                        const EdgeBounds* entries) {
    BandAntidiagonal<8> kernel;
    return kernel.fill(work, s, columns1, n, columns2, m, band, runs, entries);
}

void findEdgeBoundsAvx512(PairwiseWorkspace& work, const KernelSettings& s, const ProfileColumn* columns1,
                          int n, const ProfileColumn* columns2, int m, DiagonalBand band,
                          EdgeBounds& entries) {
    EntriesByStripes<8, 2>().find(work, s, columns1, n, columns2, m, band, entries);
}

} // namespace vorbex
