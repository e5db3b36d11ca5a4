// Built with the AVX-512 flags: only run when the processor has them.
#include "align/band_antidiagonal.h"

namespace vorbex {

BandFill fillBandAvx512(const KernelSettings& s, const ProfileColumn* columns1, int n,
                        const ProfileColumn* columns2, int m, DiagonalBand band, SeedCells& seeds) {
    thread_local BandAntidiagonal<8> kernel;
    return kernel.fill(s, columns1, n, columns2, m, band, seeds);
}

} // namespace vorbex
