// The vector types of the kernels, by lane count: doubles, 64-bit masks and
// the flag bytes of one vector. Included only by files built for their
// instruction set, so everything here has internal linkage.
#pragma once

#include <immintrin.h>

namespace vorbex {
namespace {

template <int L> struct Lanes;

#ifdef __AVX2__
template <> struct Lanes<4> {
    typedef double D __attribute__((vector_size(32)));
    typedef long long I __attribute__((vector_size(32)));
    typedef unsigned char B __attribute__((vector_size(4)));
    static constexpr I IOTA = {0, 1, 2, 3};
    static D sqrt(D x) { return (D)_mm256_sqrt_pd((__m256d)x); }
};
#endif

#if defined(__AVX512F__)
template <> struct Lanes<8> {
    typedef double D __attribute__((vector_size(64)));
    typedef long long I __attribute__((vector_size(64)));
    typedef unsigned char B __attribute__((vector_size(8)));
    static constexpr I IOTA = {0, 1, 2, 3, 4, 5, 6, 7};
    static D sqrt(D x) { return (D)_mm512_maskz_sqrt_pd(0xff, (__m512d)x); }
};
#elif defined(VORBEX_WIDE_LANES_ON_AVX2)
// Eight lanes in AVX2 registers, for a test that runs the eight-lane
// kernels' code on processors without AVX-512
template <> struct Lanes<8> {
    typedef double D __attribute__((vector_size(64)));
    typedef long long I __attribute__((vector_size(64)));
    typedef unsigned char B __attribute__((vector_size(8)));
    static constexpr I IOTA = {0, 1, 2, 3, 4, 5, 6, 7};
    static D sqrt(D x) {
        for (int lane = 0; lane < 8; ++lane)
            x[lane] = __builtin_sqrt(x[lane]);
        return x;
    }
};
#endif

template <typename V> V loadLanes(const void* p) {
    V v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
}

// Every lane x; subtracting +0.0 keeps every value, the sign of zero included
template <typename V, typename T> V splatLanes(T x) {
    return x - V{};
}

// Lane 0 takes the last lane of `before`, lane r the lane r - 1 of `v`
// (the form of shuffle that both GCC and clang know)
template <typename V> V shiftLanes(V v, V before) {
    if constexpr (sizeof(V) == 32)
        return __builtin_shufflevector(v, before, 7, 0, 1, 2);
    else
        return __builtin_shufflevector(v, before, 15, 0, 1, 2, 3, 4, 5, 6);
}

// True when some lane of a mask is set
template <typename I> bool anyLane(I mask) {
    if constexpr (sizeof(I) == 32) {
        return !_mm256_testz_si256((__m256i)mask, (__m256i)mask);
    } else {
#if defined(__AVX512F__)
        return _mm512_test_epi64_mask((__m512i)mask, (__m512i)mask) != 0;
#else
        typedef long long Half __attribute__((vector_size(32)));
        return anyLane<Half>(__builtin_shufflevector(mask, mask, 0, 1, 2, 3) |
                             __builtin_shufflevector(mask, mask, 4, 5, 6, 7));
#endif
    }
}

} // namespace
} // namespace vorbex
