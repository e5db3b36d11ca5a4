// The band fill by anti-diagonals, written once over the lane count and
// compiled once per instruction set (everything here has internal linkage).
//
// Anti-diagonal t holds the band's cells [i][t - i]; they depend only on
// anti-diagonals t - 1 (left and up) and t - 2 (up-left), so the lanes take
// consecutive rows i of one anti-diagonal. Three anti-diagonals are kept,
// indexed by row: the cell to the left is at row i of t - 1, the one above
// at row i - 1, the one up-left at row i - 1 of t - 2. Every cell performs
// the row-by-row band fill's operations in its order, bounds included, and
// the bounds of what enters from outside are updated row by row as there,
// so flags, score and proof are the same bit for bit.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>
#include <vector>

#include "pairwise/band_fill.h"
#include "pairwise/pairwise.h"
#include "pairwise/vector_lanes.h"

namespace vorbex {
namespace {

template <int L> class BandAntidiagonal {
    using D = typename Lanes<L>::D;
    using I = typename Lanes<L>::I;

    static D splat(double x) { return splatLanes<D>(x); }
    static I splatMask(long long x) { return splatLanes<I>(x); }
    static D load(const double* p) { return loadLanes<D>(p); }
    static void store(double* p, D v) { __builtin_memcpy(p, &v, sizeof v); }
    static D absolute(D x) { return (D)((I)x & 0x7fffffffffffffffLL); }
    // std::max's choice, lane by lane
    static D larger(D a, D b) { return a < b ? b : a; }
    static I inexact(D bound) { return bound != EXACT_BOUND; }
    static D highest(D value, D bound) { return inexact(bound) ? bound : value; }

    struct Diagonal {
        double *S, *H, *V, *boundS, *boundH, *boundV;
        long long* pair;
    };

  public:
    BandFill fill(PairwiseWorkspace& work, const KernelSettings& s, const ProfileColumn* columns1, int n,
                  const ProfileColumn* columns2, int m, DiagonalBand band, PairableRuns& runs,
                  const EdgeBounds* entries) {
        const double d = s.gapOpen;
        const double g = s.gapExtend;
        if (!prepare(work.bandScratch, columns1, n, columns2, m))
            return {std::nan(""), false, 0.0, 0.0};
        std::uint8_t* const F = work.traceMatrix;
        const auto traceCell = [&work](int i, int j) { return work.traceCell(i, j); };
        // Lane q of a cell's vector lies q rows down and q columns left
        const std::size_t laneStep = work.traceStride - 1;
        const double* profile1[BASE_COUNT];
        const double* profile2[BASE_COUNT];
        for (int x = 0; x < BASE_COUNT; ++x) {
            profile1[x] = first_[x];
            profile2[x] = second_[x];
        }

        D weights[BASE_COUNT];
        for (int x = 0; x < BASE_COUNT; ++x)
            weights[x] = splat(s.weights[x]);
        const D dv = splat(d), gv = splat(g);

        ExcursionTracker above(s, n, m), below(s, n, m);
        double topBoundary = 0.0, leftBoundary = 0.0;
        double cells = 0.0;
        int inexactDiagonals = 0;
        const int boundaryEnd = std::max(band.highest, -band.lowest);
        for (int t = 0; t <= n + m; ++t) {
            const Diagonal cur = diagonal(t % 3);
            const Diagonal up = diagonal((t + 2) % 3);   // t - 1
            const Diagonal diag = diagonal((t + 1) % 3); // t - 2
            const int iLo = std::max({0, t - m, ceilHalf(t - band.highest)});
            const int iHi = std::min({n, t, floorHalf(t - band.lowest)});
            const int first = std::max(1, iLo);
            const int last = std::min(t - 1, iHi);

            // What enters the edge cells from outside
            if (first <= last && first == iLo && t - 2 * first == band.highest) {
                const std::size_t r = static_cast<std::size_t>(first) - 1;
                up.S[r] = up.V[r] = UNREACHABLE_STATE;
                up.boundS[r] = up.boundV[r] =
                    edgeEntryBound(above.entry(), entries, &EdgeBounds::above, first - 1);
            }
            if (first <= last && last == iHi && t - 2 * last == band.lowest) {
                const std::size_t r = static_cast<std::size_t>(last);
                up.S[r] = up.H[r] = UNREACHABLE_STATE;
                up.boundS[r] = up.boundH[r] =
                    edgeEntryBound(below.entry(), entries, &EdgeBounds::below, last);
            }

            I exactLanes = I{};
            for (int i = first; i <= last; i += L) {
                const std::size_t r = static_cast<std::size_t>(i);
                const D leftS = load(&up.S[r]), leftH = load(&up.H[r]);
                const D leftBoundS = load(&up.boundS[r]), leftBoundH = load(&up.boundH[r]);
                const D upS = load(&up.S[r - 1]), upV = load(&up.V[r - 1]);
                const D upBoundS = load(&up.boundS[r - 1]), upBoundV = load(&up.boundV[r - 1]);

                const D diagBound = load(&diag.boundS[r - 1]);
                // Cells whose inputs are all exact are exact: no bounds to carry
                const I inputsInexact = inexact(leftBoundS) | inexact(leftBoundH) | inexact(upBoundS) |
                                        inexact(upBoundV) | inexact(diagBound);
                auto compute = [&](auto withBounds) {
                    constexpr bool BOUNDS = decltype(withBounds)::value;
                    D hBound = splat(EXACT_BOUND), vBound = splat(EXACT_BOUND);
                    const D h = gapState<BOUNDS>(leftS, leftBoundS, leftH, leftBoundH, dv, gv, hBound);
                    const D v = gapState<BOUNDS>(upS, upBoundS, upV, upBoundV, dv, gv, vBound);

                    // Row i of the first profile, column t - i of the second
                    const std::size_t reversed = static_cast<std::size_t>(m - t + i);
                    D sum = weights[BASE_A] *
                            absolute(load(&profile1[BASE_A][r]) - load(&profile2[BASE_A][reversed]));
                    sum += weights[BASE_C] *
                           absolute(load(&profile1[BASE_C][r]) - load(&profile2[BASE_C][reversed]));
                    sum += weights[BASE_G] *
                           absolute(load(&profile1[BASE_G][r]) - load(&profile2[BASE_G][reversed]));
                    sum += weights[BASE_T] *
                           absolute(load(&profile1[BASE_T][r]) - load(&profile2[BASE_T][reversed]));
                    const D sim = 1.0 - sum;

                    D score = load(&diag.S[r - 1]) + sim;
                    I diagPair;
                    __builtin_memcpy(&diagPair, &diag.pair[r - 1], sizeof diagPair);
                    score = diagPair ? score + RUN_BONUS : score;
                    const I diagInexact = inexact(diagBound);
                    const D diagHigh = diagInexact ? (diagBound + sim) + RUN_BONUS : score;
                    [[maybe_unused]] const D pair = score;

                    const I leftWins = score + TOLERANCE < h;
                    const I leftTies = absolute(score - h) < TOLERANCE;
                    score = leftWins ? h : score;
                    I flags = leftWins
                                  ? splatMask(TRACE_LEFT)
                                  : (leftTies ? splatMask(TRACE_DIAG | TRACE_LEFT) : splatMask(TRACE_DIAG));
                    D scoreBound = splat(EXACT_BOUND);
                    if constexpr (BOUNDS) {
                        const I hInexact = inexact(hBound);
                        const I decidedLeft = (~diagInexact & (pair - hBound >= TOLERANCE)) |
                                              (~hInexact & (diagHigh + TOLERANCE < h));
                        scoreBound = (diagInexact | hInexact) & ~decidedLeft
                                         ? larger(larger(diagHigh, highest(h, hBound)), score)
                                         : splat(EXACT_BOUND);
                    }

                    [[maybe_unused]] const D afterLeft = score;
                    const I upWins = score + TOLERANCE < v;
                    const I upTies = absolute(score - v) < TOLERANCE;
                    score = upWins ? v : score;
                    flags = upWins ? splatMask(TRACE_UP) : (upTies ? (flags | TRACE_UP) : flags);
                    if constexpr (BOUNDS) {
                        const I leftInexact = inexact(scoreBound);
                        const I vInexact = inexact(vBound);
                        const I decidedUp = (~leftInexact & (afterLeft - vBound >= TOLERANCE)) |
                                            (~vInexact & (scoreBound + TOLERANCE < v));
                        scoreBound =
                            (leftInexact | vInexact) & ~decidedUp
                                ? larger(larger(highest(afterLeft, scoreBound), highest(v, vBound)), score)
                                : splat(EXACT_BOUND);
                    }

                    const I unproven = inexact(scoreBound);
                    flags = unproven ? (flags | TRACE_UNPROVEN) : flags;
                    const I pairKept = (flags & TRACE_DIAG) != 0;
                    store(&cur.S[r], score);
                    store(&cur.H[r], h);
                    store(&cur.V[r], v);
                    store(&cur.boundS[r], scoreBound);
                    store(&cur.boundH[r], hBound);
                    store(&cur.boundV[r], vBound);
                    __builtin_memcpy(&cur.pair[r], &pairKept, sizeof pairKept);
                    const int lanes = std::min(L, last - i + 1);
                    std::uint8_t* const cell = F + traceCell(i, t - i);
                    for (int q = 0; q < lanes; ++q)
                        cell[static_cast<std::size_t>(q) * laneStep] = static_cast<std::uint8_t>(flags[q]);
                    exactLanes |= ~unproven & (Lanes<L>::IOTA < lanes);
                };
                if (anyLane(inputsInexact))
                    compute(std::true_type{});
                else
                    compute(std::false_type{});
            }
            if (first <= last)
                cells += last - first + 1;

            // The boundaries, summed step by step as the plain kernel does
            if (t == 0) {
                cur.S[0] = cur.H[0] = cur.V[0] = 0.0;
                cur.boundS[0] = cur.boundH[0] = cur.boundV[0] = EXACT_BOUND;
                cur.pair[0] = 0;
                F[traceCell(0, 0)] = 0;
                cells += 1;
            }
            if (t >= 1 && t <= band.highest && t <= m) {
                topBoundary += t == 1 ? d : g;
                cur.S[0] = cur.V[0] = topBoundary;
                cur.boundS[0] = cur.boundV[0] = EXACT_BOUND;
                cur.pair[0] = 0;
                F[traceCell(0, t)] = TRACE_LEFT;
                cells += 1;
            }
            if (t >= 1 && t <= -band.lowest && t <= n) {
                const std::size_t r = static_cast<std::size_t>(t);
                leftBoundary += t == 1 ? d : g;
                cur.S[r] = cur.H[r] = leftBoundary;
                cur.V[r] = UNREACHABLE_STATE;
                cur.boundS[r] = cur.boundH[r] = cur.boundV[r] = EXACT_BOUND;
                cur.pair[r] = 0;
                F[traceCell(t, 0)] = TRACE_UP;
                cells += 1;
            }

            // Exits of the row whose edge cell this anti-diagonal holds
            if (entries == nullptr && (t - band.highest) % 2 == 0 && t >= band.highest) {
                const int row = (t - band.highest) / 2;
                if (row < n) {
                    const bool inRun[2] = {runs.highestInRow(0, row) > band.highest,
                                           runs.highestInRow(1, row) > band.highest};
                    above.pass(inRun);
                    if (row + band.highest < m) {
                        const std::size_t r = static_cast<std::size_t>(row);
                        above.exitFrom(row == 0, cur.S[r], cur.boundS[r], cur.H[r], cur.boundH[r], d, g);
                    }
                }
            }
            if (entries == nullptr && (t - band.lowest) % 2 == 0) {
                const int row = (t - band.lowest) / 2;
                if (row < n) {
                    const int column = row + band.lowest;
                    const bool inside = column >= 0 && column <= m;
                    const bool inRun[2] = {inside && runs.lowestInColumn(0, column) < band.lowest,
                                           inside && runs.lowestInColumn(1, column) < band.lowest};
                    below.pass(inRun);
                    if (column >= 0) {
                        const std::size_t r = static_cast<std::size_t>(row);
                        below.exitFrom(column == 0, cur.S[r], cur.boundS[r], cur.V[r], cur.boundV[r], d, g);
                    }
                }
            }

            // Two anti-diagonals without an exact cell, and no boundary to
            // bring one: every later cell is inexact
            inexactDiagonals = first <= last && !anyLane(exactLanes) ? inexactDiagonals + 1 : 0;
            if (inexactDiagonals >= 2 && t > boundaryEnd + 1)
                return {std::nan(""), false, cells, static_cast<double>(t) / (n + m)};
        }
        const double score = diagonal((n + m) % 3).S[static_cast<std::size_t>(n)];
        return {score, tracedPathProven(work, n, m), cells, 1.0};
    }

  private:
    double* values_ = nullptr;
    long long* pairs_ = nullptr;
    std::size_t rows_ = 0;
    double* first_[BASE_COUNT] = {};
    double* second_[BASE_COUNT] = {};

    static int ceilHalf(int x) { return x >= 0 ? (x + 1) / 2 : -((-x) / 2); }
    static int floorHalf(int x) { return x >= 0 ? x / 2 : -((-x + 1) / 2); }

    Diagonal diagonal(int k) {
        double* base = values_ + static_cast<std::size_t>(k) * 6 * rows_;
        return {base,
                base + rows_,
                base + 2 * rows_,
                base + 3 * rows_,
                base + 4 * rows_,
                base + 5 * rows_,
                pairs_ + static_cast<std::size_t>(k) * rows_};
    }

    // Three anti-diagonals of rows 0 .. n + L; the first profile by base at
    // row i, zero past n; the second by base reversed (column j at m - j),
    // zero past its end, where lanes beyond the band read; all in `scratch`.
    bool prepare(void* scratch, const ProfileColumn* columns1, int n, const ProfileColumn* columns2, int m) {
        rows_ = static_cast<std::size_t>(n) + 2 * L + 2;
        const std::size_t reversed = static_cast<std::size_t>(m) + 2 * L + 2;
        // Not cleared: cells are written before they are read, and lanes past
        // the band read values nobody uses
        static_assert(L <= MAX_BAND_LANES);
        const std::size_t doubles = 18 * rows_ + BASE_COUNT * (rows_ + reversed);
        if (scratch == nullptr || (doubles + 3 * rows_) * sizeof(double) > bandScratchBytes(n, m))
            return false;
        values_ = static_cast<double*>(scratch);
        pairs_ = reinterpret_cast<long long*>(values_ + doubles);
        double* next = values_ + 18 * rows_;
        for (int x = 0; x < BASE_COUNT; ++x) {
            first_[x] = next;
            next += rows_;
            second_[x] = next;
            next += reversed;
            first_[x][0] = 0.0;
            for (int i = 1; i <= n; ++i)
                first_[x][i] = columns1[i - 1].weight[x];
            std::fill(first_[x] + n + 1, first_[x] + rows_, 0.0);
            for (int j = 1; j <= m; ++j)
                second_[x][m - j] = columns2[j - 1].weight[x];
            std::fill(second_[x] + m, second_[x] + reversed, 0.0);
        }
        return true;
    }

    template <bool BOUNDS> static D gapState(D from, D fromBound, D run, D runBound, D d, D g, D& bound) {
        const D open = from + d;
        const D extend = run + g;
        const D value = open + TOLERANCE < extend ? extend : open;
        if constexpr (!BOUNDS)
            return value;
        const I openInexact = inexact(fromBound);
        const I extendInexact = inexact(runBound);
        const D openHigh = highest(from, fromBound) + d;
        const D extendHigh = highest(run, runBound) + g;
        const I decided = (~openInexact & (extendHigh <= open + TOLERANCE)) |
                          (~extendInexact & (openHigh + TOLERANCE < extend));
        bound = (openInexact | extendInexact) & ~decided ? larger(larger(openHigh, extendHigh), value)
                                                         : splat(EXACT_BOUND);
        return value;
    }
};

} // namespace
} // namespace vorbex
