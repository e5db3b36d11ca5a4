// What the whole matrix can give the cells just outside a band, by a second
// DP over every cell: the specified recurrences with every choice replaced by
// the larger value and the run bonus always added, written once and compiled
// once per instruction set (internal linkage). Each cell's value is rounded
// up from the exact fill's (additions round monotonically, the similarity is
// the same operations in the same order, and a maximum is exact), so it
// bounds the state from above without slack; the vectorised builds perform
// the same operations per cell and give the same bits.
//
// By anti-diagonals t = i + j, indexed by row: the cell to the left is row i
// of t - 1, the one above row i - 1 of t - 1, the one up-left row i - 1 of
// t - 2, so a whole anti-diagonal is one loop without a carried dependency.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "align/align.h"
#include "align/band_kernel.h"

namespace vorbex {
namespace {

inline double largerOf(double a, double b) {
    return a < b ? b : a;
}

// One cell's operations, on one double or on a vector of them
template <typename D> struct EntryLanes {
    static D load(const double* p) {
        D v;
        __builtin_memcpy(&v, p, sizeof v);
        return v;
    }
    static void store(double* p, D v) { __builtin_memcpy(p, &v, sizeof v); }
    static D splat(double x) {
        if constexpr (sizeof(D) == sizeof(double))
            return x;
        else
            return x - D{};
    }
    static D absolute(D x) {
        if constexpr (sizeof(D) == sizeof(double)) {
            return std::fabs(x);
        } else {
            typedef long long I __attribute__((vector_size(sizeof(D))));
            return (D)((I)x & 0x7fffffffffffffffLL);
        }
    }
    static D larger(D a, D b) { return a < b ? b : a; }
};

// Cells i .. i + lanes - 1 of one anti-diagonal (see below)
template <typename D> struct EntryCells {
    double* Sc;
    double* Hc;
    double* Vc;
    const double *Sp, *Spp, *Hp, *Vp;
    const double* a[BASE_COUNT];
    const double* b[BASE_COUNT]; // at row 0 of this anti-diagonal
    D d, g, w[BASE_COUNT];

    void at(int i) const {
        using X = EntryLanes<D>;
        const std::size_t r = static_cast<std::size_t>(i);
        const D h = X::larger(X::load(Sp + r) + d, X::load(Hp + r) + g);
        const D v = X::larger(X::load(Sp + r - 1) + d, X::load(Vp + r - 1) + g);
        D sum = w[BASE_A] * X::absolute(X::load(a[BASE_A] + r) - X::load(b[BASE_A] + r));
        sum += w[BASE_C] * X::absolute(X::load(a[BASE_C] + r) - X::load(b[BASE_C] + r));
        sum += w[BASE_G] * X::absolute(X::load(a[BASE_G] + r) - X::load(b[BASE_G] + r));
        sum += w[BASE_T] * X::absolute(X::load(a[BASE_T] + r) - X::load(b[BASE_T] + r));
        const D pair = (X::load(Spp + r - 1) + (1.0 - sum)) + RUN_BONUS;
        X::store(Hc + r, h);
        X::store(Vc + r, v);
        X::store(Sc + r, X::larger(X::larger(pair, h), v));
    }
};

// D: the vector of the lanes (double for one lane)
template <typename D>
void findEntriesByAntidiagonals(const KernelSettings& s, const ProfileColumn* columns1, int n,
                                const ProfileColumn* columns2, int m, DiagonalBand band,
                                OutsideEntries& entries) {
    constexpr int L = sizeof(D) / sizeof(double);
    const double d = s.gapOpen;
    const double g = s.gapExtend;
    const std::size_t rows = static_cast<std::size_t>(n) + 2;
    entries.above.assign(rows, HUGE_VAL);
    entries.below.assign(rows, HUGE_VAL);
    // Seven anti-diagonal rows of states, the first profile by base at row
    // i, the second reversed (column j at m - j)
    thread_local std::vector<double> work;
    // The reversed profile starts `rows` in, so that row 0 of every
    // anti-diagonal lies within it
    const std::size_t reversed = rows + static_cast<std::size_t>(m) + 1;
    work.assign(7 * rows + BASE_COUNT * (rows + reversed), 0.0);
    double* S[3] = {work.data(), work.data() + rows, work.data() + 2 * rows};
    double* H[2] = {work.data() + 3 * rows, work.data() + 4 * rows};
    double* V[2] = {work.data() + 5 * rows, work.data() + 6 * rows};
    double* first[BASE_COUNT];
    double* second[BASE_COUNT];
    double* next = work.data() + 7 * rows;
    for (int x = 0; x < BASE_COUNT; ++x) {
        first[x] = next;
        next += rows;
        second[x] = next + rows;
        next += reversed;
        for (int i = 1; i <= n; ++i)
            first[x][i] = columns1[i - 1].weight[x];
        for (int j = 1; j <= m; ++j)
            second[x][m - j] = columns2[j - 1].weight[x];
    }
    double top = 0.0, left = 0.0;
    for (int t = 0; t <= n + m; ++t) {
        double* Sc = S[t % 3];
        const double* Sp = S[(t + 2) % 3];
        const double* Spp = S[(t + 1) % 3];
        double* Hc = H[t % 2];
        const double* Hp = H[(t + 1) % 2];
        double* Vc = V[t % 2];
        const double* Vp = V[(t + 1) % 2];
        // The boundaries, summed step by step as the fills sum them
        if (t == 0) {
            Sc[0] = Hc[0] = Vc[0] = 0.0;
        } else {
            if (t <= m) {
                top += t == 1 ? d : g;
                Sc[0] = Vc[0] = top;
                Hc[0] = -HUGE_VAL;
            }
            if (t <= n) {
                left += t == 1 ? d : g;
                Sc[t] = Hc[t] = left;
                Vc[t] = -HUGE_VAL;
            }
        }
        const int lo = std::max(1, t - m);
        const int hi = std::min(n, t - 1);
        // Row i meets column t - i, at m - t + i of the reversed profile
        const std::ptrdiff_t off = static_cast<std::ptrdiff_t>(m) - t;
        EntryCells<D> vector{
            Sc, Hc, Vc, Sp, Spp, Hp, Vp, {}, {}, EntryLanes<D>::splat(d), EntryLanes<D>::splat(g), {}};
        EntryCells<double> single{Sc, Hc, Vc, Sp, Spp, Hp, Vp, {}, {}, d, g, {}};
        for (int x = 0; x < BASE_COUNT; ++x) {
            vector.a[x] = single.a[x] = first[x];
            vector.b[x] = single.b[x] = second[x] + off;
            vector.w[x] = EntryLanes<D>::splat(s.weights[x]);
            single.w[x] = s.weights[x];
        }
        int i = lo;
        for (; i + L - 1 <= hi; i += L)
            vector.at(i);
        for (; i <= hi; ++i)
            single.at(i);
        // The cell just above the band in row i, and just left of it
        const int aboveTwice = t - band.highest - 1;
        if (aboveTwice >= 0 && aboveTwice % 2 == 0) {
            const int i = aboveTwice / 2;
            if (i <= n && t - i <= m)
                entries.above[static_cast<std::size_t>(i)] = largerOf(Sc[i], Vc[i]);
        }
        const int belowTwice = t - band.lowest + 1;
        if (belowTwice % 2 == 0) {
            const int i = belowTwice / 2;
            if (i <= n && t - i >= 0 && t - i <= m)
                entries.below[static_cast<std::size_t>(i)] = largerOf(Sc[i], Hc[i]);
        }
    }
}

} // namespace
} // namespace vorbex
