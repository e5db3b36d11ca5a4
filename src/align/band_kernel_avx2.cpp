// Built with -mavx2: only run when the processor has it.
#include "align/band_antidiagonal.h"

namespace vorbex {

BandFill fillBandAvx2(const KernelSettings& s, const ProfileColumn* columns1, int n,
                      const ProfileColumn* columns2, int m, DiagonalBand band, SeedCells& seeds) {
    thread_local BandAntidiagonal<4> kernel;
    return kernel.fill(s, columns1, n, columns2, m, band, seeds);
}

} // namespace vorbex
