// The sum-of-pairs DP by anti-diagonals over stripes of rows, laid out as the
// specified DP's vector kernel (see diagonal_fill.h): lane q of a stripe
// handles row i0 + q, shifted by q columns, and a stripe waits block by block
// for the one above when threads share an alignment. Every cell performs the
// plain fill's operations in the plain fill's order, so states and flags are
// the same bit for bit. Compiled once per instruction set: internal linkage.
//
// States, as in the plain fill: P a pair, X a column of the first profile
// against a gap, Y a column of the second against a gap.
#pragma once

#include <limits>

#include "pairwise/kernels.h"
#include "pairwise/pairwise.h"
#include "pairwise/stripe_pool.h"
#include "pairwise/stripe_steps.h"
#include "pairwise/sum_of_pairs.h"
#include "pairwise/vector_lanes.h"

namespace vorbex {
namespace {

constexpr double NO_PATH = -std::numeric_limits<double>::infinity();

template <int L, int K> class SumOfPairsKernel {
    using D = typename Lanes<L>::D;
    using I = typename Lanes<L>::I;
    using B = typename Lanes<L>::B;
    static constexpr int KL = K * L;
    static constexpr int PAD = STRIPE_PAD;
    static_assert(KL <= PAD);

  public:
    SumOfPairsKernel(PairwiseWorkspace& work, int thread)
        : work_(work), b_(work.sumOfPairsBuffers), flags_(work.stripeBuffers.flags[thread]) {}

    // The profiles and their gap costs into the buffers, row 0 and column 0:
    // before any stripe runs. Each value is the plain fill's product or sum.
    void prepare(const ProfileColumn* columns1, int n, const ProfileColumn* columns2, int m) {
        constexpr SumOfPairsCosts COSTS = SUM_OF_PAIRS_COSTS;
        const double endExtend = COSTS.gapExtend * COSTS.endGapShare;
        double previous = 0.0;
        for (int i = 0; i < n + PAD; ++i) {
            const ProfileColumn column = i < n ? columns1[i] : ProfileColumn{};
            for (int x = 0; x < BASE_COUNT; ++x)
                b_.first[x][i] = column.weight[x];
            const double bases = basesOf(column);
            const ColumnGapCosts gap = columnGapCosts(bases, i == 0 ? bases : previous);
            b_.firstOpen[i] = gap.open;
            b_.firstExtend[i] = gap.extend;
            b_.firstEndExtend[i] = endExtend * bases;
            b_.firstGapFactor[i] = gap.factor;
            previous = bases;
        }
        double substitution[BASE_COUNT][BASE_COUNT];
        for (int x = 0; x < BASE_COUNT; ++x)
            for (int y = 0; y < BASE_COUNT; ++y)
                substitution[x][y] = x == y         ? COSTS.match
                                     : (x ^ y) == 2 ? COSTS.transition
                                                    : COSTS.transversion;
        for (int p = 0; p < m + 3 * PAD; ++p) {
            for (int x = 0; x < BASE_COUNT; ++x)
                b_.second[x][p] = 0.0;
            b_.secondOpen[p] = b_.secondExtend[p] = b_.secondGapExtend[p] = b_.secondEndExtend[p] = 0.0;
        }
        for (int c = 0; c < m; ++c) {
            const int p = secondIndex(m, c);
            // A base x of the first against the column: the plain fill's inner sum
            const double bases = basesOf(columns2[c]);
            const double gaps = 1.0 - bases;
            const ColumnGapCosts gap = columnGapCosts(bases, c == 0 ? bases : basesOf(columns2[c - 1]));
            for (int x = 0; x < BASE_COUNT; ++x) {
                double row = 0.0;
                for (int y = 0; y < BASE_COUNT; ++y)
                    row += substitution[x][y] * columns2[c].weight[y];
                row += COSTS.gapExtend * gaps;
                row += COSTS.gapOpen * gap.starts;
                b_.second[x][p] = row;
            }
            b_.secondOpen[p] = gap.open;
            b_.secondExtend[p] = COSTS.gapExtend * bases;
            b_.secondGapExtend[p] = gap.extend;
            b_.secondEndExtend[p] = endExtend * bases;
        }

        // Column 0: the first profile's columns against gaps before the second
        std::uint8_t* const F = work_.traceMatrix;
        F[0] = 0;
        for (int i = 1; i <= n; ++i) {
            b_.leftGap[i] = (i == 1 ? 0.0 : b_.leftGap[i - 1]) + b_.firstEndExtend[i - 1];
            F[work_.traceCell(i, 0)] = i == 1 ? 0 : GAP_IN_SECOND_EXTENDS;
        }
        for (int i = n + 1; i < n + PAD; ++i)
            b_.leftGap[i] = 0.0;
        // Row 0: the second's columns against gaps before the first
        double* const P = b_.rowPair[0];
        double* const X = b_.rowGapInSecond[0];
        double* const Y = b_.rowGapInFirst[0];
        for (int j = 1; j <= m; ++j) {
            P[j] = NO_PATH;
            X[j] = NO_PATH;
            Y[j] = (j == 1 ? 0.0 : Y[j - 1]) + b_.secondEndExtend[secondIndex(m, j - 1)];
            F[j] = j == 1 ? 0 : GAP_IN_FIRST_EXTENDS;
        }
    }

    // Rows 1 + k * KL .. k * KL + KL (those up to n); returns the states of
    // cell [n][m] when row n is in them.
    SumOfPairsCorner stripe(int k, int n, int m, bool shared) {
        const int i0 = 1 + k * KL;
        State st;
        st.above = {b_.rowPair[k % 2], b_.rowGapInSecond[k % 2], b_.rowGapInFirst[k % 2]};
        st.below = {b_.rowPair[(k + 1) % 2], b_.rowGapInSecond[(k + 1) % 2], b_.rowGapInFirst[(k + 1) % 2]};
        for (int v = 0; v < K; ++v)
            st.skewed[v] = flags_ + static_cast<std::size_t>(v) * (m + PAD) * L;
        const D none = splatLanes<D>(NO_PATH);
        // Column 0 of the row above the stripe: the start, or a gap state alone
        const D cornerP = splatLanes<D>(i0 == 1 ? 0.0 : NO_PATH);
        const D cornerX = splatLanes<D>(i0 == 1 ? NO_PATH : b_.leftGap[i0 - 1]);
#pragma GCC unroll 8
        for (int v = 0; v < K; ++v) {
            const int row = i0 - 1 + v * L; // index of the lanes' first row
            for (int x = 0; x < BASE_COUNT; ++x)
                st.x[v][x] = loadLanes<D>(&b_.first[x][row]);
            st.gapFactor[v] = loadLanes<D>(&b_.firstGapFactor[row]);
            st.open[v] = loadLanes<D>(&b_.firstOpen[row]);
            st.extend[v] = loadLanes<D>(&b_.firstExtend[row]);
            st.endExtend[v] = loadLanes<D>(&b_.firstEndExtend[row]);
            st.lastRow[v] = Lanes<L>::IOTA + (row + 1) == splatLanes<I>(static_cast<long long>(n));
            st.edge[v] = loadLanes<D>(&b_.leftGap[row + 1]);
            st.P[v] = none;
            st.X[v] = st.edge[v];
            st.Y[v] = none;
        }
#pragma GCC unroll 8
        for (int v = 0; v < K; ++v) {
            st.diagP[v] = shiftLanes(st.P[v], v == 0 ? cornerP : st.P[v - 1]);
            st.diagX[v] = shiftLanes(st.X[v], v == 0 ? cornerX : st.X[v - 1]);
            st.diagY[v] = shiftLanes(st.Y[v], v == 0 ? none : st.Y[v - 1]);
        }

        const int lastLane = n - i0 < KL - 1 ? n - i0 : KL - 1;
        const int lastStep = m + lastLane;
        runStripeSteps<KL>(
            k, m, lastStep, shared, [&](int t) { step<true, false>(st, t, m); },
            [&](int t) { step<false, true>(st, t, m); });
        scatterStripeFlags<L>(work_, st.skewed, i0, lastLane, m);
        if (i0 + KL - 1 < n)
            return {};
        const int v = lastLane / L;
        const int r = lastLane % L;
        return {st.P[v][r], st.X[v][r], st.Y[v][r]};
    }

  private:
    static double basesOf(const ProfileColumn& column) {
        return column.weight[BASE_A] + column.weight[BASE_C] + column.weight[BASE_G] + column.weight[BASE_T];
    }
    // Column c of the second profile; lane q at step t reads column t - q - 1
    static int secondIndex(int m, int c) {
        return m + PAD - c;
    }

    struct Row {
        double* P;
        double* X;
        double* Y;
    };
    struct State {
        Row above; // written by the stripe above
        Row below; // for the stripe below
        std::uint8_t* skewed[K];
        D x[K][BASE_COUNT]; // the stripe's rows of the first profile
        D gapFactor[K];     // their gaps and the gaps they begin, against a base
        D open[K], extend[K], endExtend[K];
        I lastRow[K];
        D edge[K]; // X of column 0 for each lane's row
        D P[K], X[K], Y[K];
        D diagP[K], diagX[K], diagY[K];
    };

    // The better of two values, the first on a tie, as the plain fill's `better`
    static D better(D first, D second, I& tookSecond) {
        tookSecond = second > first;
        return tookSecond ? second : first;
    }

    // One step of the stripe: cell [i0 + q][t - q] in lane q. Lanes still left
    // of column 1 hold column 0; lanes past column m compute values nobody reads.
    template <bool NEAR_LEFT_EDGE, bool WRITE_ROW> void step(State& st, int t, int m) {
        const int base = secondIndex(m, t - 1);
        const D none = splatLanes<D>(NO_PATH);
        D P[K], X[K], Y[K], upP[K], upX[K], upY[K];
#pragma GCC unroll 8
        for (int v = 0; v < K; ++v) {
            // The cell above: the lane before at the previous step, or the row buffer
            upP[v] = shiftLanes(st.P[v], v == 0 ? splatLanes<D>(st.above.P[t]) : st.P[v - 1]);
            upX[v] = shiftLanes(st.X[v], v == 0 ? splatLanes<D>(st.above.X[t]) : st.X[v - 1]);
            upY[v] = shiftLanes(st.Y[v], v == 0 ? splatLanes<D>(st.above.Y[t]) : st.Y[v - 1]);
            const I lane = Lanes<L>::IOTA + v * L;

            // Pair: the best state up-left plus the expected substitution score
            I took;
            D from = better(st.diagP[v], st.diagX[v], took);
            I flags = took & splatLanes<I>(static_cast<long long>(PAIR_FROM_GAP_IN_SECOND));
            from = better(from, st.diagY[v], took);
            flags = took ? splatLanes<I>(static_cast<long long>(PAIR_FROM_GAP_IN_FIRST)) : flags;
            D pair = 0.0 + st.x[v][BASE_A] * loadLanes<D>(&b_.second[BASE_A][base + v * L]);
            pair += st.x[v][BASE_C] * loadLanes<D>(&b_.second[BASE_C][base + v * L]);
            pair += st.x[v][BASE_G] * loadLanes<D>(&b_.second[BASE_G][base + v * L]);
            pair += st.x[v][BASE_T] * loadLanes<D>(&b_.second[BASE_T][base + v * L]);
            // The gaps of the row, and those it begins, against the column's bases
            const D extend = loadLanes<D>(&b_.secondExtend[base + v * L]);
            P[v] = from + (pair + st.gapFactor[v] * extend);

            // Row i against a gap, from the cell above; at column m no opening
            const I endX = lane == splatLanes<I>(static_cast<long long>(t - m));
            const D openX = endX ? D{} : st.open[v];
            const D extendX = endX ? st.endExtend[v] : st.extend[v];
            D x = better(upP[v] + openX, upY[v] + openX, took);
            I xFlags = took & splatLanes<I>(static_cast<long long>(GAP_IN_SECOND_FROM_OTHER));
            x = better(x, upX[v], took);
            xFlags = took ? splatLanes<I>(static_cast<long long>(GAP_IN_SECOND_EXTENDS)) : xFlags;
            X[v] = x + extendX;

            // Column j against a gap, from the cell to the left; in row n no opening
            const D open = loadLanes<D>(&b_.secondOpen[base + v * L]);
            const D endExtend = loadLanes<D>(&b_.secondEndExtend[base + v * L]);
            const D gapExtend = loadLanes<D>(&b_.secondGapExtend[base + v * L]);
            const D openY = st.lastRow[v] ? D{} : open;
            const D extendY = st.lastRow[v] ? endExtend : gapExtend;
            D y = better(st.P[v] + openY, st.X[v] + openY, took);
            I yFlags = took & splatLanes<I>(static_cast<long long>(GAP_IN_FIRST_FROM_OTHER));
            y = better(y, st.Y[v], took);
            yFlags = took ? splatLanes<I>(static_cast<long long>(GAP_IN_FIRST_EXTENDS)) : yFlags;
            Y[v] = y + extendY;

            const B bytes = __builtin_convertvector(flags | xFlags | yFlags, B);
            __builtin_memcpy(&st.skewed[v][t * L], &bytes, sizeof bytes);

            if constexpr (NEAR_LEFT_EDGE) {
                const I leftOfMatrix = lane >= t;
                P[v] = leftOfMatrix ? none : P[v];
                X[v] = leftOfMatrix ? st.edge[v] : X[v];
                Y[v] = leftOfMatrix ? none : Y[v];
            }
        }
#pragma GCC unroll 8
        for (int v = 0; v < K; ++v) {
            st.P[v] = P[v];
            st.X[v] = X[v];
            st.Y[v] = Y[v];
            st.diagP[v] = upP[v];
            st.diagX[v] = upX[v];
            st.diagY[v] = upY[v];
        }
        if constexpr (WRITE_ROW) {
            // The stripe's last row, column t - KL + 1, already read by lane 0
            const int j = t - KL + 1;
            st.below.P[j] = P[K - 1][L - 1];
            st.below.X[j] = X[K - 1][L - 1];
            st.below.Y[j] = Y[K - 1][L - 1];
        }
    }

    PairwiseWorkspace& work_;
    const SumOfPairsBuffers& b_;
    std::uint8_t* const flags_;
};

// One alignment's stripes shared out between the pool's threads
struct SumOfPairsStripes {
    PairwiseWorkspace* work; // the calling thread's
    int n, m;
    int stripes;
    int threads;
    SumOfPairsCorner corner; // written by the thread of the last stripe
};

template <int L, int K> void runSumOfPairsStripes(void* context, int thread) {
    SumOfPairsStripes& job = *static_cast<SumOfPairsStripes*>(context);
    SumOfPairsKernel<L, K> kernel(*job.work, thread);
    for (int k = thread; k < job.stripes; k += job.threads) {
        const SumOfPairsCorner corner = kernel.stripe(k, job.n, job.m, job.threads > 1);
        if (k == job.stripes - 1)
            job.corner = corner;
    }
}

template <int L, int K>
SumOfPairsCorner fillSumOfPairsAntidiagonal(PairwiseWorkspace& work, KernelKind kind,
                                            const ProfileColumn* columns1, int n,
                                            const ProfileColumn* columns2, int m, int threads) {
    static_assert(K * L <= MAX_STRIPE_ROWS);
    threads = threads > MAX_ALIGNMENT_THREADS ? MAX_ALIGNMENT_THREADS : threads < 1 ? 1 : threads;
    if (!work.reserveSumOfPairsStorage(kind, n, m, threads)) {
        const double nan = __builtin_nan("");
        return {nan, nan, nan};
    }
    SumOfPairsKernel<L, K>(work, 0).prepare(columns1, n, columns2, m);
    const int stripes = (n + K * L - 1) / (K * L);
    int used = threads < stripes ? threads : stripes;
    if (used > 1)
        used = preparePool(used);
    if (used > 1 && !resetStripeProgress(stripes))
        used = 1;
    SumOfPairsStripes job{&work, n, m, stripes, used, {}};
    runOnPool(used, runSumOfPairsStripes<L, K>, &job);
    return job.corner;
}

} // namespace
} // namespace vorbex
