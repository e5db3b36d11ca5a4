// The bounds at a band's edges (findEdgeBounds in band_fill.cpp) in
// vectors, written once over the lane count and compiled once per
// instruction set (everything here has internal linkage).
#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

#include "pairwise/band_fill.h"
#include "pairwise/pairwise.h"
#include "pairwise/stripe_steps.h"
#include "pairwise/vector_lanes.h"

namespace vorbex {
namespace {

// The DP over stripes of K * L rows, each lane's states in registers as
// the whole matrix's vector kernel keeps them: lane q at step t holds cell
// [i0 + q][t - q], the cell above arrives from the lane before by a shift,
// and one row buffer carries a stripe's last row to the next (its column j is
// written at step j + KL - 1, after the stripe read it). Every cell performs
// the reference's operations in its order, so the bits are the same.
template <int L, int K> class EntriesByStripes {
    using D = typename Lanes<L>::D;
    using I = typename Lanes<L>::I;
    static constexpr int KL = K * L;
    static constexpr int PAD = STRIPE_PAD;
    static_assert(KL <= PAD);

  public:
    void find(PairwiseWorkspace& work, const KernelSettings& s, const ProfileColumn* columns1, int n,
              const ProfileColumn* columns2, int m, DiagonalBand band, EdgeBounds& entries) {
        const std::size_t rows = static_cast<std::size_t>(n) + 2;
        entries.above.assign(rows, HUGE_VAL);
        entries.below.assign(rows, HUGE_VAL);
        prepare(work.edgeBoundRows, s, columns1, n, columns2, m);
        // Row 0 and column 0 hold the boundaries (whose larger state is the
        // score), which no step computes
        const auto boundary = [&](int i, int j) { return i == 0 ? rowS_[j] : leftEdge_[i]; };
        if (band.highest + 1 >= 0 && band.highest + 1 <= m)
            entries.above[0] = boundary(0, band.highest + 1);
        if (band.lowest - 1 >= 0 && band.lowest - 1 <= m)
            entries.below[0] = boundary(0, band.lowest - 1);
        if (-band.highest - 1 >= 1 && -band.highest - 1 <= n)
            entries.above[static_cast<std::size_t>(-band.highest - 1)] = boundary(-band.highest - 1, 0);
        if (1 - band.lowest >= 1 && 1 - band.lowest <= n)
            entries.below[static_cast<std::size_t>(1 - band.lowest)] = boundary(1 - band.lowest, 0);

        const int stripes = (n + KL - 1) / KL;
        for (int k = 0; k < stripes; ++k)
            stripe(s, k, n, m, band, entries);
    }

  private:
    static D load(const double* p) { return loadLanes<D>(p); }
    static D splat(double x) { return splatLanes<D>(x); }
    static D absolute(D x) { return (D)((I)x & 0x7fffffffffffffffLL); }
    static D larger(D a, D b) { return a < b ? b : a; }
    static double largerOf(double a, double b) { return a < b ? b : a; }

    // Column c of the second profile; lane q at step t reads column t - q - 1
    static int secondIndex(int m, int c) { return m + PAD - c; }

    // The profiles by base (the first at row i - 1, the second reversed),
    // zero past their ends; column 0's scores; row 0 in the row buffer; all in `work`
    void prepare(std::vector<double>& work, const KernelSettings& s, const ProfileColumn* columns1, int n,
                 const ProfileColumn* columns2, int m) {
        const std::size_t firstSize = static_cast<std::size_t>(n) + PAD;
        const std::size_t secondSize = static_cast<std::size_t>(m) + 3 * PAD;
        const std::size_t rowSize = static_cast<std::size_t>(m) + PAD;
        work.assign(BASE_COUNT * (firstSize + secondSize) + firstSize + 2 * rowSize, 0.0);
        double* next = work.data();
        for (int x = 0; x < BASE_COUNT; ++x) {
            first_[x] = next;
            next += firstSize;
            second_[x] = next;
            next += secondSize;
            for (int i = 0; i < n; ++i)
                first_[x][i] = columns1[i].weight[x];
            for (int c = 0; c < m; ++c)
                second_[x][secondIndex(m, c)] = columns2[c].weight[x];
        }
        leftEdge_ = next;
        rowS_ = next + firstSize;
        rowV_ = rowS_ + rowSize;
        // The boundaries, summed step by step as the fills sum them
        const double d = s.gapOpen;
        const double g = s.gapExtend;
        for (int i = 1; i <= n; ++i)
            leftEdge_[i] = leftEdge_[i - 1] + (i == 1 ? d : g);
        for (int j = 1; j <= m; ++j) {
            rowS_[j] = rowS_[j - 1] + (j == 1 ? d : g);
            rowV_[j] = rowS_[j];
        }
    }

    struct State {
        D weights[BASE_COUNT];
        D gapOpen, gapExtend;
        D x[K][BASE_COUNT]; // the stripe's rows of the first profile
        D edge[K];          // score of column 0 for each lane's row
        D S[K], H[K], V[K];
        D diagS[K]; // S of the cell up-left of the next step's cell
    };

    void stripe(const KernelSettings& s, int k, int n, int m, DiagonalBand band, EdgeBounds& entries) {
        const int i0 = 1 + k * KL;
        State st;
        for (int x = 0; x < BASE_COUNT; ++x)
            st.weights[x] = splat(s.weights[x]);
        st.gapOpen = splat(s.gapOpen);
        st.gapExtend = splat(s.gapExtend);
#pragma GCC unroll 8
        for (int v = 0; v < K; ++v) {
            for (int x = 0; x < BASE_COUNT; ++x)
                st.x[v][x] = load(&first_[x][i0 - 1 + v * L]);
            st.edge[v] = load(&leftEdge_[i0 + v * L]);
            st.S[v] = st.edge[v];
            st.H[v] = st.edge[v];
            st.V[v] = splat(-HUGE_VAL);
        }
#pragma GCC unroll 8
        for (int v = 0; v < K; ++v)
            st.diagS[v] = shiftLanes(st.S[v], v == 0 ? splat(leftEdge_[i0 - 1]) : st.S[v - 1]);

        const int lastLane = n - i0 < KL - 1 ? n - i0 : KL - 1;
        const int lastStep = m + lastLane;
        // Lane q reaches the cell just above the band at step aboveStep + 2q,
        // the one just left of it at belowStep + 2q
        const Edges edges{i0, i0 + band.highest + 1, i0 + band.lowest - 1, lastLane, m};
        const bool more = i0 + KL <= n;
        runStripeSteps<KL>(
            k, m, lastStep, false, [&](int t) { step<true>(st, t, m, false, edges, entries); },
            [&](int t) { step<false>(st, t, m, more, edges, entries); });
    }

    struct Edges {
        int i0, aboveStep, belowStep, lastLane, m;
        // The lane at the edge cell at step t, or -1
        int laneAt(int edgeStep, int t) const {
            const int twice = t - edgeStep;
            if (twice < 0 || twice % 2 != 0 || twice / 2 > lastLane || t - twice / 2 < 1 || t - twice / 2 > m)
                return -1;
            return twice / 2;
        }
    };

    template <bool NEAR_LEFT_EDGE>
    void step(State& st, int t, int m, bool writeRow, const Edges& edges, EdgeBounds& entries) {
        const D d = st.gapOpen;
        const D g = st.gapExtend;
        const int base = secondIndex(m, t - 1);
        D S[K], H[K], V[K], diagS[K];
#pragma GCC unroll 8
        for (int v = 0; v < K; ++v) {
            const D upS = shiftLanes(st.S[v], v == 0 ? splat(rowS_[t]) : st.S[v - 1]);
            const D upV = shiftLanes(st.V[v], v == 0 ? splat(rowV_[t]) : st.V[v - 1]);
            diagS[v] = upS;
            D y[BASE_COUNT];
            for (int x = 0; x < BASE_COUNT; ++x)
                y[x] = load(&second_[x][base + v * L]);
            H[v] = larger(st.S[v] + d, st.H[v] + g);
            V[v] = larger(upS + d, upV + g);
            D sum = st.weights[BASE_A] * absolute(st.x[v][BASE_A] - y[BASE_A]);
            sum += st.weights[BASE_C] * absolute(st.x[v][BASE_C] - y[BASE_C]);
            sum += st.weights[BASE_G] * absolute(st.x[v][BASE_G] - y[BASE_G]);
            sum += st.weights[BASE_T] * absolute(st.x[v][BASE_T] - y[BASE_T]);
            const D pair = (st.diagS[v] + (1.0 - sum)) + RUN_BONUS;
            S[v] = larger(larger(pair, H[v]), V[v]);
            if constexpr (NEAR_LEFT_EDGE) {
                const I leftOfMatrix = Lanes<L>::IOTA + v * L >= t;
                S[v] = leftOfMatrix ? st.edge[v] : S[v];
                H[v] = leftOfMatrix ? st.edge[v] : H[v];
                V[v] = leftOfMatrix ? splat(-HUGE_VAL) : V[v];
            }
        }
#pragma GCC unroll 8
        for (int v = 0; v < K; ++v) {
            st.S[v] = S[v];
            st.H[v] = H[v];
            st.V[v] = V[v];
            st.diagS[v] = diagS[v];
        }
        if (writeRow) {
            // The stripe's last row, column t - KL + 1, already read by lane 0
            const int j = t - KL + 1;
            rowS_[j] = S[K - 1][L - 1];
            rowV_[j] = V[K - 1][L - 1];
        }
        if (const int q = edges.laneAt(edges.aboveStep, t); q >= 0) [[unlikely]]
            entries.above[static_cast<std::size_t>(edges.i0 + q)] =
                largerOf(S[q / L][q % L], V[q / L][q % L]);
        if (const int q = edges.laneAt(edges.belowStep, t); q >= 0) [[unlikely]]
            entries.below[static_cast<std::size_t>(edges.i0 + q)] =
                largerOf(S[q / L][q % L], H[q / L][q % L]);
    }

    double* first_[BASE_COUNT] = {};
    double* second_[BASE_COUNT] = {};
    double* leftEdge_ = nullptr;
    double* rowS_ = nullptr;
    double* rowV_ = nullptr;
};

} // namespace
} // namespace vorbex
