// The DP kernel over stripes of rows, written once over the lane count and
// compiled once per instruction set (each file that includes this header is
// built with its own -m flags, so everything here has internal linkage).
//
// Lane q of a stripe handles row i0 + q, shifted by q columns: at step t it
// computes cell [i0 + q][t - q]. The cells of one step lie on an anti-diagonal
// and do not depend on each other; each lane keeps its running S, H and V in
// registers, the cell above arrives from the lane before by a shift, and the
// stripe's last row is kept in a row buffer for the next stripe. Every cell
// performs the plain kernel's operations in the plain kernel's order, so the
// scores and flags are the same bit for bit.
#pragma once

#include <immintrin.h>

#include "align/align.h"
#include "align/kernels.h"

namespace vorbex {
namespace {

template <int L> struct Lanes;

#ifdef __AVX2__
template <> struct Lanes<4> {
    typedef double D __attribute__((vector_size(32)));
    typedef long long I __attribute__((vector_size(32)));
    typedef unsigned char B __attribute__((vector_size(4)));
    static constexpr I SHIFT = {7, 0, 1, 2};
    static constexpr I IOTA = {0, 1, 2, 3};
    static D sqrt(D x) { return (D)_mm256_sqrt_pd((__m256d)x); }
};
#endif

#ifdef __AVX512F__
template <> struct Lanes<8> {
    typedef double D __attribute__((vector_size(64)));
    typedef long long I __attribute__((vector_size(64)));
    typedef unsigned char B __attribute__((vector_size(8)));
    static constexpr I SHIFT = {15, 0, 1, 2, 3, 4, 5, 6};
    static constexpr I IOTA = {0, 1, 2, 3, 4, 5, 6, 7};
    static D sqrt(D x) { return (D)_mm512_maskz_sqrt_pd(0xff, (__m512d)x); }
};
#endif

// Room for a stripe's overhang beyond either end of a profile
constexpr int PAD = 64;

enum class Distance { Squared, L1, L2 };

template <int L, int K> struct StripeBuffers {
    // First profile by base, row i at index i - 1, zero past the end
    alignas(64) double first[BASE_COUNT][MATRIX_SIZE + PAD];
    // Second profile by base, reversed so that the lanes of a step load it in order
    alignas(64) double second[BASE_COUNT][MATRIX_SIZE + 3 * PAD];
    // Score of column 0, row by row
    alignas(64) double leftEdge[MATRIX_SIZE + PAD];
    // S, V and the pair flag (as a lane mask) of the row above the stripe
    alignas(64) double rowS[MATRIX_SIZE + PAD];
    alignas(64) double rowV[MATRIX_SIZE + PAD];
    alignas(64) long long rowPair[MATRIX_SIZE + PAD];
    // Flags of the stripe, one L-byte group per step and vector
    alignas(64) std::uint8_t skewed[K][(MATRIX_SIZE + PAD) * L];
};

template <int L, int K, Distance DIST> class StripedKernel {
    using D = typename Lanes<L>::D;
    using I = typename Lanes<L>::I;
    using B = typename Lanes<L>::B;
    static constexpr int KL = K * L;
    static_assert(KL <= PAD);

  public:
    StripedKernel(const KernelSettings& s, StripeBuffers<L, K>& b) : s_(s), b_(b) {}

    double fill(const ProfileColumn* columns1, int n, const ProfileColumn* columns2, int m) {
        prepare(columns1, n, columns2, m);
        double corner = 0.0;
        for (int i0 = 1; i0 <= n; i0 += KL)
            corner = stripe(i0, n, m);
        return corner;
    }

  private:
    static D load(const double* p) {
        D v;
        __builtin_memcpy(&v, p, sizeof v);
        return v;
    }
    static I loadMask(const long long* p) {
        I v;
        __builtin_memcpy(&v, p, sizeof v);
        return v;
    }
    // Subtracting +0.0 keeps every value, the sign of zero included
    static D splat(double x) { return x - D{}; }
    static I splatMask(long long x) { return x - I{}; }
    // Lane 0 takes the last lane of `before`, lane r the lane r - 1 of `v`
    static D shift(D v, D before) { return __builtin_shuffle(v, before, Lanes<L>::SHIFT); }
    static I shift(I v, I before) { return __builtin_shuffle(v, before, Lanes<L>::SHIFT); }
    static D absolute(D x) { return (D)((I)x & 0x7fffffffffffffffLL); }

    void prepare(const ProfileColumn* columns1, int n, const ProfileColumn* columns2, int m) {
        const double d = s_.gapOpen;
        const double g = s_.gapExtend;
        for (int x = 0; x < BASE_COUNT; ++x) {
            for (int i = 0; i < n; ++i)
                b_.first[x][i] = columns1[i].weight[x];
            for (int i = n; i < n + PAD; ++i)
                b_.first[x][i] = 0.0;
            const int top = m + 3 * PAD;
            for (int p = 0; p < top; ++p)
                b_.second[x][p] = 0.0;
            for (int c = 0; c < m; ++c)
                b_.second[x][secondIndex(m, c)] = columns2[c].weight[x];
        }
        // Boundaries, summed step by step as in the plain kernel
        std::uint8_t* const F = traceMatrix;
        b_.leftEdge[0] = 0.0;
        F[0] = 0;
        for (int i = 1; i <= n; ++i) {
            b_.leftEdge[i] = b_.leftEdge[i - 1] + (i == 1 ? d : g);
            F[static_cast<long>(i) * MATRIX_SIZE] = TRACE_UP;
        }
        for (int i = n + 1; i < n + PAD; ++i)
            b_.leftEdge[i] = 0.0;
        b_.rowS[0] = 0.0;
        b_.rowV[0] = 0.0;
        b_.rowPair[0] = 0;
        for (int j = 1; j <= m; ++j) {
            b_.rowS[j] = b_.rowS[j - 1] + (j == 1 ? d : g);
            b_.rowV[j] = b_.rowS[j];
            b_.rowPair[j] = 0;
            F[j] = TRACE_LEFT;
        }
    }

    // Column c of the second profile; lane q at step t reads column t - q - 1
    static int secondIndex(int m, int c) { return m + PAD - c; }

    static D similarity(const D (&w)[BASE_COUNT], const D (&x)[BASE_COUNT], const D (&y)[BASE_COUNT]) {
        if constexpr (DIST == Distance::L1) {
            D sum = w[BASE_A] * absolute(x[BASE_A] - y[BASE_A]);
            sum += w[BASE_C] * absolute(x[BASE_C] - y[BASE_C]);
            sum += w[BASE_G] * absolute(x[BASE_G] - y[BASE_G]);
            sum += w[BASE_T] * absolute(x[BASE_T] - y[BASE_T]);
            return 1.0 - sum;
        } else {
            D sum = w[BASE_A] * ((x[BASE_A] - y[BASE_A]) * (x[BASE_A] - y[BASE_A]));
            sum += w[BASE_C] * ((x[BASE_C] - y[BASE_C]) * (x[BASE_C] - y[BASE_C]));
            sum += w[BASE_G] * ((x[BASE_G] - y[BASE_G]) * (x[BASE_G] - y[BASE_G]));
            sum += w[BASE_T] * ((x[BASE_T] - y[BASE_T]) * (x[BASE_T] - y[BASE_T]));
            if constexpr (DIST == Distance::L2)
                return 1.0 - Lanes<L>::sqrt(sum);
            else
                return 1.0 - sum;
        }
    }

    // Everything the steps read, in locals the compiler knows nothing else writes
    struct State {
        D weights[BASE_COUNT];
        D gapOpen, gapExtend;
        StripeBuffers<L, K>* b;
        D x[K][BASE_COUNT]; // the stripe's rows of the first profile
        D edge[K];          // score of column 0 for each lane's row
        D S[K], H[K], V[K];
        I pair[K];  // the cell carries the pair flag
        D diagS[K]; // S of the cell up-left of the next step's cell
        I diagPair[K];
    };

    // One step of the stripe: cell [i0 + q][t - q] in lane q. Lanes still left
    // of column 1 hold the column-0 boundary; lanes past column m compute values
    // nobody reads.
    template <bool NEAR_LEFT_EDGE, bool WRITE_ROW> void step(State& st, int t, int m) {
        const D d = st.gapOpen;
        const D g = st.gapExtend;
        StripeBuffers<L, K>& b = *st.b;
        const double* const rowS = b.rowS;
        const double* const rowV = b.rowV;
        const int base = secondIndex(m, t - 1);
        D S[K], H[K], V[K], diagS[K];
        I pair[K], diagPair[K];
#pragma GCC unroll 8
        for (int v = 0; v < K; ++v) {
            // The cell above: the lane before at the previous step, or the row buffer
            const D upS = shift(st.S[v], v == 0 ? splat(rowS[t]) : st.S[v - 1]);
            const D upV = shift(st.V[v], v == 0 ? splat(rowV[t]) : st.V[v - 1]);
            diagPair[v] = shift(st.pair[v], v == 0 ? splatMask(b.rowPair[t]) : st.pair[v - 1]);
            diagS[v] = upS;

            D y[BASE_COUNT];
            for (int x = 0; x < BASE_COUNT; ++x)
                y[x] = load(&b.second[x][base + v * L]);

            // Gap in first: open from the cell to the left, or extend its run
            const D openLeft = st.S[v] + d;
            const D extendLeft = st.H[v] + g;
            H[v] = openLeft + TOLERANCE < extendLeft ? extendLeft : openLeft;

            // Gap in second: open from the cell above, or extend its run
            const D openUp = upS + d;
            const D extendUp = upV + g;
            V[v] = openUp + TOLERANCE < extendUp ? extendUp : openUp;

            // Pair: diagonal plus similarity, plus the run bonus after a pair
            D score = st.diagS[v] + similarity(st.weights, st.x[v], y);
            score = st.diagPair[v] ? score + RUN_BONUS : score;

            // A gap wins only when it beats the score by more than the tolerance;
            // near-ties add flags
            const I leftWins = score + TOLERANCE < H[v];
            const I leftTies = absolute(score - H[v]) < TOLERANCE;
            score = leftWins ? H[v] : score;
            I flags = leftWins ? splatMask(TRACE_LEFT)
                               : (leftTies ? splatMask(TRACE_DIAG | TRACE_LEFT) : splatMask(TRACE_DIAG));
            const I upWins = score + TOLERANCE < V[v];
            const I upTies = absolute(score - V[v]) < TOLERANCE;
            score = upWins ? V[v] : score;
            flags = upWins ? splatMask(TRACE_UP) : (upTies ? (flags | TRACE_UP) : flags);
            S[v] = score;
            pair[v] = ~(leftWins | upWins); // the pair flag survives unless a gap won

            const B bytes = __builtin_convertvector(flags, B);
            __builtin_memcpy(&b.skewed[v][t * L], &bytes, sizeof bytes);

            if constexpr (NEAR_LEFT_EDGE) {
                const I leftOfMatrix = Lanes<L>::IOTA + v * L >= t;
                S[v] = leftOfMatrix ? st.edge[v] : S[v];
                H[v] = leftOfMatrix ? st.edge[v] : H[v];
                pair[v] = leftOfMatrix ? I{} : pair[v];
            }
        }
#pragma GCC unroll 8
        for (int v = 0; v < K; ++v) {
            st.S[v] = S[v];
            st.H[v] = H[v];
            st.V[v] = V[v];
            st.pair[v] = pair[v];
            st.diagS[v] = diagS[v];
            st.diagPair[v] = diagPair[v];
        }
        if constexpr (WRITE_ROW) {
            // The stripe's last row, column t - KL + 1, already read by lane 0
            const int j = t - KL + 1;
            b.rowS[j] = S[K - 1][L - 1];
            b.rowV[j] = V[K - 1][L - 1];
            b.rowPair[j] = pair[K - 1][L - 1];
        }
    }

    // Rows i0 .. i0 + KL - 1 (those up to n); returns S[n][m] when row n is in it.
    double stripe(int i0, int n, int m) {
        State st;
        for (int x = 0; x < BASE_COUNT; ++x)
            st.weights[x] = splat(s_.weights[x]);
        st.gapOpen = splat(s_.gapOpen);
        st.gapExtend = splat(s_.gapExtend);
        st.b = &b_;
#pragma GCC unroll 8
        for (int v = 0; v < K; ++v) {
            for (int x = 0; x < BASE_COUNT; ++x)
                st.x[v][x] = load(&b_.first[x][i0 - 1 + v * L]);
            st.edge[v] = load(&b_.leftEdge[i0 + v * L]);
            st.S[v] = st.edge[v];
            st.H[v] = st.edge[v];
            st.V[v] = D{};
            st.pair[v] = I{};
        }
#pragma GCC unroll 8
        for (int v = 0; v < K; ++v) {
            st.diagS[v] = shift(st.S[v], v == 0 ? splat(b_.rowS[0]) : st.S[v - 1]);
            st.diagPair[v] = shift(st.pair[v], v == 0 ? splatMask(b_.rowPair[0]) : st.pair[v - 1]);
        }

        const int lastLane = n - i0 < KL - 1 ? n - i0 : KL - 1;
        const int lastStep = m + lastLane;
        int t = 1;
        for (; t < KL && t <= lastStep; ++t)
            step<true, false>(st, t, m);
        for (; t <= lastStep; ++t)
            step<false, true>(st, t, m);

        b_.rowS[0] = b_.leftEdge[i0 + KL - 1];
        b_.rowPair[0] = 0;

        // Flags from the skewed stripe into their cells
        for (int q = 0; q <= lastLane; ++q) {
            const std::uint8_t* const from = b_.skewed[q / L] + q % L;
            std::uint8_t* const to = traceMatrix + static_cast<long>(i0 + q) * MATRIX_SIZE;
            for (int j = 1; j <= m; ++j)
                to[j] = from[(j + q) * L];
        }
        if (i0 + KL - 1 < n)
            return 0.0;
        return st.S[lastLane / L][lastLane % L];
    }

    const KernelSettings& s_;
    StripeBuffers<L, K>& b_;
};

template <int L, int K>
double fillStriped(const KernelSettings& s, const ProfileColumn* columns1, int n,
                   const ProfileColumn* columns2, int m) {
    static StripeBuffers<L, K> buffers;
    if (s.workMode & 1)
        return StripedKernel<L, K, Distance::L1>(s, buffers).fill(columns1, n, columns2, m);
    if (s.workMode & 2)
        return StripedKernel<L, K, Distance::L2>(s, buffers).fill(columns1, n, columns2, m);
    return StripedKernel<L, K, Distance::Squared>(s, buffers).fill(columns1, n, columns2, m);
}

} // namespace
} // namespace vorbex
