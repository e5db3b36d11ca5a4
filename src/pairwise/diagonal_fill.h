// The DP kernel by anti-diagonals over stripes of rows, written once over the
// lane count and compiled once per instruction set (each file that includes this header is
// built with its own -m flags, so everything here has internal linkage).
//
// Lane q of a stripe handles row i0 + q, shifted by q columns: at step t it
// computes cell [i0 + q][t - q]. The cells of one step lie on an anti-diagonal
// and do not depend on each other; each lane keeps its running S, H and V in
// registers, the cell above arrives from the lane before by a shift, and the
// stripe's last row is kept in a row buffer for the next stripe. Every cell
// performs the plain kernel's operations in the plain kernel's order, so the
// scores and flags are the same bit for bit.
//
// Several threads can share one alignment: thread w computes stripes w, w + T,
// w + 2T, ..., and a stripe runs a block of steps only once the stripe above
// has written the row buffer that far. The cells and their
// operations stay the same, so the result does not depend on the thread count.
#pragma once

#include <immintrin.h>

#include "pairwise/kernels.h"
#include "pairwise/pairwise.h"
#include "pairwise/stripe_pool.h"
#include "pairwise/stripe_steps.h"
#include "pairwise/vector_lanes.h"

namespace vorbex {
namespace {

constexpr int PAD = STRIPE_PAD;

enum class Distance { Squared, L1, L2 };

// S, V and the pair flag (as a lane mask) of the row above a stripe. Stripe k
// reads row k % 2 and writes row (k + 1) % 2, which stripe k - 1 reads.
// Stripe k writes column j at step j + KL - 1, once stripe k - 1 has written
// that column, at a later step than the one at which it read column j: no
// column is overwritten before it is read.
struct RowBuffer {
    double* S;
    double* V;
    long long* pair;
};

RowBuffer rowBuffer(const StripeBuffers& b, int row) {
    return {b.rowS[row], b.rowV[row], b.rowPair[row]};
}

// What every stripe reads lives in StripeBuffers, written before the stripes
// start: the first profile by base, row i at index i - 1, zero past the end;
// the second by base, reversed so that the lanes of a step load it in order;
// the score of column 0, row by row. Each thread's flags of one stripe are one
// L-byte group per step and vector, vector v from v * (m + PAD) * L.

template <int L, int K, Distance DIST> class AntidiagonalKernel {
    using D = typename Lanes<L>::D;
    using I = typename Lanes<L>::I;
    using B = typename Lanes<L>::B;
    static constexpr int KL = K * L;
    static_assert(KL <= PAD);

  public:
    AntidiagonalKernel(const KernelSettings& s, PairwiseWorkspace& work, int thread)
        : s_(s), work_(work), b_(work.stripeBuffers), flags_(work.stripeBuffers.flags[thread]) {}

    // Copies the profiles and fills row 0 and column 0: before any stripe runs.
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
        std::uint8_t* const F = work_.traceMatrix;
        b_.leftEdge[0] = 0.0;
        F[0] = 0;
        for (int i = 1; i <= n; ++i) {
            b_.leftEdge[i] = b_.leftEdge[i - 1] + (i == 1 ? d : g);
            F[work_.traceCell(i, 0)] = TRACE_UP;
        }
        for (int i = n + 1; i < n + PAD; ++i)
            b_.leftEdge[i] = 0.0;
        const RowBuffer row = rowBuffer(b_, 0);
        row.S[0] = 0.0;
        row.V[0] = 0.0;
        row.pair[0] = 0;
        for (int j = 1; j <= m; ++j) {
            row.S[j] = row.S[j - 1] + (j == 1 ? d : g);
            row.V[j] = row.S[j];
            row.pair[j] = 0;
            F[j] = TRACE_LEFT;
        }
    }

    // Rows 1 + k * KL .. k * KL + KL (those up to n); returns S[n][m] when row
    // n is in them. When shared it waits for stripe k - 1 block by block and
    // tells stripe k + 1 how far its row buffer is written.
    double stripe(int k, int n, int m, bool shared) {
        const int i0 = 1 + k * KL;
        State st;
        for (int x = 0; x < BASE_COUNT; ++x)
            st.weights[x] = splat(s_.weights[x]);
        st.gapOpen = splat(s_.gapOpen);
        st.gapExtend = splat(s_.gapExtend);
        for (int x = 0; x < BASE_COUNT; ++x)
            st.second[x] = b_.second[x];
        st.above = rowBuffer(b_, k % 2);
        st.below = rowBuffer(b_, (k + 1) % 2);
        for (int v = 0; v < K; ++v)
            st.skewed[v] = flags_ + static_cast<std::size_t>(v) * (m + PAD) * L;
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
        // Up-left of lane 0's first cell: column 0 of the row above, never a pair
#pragma GCC unroll 8
        for (int v = 0; v < K; ++v) {
            st.diagS[v] = shift(st.S[v], v == 0 ? splat(b_.leftEdge[i0 - 1]) : st.S[v - 1]);
            st.diagPair[v] = shift(st.pair[v], v == 0 ? I{} : st.pair[v - 1]);
        }

        const int lastLane = n - i0 < KL - 1 ? n - i0 : KL - 1;
        const int lastStep = m + lastLane;
        runStripeSteps<KL>(
            k, m, lastStep, shared, [&](int t) { step<true, false>(st, t, m); },
            [&](int t) { step<false, true>(st, t, m); });
        scatterStripeFlags<L>(work_, st.skewed, i0, lastLane, m);
        if (i0 + KL - 1 < n)
            return 0.0;
        return st.S[lastLane / L][lastLane % L];
    }

  private:
    static D load(const double* p) {
        return loadLanes<D>(p);
    }
    static D splat(double x) {
        return splatLanes<D>(x);
    }
    static I splatMask(long long x) {
        return splatLanes<I>(x);
    }
    template <typename V> static V shift(V v, V before) {
        return shiftLanes(v, before);
    }
    static D absolute(D x) {
        return (D)((I)x & 0x7fffffffffffffffLL);
    }

    // Column c of the second profile; lane q at step t reads column t - q - 1
    static int secondIndex(int m, int c) {
        return m + PAD - c;
    }

    // The plain kernel's formula written out again, not shared with it:
    // tests/reference compares the two, which proves something only while the
    // plain kernel stands alone.
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
        const double* second[BASE_COUNT];
        RowBuffer above; // written by the stripe above
        RowBuffer below; // for the stripe below
        std::uint8_t* skewed[K];
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
        const double* const rowS = st.above.S;
        const double* const rowV = st.above.V;
        const int base = secondIndex(m, t - 1);
        D S[K], H[K], V[K], diagS[K];
        I pair[K], diagPair[K];
#pragma GCC unroll 8
        for (int v = 0; v < K; ++v) {
            // The cell above: the lane before at the previous step, or the row buffer
            const D upS = shift(st.S[v], v == 0 ? splat(rowS[t]) : st.S[v - 1]);
            const D upV = shift(st.V[v], v == 0 ? splat(rowV[t]) : st.V[v - 1]);
            diagPair[v] = shift(st.pair[v], v == 0 ? splatMask(st.above.pair[t]) : st.pair[v - 1]);
            diagS[v] = upS;

            D y[BASE_COUNT];
            for (int x = 0; x < BASE_COUNT; ++x)
                y[x] = load(&st.second[x][base + v * L]);

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
            __builtin_memcpy(&st.skewed[v][t * L], &bytes, sizeof bytes);

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
            st.below.S[j] = S[K - 1][L - 1];
            st.below.V[j] = V[K - 1][L - 1];
            st.below.pair[j] = pair[K - 1][L - 1];
        }
    }

    const KernelSettings& s_;
    PairwiseWorkspace& work_;
    const StripeBuffers& b_;
    std::uint8_t* const flags_;
};

// One alignment's stripes shared out between the pool's threads
struct SharedStripes {
    PairwiseWorkspace* work; // the calling thread's
    const KernelSettings* settings;
    int n, m;
    int stripes;
    int threads;
    double corner; // written by the thread of the last stripe
};

template <int L, int K, Distance DIST> void runStripes(void* context, int thread) {
    SharedStripes& job = *static_cast<SharedStripes*>(context);
    AntidiagonalKernel<L, K, DIST> kernel(*job.settings, *job.work, thread);
    for (int k = thread; k < job.stripes; k += job.threads) {
        const double score = kernel.stripe(k, job.n, job.m, job.threads > 1);
        if (k == job.stripes - 1)
            job.corner = score;
    }
}

template <int L, int K, Distance DIST>
double fillAntidiagonal(PairwiseWorkspace& work, const KernelSettings& s, const ProfileColumn* columns1,
                        int n, const ProfileColumn* columns2, int m, int threads) {
    AntidiagonalKernel<L, K, DIST>(s, work, 0).prepare(columns1, n, columns2, m);
    const int stripes = (n + K * L - 1) / (K * L);
    int used = threads < stripes ? threads : stripes;
    if (used > 1)
        used = preparePool(used);
    if (used > 1 && !resetStripeProgress(stripes))
        used = 1;
    SharedStripes job{&work, &s, n, m, stripes, used, 0.0};
    runOnPool(used, runStripes<L, K, DIST>, &job);
    return job.corner;
}

template <int L, int K>
double fillAntidiagonal(PairwiseWorkspace& work, KernelKind kind, const KernelSettings& s,
                        const ProfileColumn* columns1, int n, const ProfileColumn* columns2, int m,
                        int threads) {
    static_assert(K * L <= MAX_STRIPE_ROWS);
    if (threads > MAX_ALIGNMENT_THREADS)
        threads = MAX_ALIGNMENT_THREADS;
    if (threads < 1)
        threads = 1;
    if (!work.reserveAlignmentStorage(kind, n, m, threads))
        return __builtin_nan("");
    if (s.workMode & 1)
        return fillAntidiagonal<L, K, Distance::L1>(work, s, columns1, n, columns2, m, threads);
    if (s.workMode & 2)
        return fillAntidiagonal<L, K, Distance::L2>(work, s, columns1, n, columns2, m, threads);
    return fillAntidiagonal<L, K, Distance::Squared>(work, s, columns1, n, columns2, m, threads);
}

} // namespace
} // namespace vorbex
