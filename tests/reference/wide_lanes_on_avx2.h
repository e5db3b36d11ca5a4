// The eight-lane kernels built for AVX2 (wide_lanes_on_avx2.cpp): call only
// where the processor has AVX2.
#pragma once

#include "pairwise/band_fill.h"
#include "pairwise/kernels.h"

namespace vorbex {

double fillWideLanesKernelOnAvx2(PairwiseWorkspace& work, const KernelSettings& s,
                                 const ProfileColumn* columns1, int n, const ProfileColumn* columns2, int m,
                                 int threads);
SumOfPairsCorner fillWideLanesSumOfPairsOnAvx2(PairwiseWorkspace& work, const ProfileColumn* columns1, int n,
                                               const ProfileColumn* columns2, int m, int threads);
BandFill fillWideLanesBandOnAvx2(PairwiseWorkspace& work, const KernelSettings& s,
                                 const ProfileColumn* columns1, int n, const ProfileColumn* columns2, int m,
                                 DiagonalBand band, PairableRuns& seeds, const EdgeBounds* entries = nullptr);
void findWideLanesEdgeBoundsOnAvx2(PairwiseWorkspace& work, const KernelSettings& s,
                                   const ProfileColumn* columns1, int n, const ProfileColumn* columns2, int m,
                                   DiagonalBand band, EdgeBounds& entries);

} // namespace vorbex

namespace vorbex {

// The vector kernels the differential tests compare with the plain ones: the
// tool's two, and the eight-lane code built for AVX2.
enum class TestedKernel { Avx2, Avx512, EightLanesOnAvx2 };

// The kind whose storage it uses (the eight-lane code's is AVX-512's)
inline KernelKind storageKindOf(TestedKernel tested) {
    return tested == TestedKernel::Avx2 ? KernelKind::Avx2 : KernelKind::Avx512;
}

inline bool testedKernelAvailable(TestedKernel tested) {
    return kernelAvailable(tested == TestedKernel::Avx512 ? KernelKind::Avx512 : KernelKind::Avx2);
}

inline const char* testedKernelName(TestedKernel tested) {
    return tested == TestedKernel::Avx512 ? "avx512"
           : tested == TestedKernel::Avx2 ? "avx2"
                                          : "eight_lanes_on_avx2";
}

} // namespace vorbex
