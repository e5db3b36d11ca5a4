// The pairwise DP over a band of diagonals, and its proof.
//
// The band's cells are computed by the plain kernel's operations, with the
// cells outside taken as unreachable (minus infinity). Beside every state of
// a band cell (score, gap in first, gap in second) runs a bound: minus
// infinity when the whole matrix gives that state exactly the band's value
// (and, for the score, the band's flags), otherwise an upper bound on the
// value the whole matrix can give it. A comparison whose outcome the bounds
// decide, with the tolerance's margin, in the band and in the whole matrix
// alike, gives an exact state; any other leaves it bounded. The band is
// proven when the corner and every cell the traceback stands on are exact.
//
// What enters the band from outside is bounded thus (similarity by L1
// distance, weights >= 0, gap penalties d, g <= 0). A path outside the band
// left it by a gap step from an edge cell (its value bounded by that cell's
// bounds) and comes back by a gap step into an edge cell, in between taking
// at most one pair step per row above the band (per column below it) and gap
// steps, which cost at most 0. A pair step scores its similarity plus at most
// the run bonus b, and the similarity is at most 1. Columns holding one base
// alone are classed by it, all others are wild; two columns of different
// bases score at most theta = 1 - (w1 + w2), w1 and w2 the two smallest
// weights. PairableRuns finds the runs of q consecutive pairable cells (same
// class, or a wild one) along a diagonal, for q = 12 and 16. In a row
// holding no cell of such a run outside the band, every q consecutive pair
// steps there hold one scoring at most theta, so a stretch of l pair steps
// scores at most rho * l + c0, with rho = (1 + b) - (1 + b - theta) / q and
// c0 = (q - 1)(1 + b - theta) / q; stretches are parted by gaps that open
// anew, each costing at most d. So an excursion scores at most c0 plus, per
// row, max(0, rho + max(0, c0 + d)), or (1 + b) + c0 + max(0, c0 + d) in a
// row holding a run's cell. The lesser of the bounds for the two run lengths
// counts. A slack covers the rounding of the sums and of the whole matrix's
// own values.
#include "pairwise/band_fill.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <vector>

#include "pairwise/pairwise.h"

namespace vorbex {

namespace {

// Only columns of one base alone are classed: a share below 1 would raise
// theta more than it saves wild columns
constexpr double ALPHA = 0.0;
// Runs of four kept for the last RUNS4 rows; longer runs are joined from them
constexpr int RUNS4 = 32;
constexpr int WILD = BASE_COUNT;
// Beside the rounding, which excursionBound adds
constexpr double SLACK = 1e-6;

bool inexact(double bound) {
    return bound != EXACT_BOUND;
}

int columnClass(const ProfileColumn& column) {
    for (int x = 0; x < BASE_COUNT; ++x) {
        if (!(column.weight[x] >= 1.0 - ALPHA))
            continue;
        double others = 0.0;
        for (int y = 0; y < BASE_COUNT; ++y) {
            if (y == x)
                continue;
            if (!(column.weight[y] >= 0.0))
                return WILD;
            others += column.weight[y];
        }
        return others <= ALPHA ? x : WILD;
    }
    return WILD;
}

} // namespace

ExcursionBound excursionBound(const KernelSettings& s, int runLength, int n, int m) {
    const double b = RUN_BONUS;
    double w[BASE_COUNT];
    std::copy(s.weights, s.weights + BASE_COUNT, w);
    std::sort(w, w + BASE_COUNT);
    const double theta = 1.0 - (w[0] + w[1]) * (1.0 - 2.0 * ALPHA) + 1e-9;
    const double q = runLength;
    const double rho = (1.0 + b) - (1.0 + b - theta) / q;
    const double c0 = (q - 1.0) * (1.0 + b - theta) / q;
    const double parted = std::max(0.0, c0 + s.gapOpen);
    const double perRow = std::max(0.0, rho + parted);
    // A run's pair step counts in full, and may part a run once more
    const double perRunRow = (1.0 + b) + c0 + parted;
    const double roundUp = 1.0 + 1e-12;
    // The rounding of n + m steps of a few operations each, on values no
    // larger than n + m steps of the largest score or cost, in the whole
    // matrix's values and in the sums of these bounds
    const double steps = static_cast<double>(n) + m + 1;
    const double largest =
        steps * (2.0 + std::fabs(s.gapOpen) + std::fabs(s.gapExtend) + 2.0 * (w[0] + w[1] + w[2] + w[3]));
    const double rounding = 8.0 * steps * largest * std::numeric_limits<double>::epsilon();
    return {perRow * roundUp, perRunRow * roundUp, c0 + SLACK + rounding};
}

namespace {

struct Row {
    std::vector<double> S, H, V, boundS, boundH, boundV;
    void resize(int m) {
        for (auto* v : {&S, &H, &V, &boundS, &boundH, &boundV})
            v->assign(static_cast<std::size_t>(m) + 1, UNREACHABLE_STATE);
    }
};

// The plain kernel's similarity, the same operations in the same order.
double similarity(const KernelSettings& s, const ProfileColumn& a, const ProfileColumn& b) {
    const double* w = s.weights;
    const double* x = a.weight;
    const double* y = b.weight;
    double sum = w[BASE_A] * std::fabs(x[BASE_A] - y[BASE_A]);
    sum += w[BASE_C] * std::fabs(x[BASE_C] - y[BASE_C]);
    sum += w[BASE_G] * std::fabs(x[BASE_G] - y[BASE_G]);
    sum += w[BASE_T] * std::fabs(x[BASE_T] - y[BASE_T]);
    return 1.0 - sum;
}

// One gap state: open from a score, or extend a run; the bound as described above.
struct GapState {
    double value;
    double bound;
};

GapState gapState(double from, double fromBound, double run, double runBound, double d, double g) {
    const double open = from + d;
    const double extend = run + g;
    GapState state{open, EXACT_BOUND};
    if (open + TOLERANCE < extend)
        state.value = extend;
    const bool openInexact = inexact(fromBound);
    const bool extendInexact = inexact(runBound);
    if (!openInexact && !extendInexact)
        return state;
    const double openHigh = highestValue(from, fromBound) + d;
    const double extendHigh = highestValue(run, runBound) + g;
    // Opening kept, or extending taken, whatever the inexact side holds
    const bool decided =
        (!openInexact && extendHigh <= open + TOLERANCE) || (!extendInexact && openHigh + TOLERANCE < extend);
    if (!decided)
        state.bound = std::max({openHigh, extendHigh, state.value});
    return state;
}

} // namespace

bool bandProofApplies(const KernelSettings& s) {
    if (!(s.workMode & 1))
        return false;
    for (double w : s.weights)
        if (!(w >= 0.0) || !std::isfinite(w))
            return false;
    return std::isfinite(s.gapOpen) && std::isfinite(s.gapExtend) && s.gapOpen <= 0.0 && s.gapExtend <= 0.0;
}

DiagonalBand bandAround(int n, int m, int margin) {
    return {std::min(0, m - n) - margin, std::max(0, m - n) + margin};
}

bool bandCoversMatrix(DiagonalBand band, int n, int m) {
    return band.lowest <= -n && band.highest >= m;
}

std::size_t PairableRuns::bytes(int n, int m) {
    return Scan::bytes(n, m) + Scan::bytes(m, n);
}

PairableRuns::PairableRuns(const ProfileColumn* columns1, int n, const ProfileColumn* columns2, int m,
                           void* memory) {
    auto* next = static_cast<unsigned char*>(memory);
    rows_.reset(columns1, n, columns2, m, next);
    columns_.reset(columns2, m, columns1, n, next);
}

// The bit rows of a scan: pairable columns by class, then runs of two, of
// four, and the runs of each length ending in the row
constexpr int PAIRABLE_ROWS = 0;
constexpr int RUNS2_ROWS = BASE_COUNT + 1;
constexpr int RUNS4_ROWS = RUNS2_ROWS + 4;
constexpr int RUN_ROWS = RUNS4_ROWS + RUNS4;
constexpr int SHORT_RUN = RUN_LENGTHS[0];
constexpr int LONG_RUN = RUN_LENGTHS[1];

std::size_t PairableRuns::Scan::bytes(int n, int m) {
    const std::size_t words = (static_cast<std::size_t>(m) + 1 + 63) / 64;
    const std::size_t ends = (static_cast<std::size_t>(n) + 2) / 2 * 2; // rows 0 .. n, in 8-byte steps
    return (RUN_ROWS + 2) * words * sizeof(Word) + 2 * ends * sizeof(int);
}

void PairableRuns::Scan::reset(const ProfileColumn* rows, int n, const ProfileColumn* columns, int m,
                               unsigned char*& memory) {
    rows_ = rows;
    n_ = n;
    words_ = (static_cast<std::size_t>(m) + 1 + 63) / 64;
    done_ = 0;
    previousClass_ = -1;
    bits_ = reinterpret_cast<Word*>(memory);
    const std::size_t ends = (static_cast<std::size_t>(n) + 2) / 2 * 2;
    highestEnding_[0] = reinterpret_cast<int*>(memory + (RUN_ROWS + 2) * words_ * sizeof(Word));
    highestEnding_[1] = highestEnding_[0] + ends;
    memory += bytes(n, m);
    columns_ = columns;
    m_ = m;
    ready_ = false;
}

// The columns' classes and empty runs, when a fill first asks: a band
// bounded by the whole matrix never does
void PairableRuns::Scan::prepare() {
    ready_ = true;
    for (int* ending : highestEnding_)
        std::fill(ending, ending + n_ + 1, INT_MIN);
    if (n_ < SHORT_RUN || m_ < SHORT_RUN) {
        done_ = n_;
        return;
    }
    std::fill(bits_, bits_ + (RUN_ROWS + 2) * words_, Word{0});
    for (int j = 1; j <= m_; ++j) {
        const int c = columnClass(columns_[j - 1]);
        for (int x = 0; x <= BASE_COUNT; ++x)
            if (c == WILD || x == WILD || c == x)
                bits(PAIRABLE_ROWS + x)[j / 64] |= Word{1} << (j % 64);
    }
}

int PairableRuns::Scan::highestAt(int k, int r) {
    if (!ready_)
        prepare();
    // A run ending in row i holds a cell of rows i - length + 1 .. i
    const int last = std::min(n_, r + RUN_LENGTHS[k] - 1);
    advance(last);
    int highest = INT_MIN;
    for (int i = std::max(r, 0); i <= last; ++i)
        highest = std::max(highest, highestEnding_[k][i]);
    return highest;
}

// Runs ending in row i by doubling: bit j of runs of two says cells
// [i - t][j - t] are pairable for t < 2, of runs of four for t < 4, and of a
// run for t < its length (runs of four joined, the run of 16 from the run of
// 12); the highest diagonal of each row's runs, found by the last join.
void PairableRuns::Scan::advance(int to) {
    const std::size_t words = words_;
    // `into` = `keep` with bit j kept where bit j - shift of `from` is set (0 < shift < 64)
    auto joined = [words](Word* into, const Word* keep, const Word* from, int shift) {
        into[0] = keep[0] & (from[0] << shift);
        for (std::size_t w = 1; w < words; ++w)
            into[w] = keep[w] & ((from[w] << shift) | (from[w - 1] >> (64 - shift)));
    };
    // The same, giving the diagonal of the highest bit kept in row i
    auto joinedHighest = [words](Word* into, const Word* keep, const Word* from, int shift, int i) {
        std::size_t top = 0;
        into[0] = keep[0] & (from[0] << shift);
        for (std::size_t w = 1; w < words; ++w) {
            into[w] = keep[w] & ((from[w] << shift) | (from[w - 1] >> (64 - shift)));
            top = into[w] != 0 ? w : top;
        }
        if (into[top] == 0)
            return INT_MIN;
        return static_cast<int>(top * 64) + 63 - __builtin_clzll(into[top]) - i;
    };
    static_assert(SHORT_RUN % 4 == 0 && LONG_RUN % 4 == 0 && SHORT_RUN < LONG_RUN && LONG_RUN < RUNS4);
    for (int i = done_ + 1; i <= to; ++i) {
        const int rowClass = columnClass(rows_[i - 1]);
        const Word* pairs = bits(PAIRABLE_ROWS + rowClass);
        Word* two = bits(RUNS2_ROWS + i % 4);
        Word* four = bits(RUNS4_ROWS + i % RUNS4);
        if (previousClass_ >= 0)
            joined(two, pairs, bits(PAIRABLE_ROWS + previousClass_), 1);
        else
            std::copy(pairs, pairs + words, two);
        previousClass_ = rowClass;
        joined(four, two, bits(RUNS2_ROWS + (i + 2) % 4), 2);
        if (i < SHORT_RUN)
            continue;
        static_assert(SHORT_RUN == 12 && LONG_RUN == 16, "the joins below");
        Word* shortRun = bits(RUN_ROWS);
        joined(shortRun, four, bits(RUNS4_ROWS + (i - 4) % RUNS4), 4);
        highestEnding_[0][i] = joinedHighest(shortRun, shortRun, bits(RUNS4_ROWS + (i - 8) % RUNS4), 8, i);
        if (i < LONG_RUN)
            continue;
        highestEnding_[1][i] =
            joinedHighest(bits(RUN_ROWS + 1), shortRun, bits(RUNS4_ROWS + (i - 12) % RUNS4), 12, i);
    }
    done_ = std::max(done_, to);
}

// The bounds at a band's edges by a second DP over every cell: the specified
// recurrences with every choice replaced by the larger value and the run
// bonus always added. Each cell's value is rounded up from the exact fill's
// (additions round monotonically, the similarity is the same operations in
// the same order, and a maximum is exact), so it bounds the state from above
// without slack. Row by row: the reference of the vector builds
// (band_edge_bounds.h).
void findEdgeBounds(PairwiseWorkspace& work, const KernelSettings& s, const ProfileColumn* columns1, int n,
                    const ProfileColumn* columns2, int m, DiagonalBand band, EdgeBounds& entries) {
    const double d = s.gapOpen;
    const double g = s.gapExtend;
    const auto larger = [](double a, double b) { return a < b ? b : a; };
    const std::size_t rows = static_cast<std::size_t>(n) + 2;
    entries.above.assign(rows, HUGE_VAL);
    entries.below.assign(rows, HUGE_VAL);
    const std::size_t width = static_cast<std::size_t>(m) + 1;
    // Two rows of each state
    work.edgeBoundRows.assign(6 * width, 0.0);
    double* const S = work.edgeBoundRows.data();
    double* const H = S + 2 * width;
    double* const V = H + 2 * width;
    for (int i = 0; i <= n; ++i) {
        double* const Sc = S + (i % 2) * width;
        double* const Hc = H + (i % 2) * width;
        double* const Vc = V + (i % 2) * width;
        const double* const Sp = S + ((i + 1) % 2) * width;
        const double* const Vp = V + ((i + 1) % 2) * width;
        // The boundaries, summed step by step as the fills sum them
        Sc[0] = Hc[0] = i == 0 ? 0.0 : Sp[0] + (i == 1 ? d : g);
        Vc[0] = i == 0 ? 0.0 : -HUGE_VAL;
        for (int j = 1; j <= m; ++j) {
            if (i == 0) {
                Sc[j] = Vc[j] = Sc[j - 1] + (j == 1 ? d : g);
                Hc[j] = -HUGE_VAL;
                continue;
            }
            Hc[j] = larger(Sc[j - 1] + d, Hc[j - 1] + g);
            Vc[j] = larger(Sp[j] + d, Vp[j] + g);
            const double pair = (Sp[j - 1] + similarity(s, columns1[i - 1], columns2[j - 1])) + RUN_BONUS;
            Sc[j] = larger(larger(pair, Hc[j]), Vc[j]);
        }
        // The cell just above the band in row i, and just left of it
        const int above = i + band.highest + 1;
        if (above >= 0 && above <= m)
            entries.above[static_cast<std::size_t>(i)] = larger(Sc[above], Vc[above]);
        const int below = i + band.lowest - 1;
        if (below >= 0 && below <= m)
            entries.below[static_cast<std::size_t>(i)] = larger(Sc[below], Hc[below]);
    }
}

BandFill fillBandKernel(PairwiseWorkspace& work, const KernelSettings& s, const ProfileColumn* columns1,
                        int n, const ProfileColumn* columns2, int m, DiagonalBand band, PairableRuns& runs,
                        const EdgeBounds* entries) {
    const double d = s.gapOpen;
    const double g = s.gapExtend;
    std::uint8_t* const F = work.traceMatrix;
    const auto traceCell = [&work](int i, int j) { return work.traceCell(i, j); };
    // The reference's own rows, made for each fill
    Row rows[2];
    rows[0].resize(m);
    rows[1].resize(m);
    auto first = [&](int i) { return std::max(0, i + band.lowest); };
    auto last = [&](int i) { return std::min(m, i + band.highest); };
    double cells = 0.0;

    // Row 0: the top boundary, summed step by step as the plain kernel does
    {
        Row& r = rows[0];
        r.S[0] = r.V[0] = 0.0;
        r.boundS[0] = r.boundV[0] = EXACT_BOUND;
        F[traceCell(0, 0)] = 0;
        for (int j = 1; j <= last(0); ++j) {
            r.S[static_cast<std::size_t>(j)] = r.S[static_cast<std::size_t>(j) - 1] + (j == 1 ? d : g);
            r.V[static_cast<std::size_t>(j)] = r.S[static_cast<std::size_t>(j)];
            r.boundS[static_cast<std::size_t>(j)] = r.boundV[static_cast<std::size_t>(j)] = EXACT_BOUND;
            F[traceCell(0, j)] = TRACE_LEFT;
        }
        cells += last(0) + 1;
    }

    // Bounds on what a path outside the band brings to the edge cells: the
    // best exit so far, grown by a pair step per row since it was taken
    ExcursionTracker above(s, n, m), below(s, n, m);
    double leftBoundary = 0.0;
    for (int i = 0; i < n; ++i) {
        const Row& up = rows[i % 2];
        Row& row = rows[(i + 1) % 2];
        const std::size_t top = static_cast<std::size_t>(last(i));
        const std::size_t bottom = static_cast<std::size_t>(first(i));

        // Exits of row i, above and below the band, after a pair step into
        // row i above the band, into column i + lowest below it
        if (entries == nullptr) {
            const int column = i + band.lowest;
            bool runAbove[2], runBelow[2];
            for (int k = 0; k < 2; ++k) {
                runAbove[k] = runs.highestInRow(k, i) > band.highest;
                runBelow[k] = column >= 0 && column <= m && runs.lowestInColumn(k, column) < band.lowest;
            }
            above.pass(runAbove);
            if (i + band.highest < m) {
                above.exitFrom(i == 0, up.S[top], up.boundS[top], up.H[top], up.boundH[top], d, g);
            }
            below.pass(runBelow);
            if (i + band.lowest >= 0) {
                below.exitFrom(bottom == 0, up.S[bottom], up.boundS[bottom], up.V[bottom], up.boundV[bottom],
                               d, g);
            }
        }
        const double fromAbove = edgeEntryBound(above.entry(), entries, &EdgeBounds::above, i);
        const double fromBelow = edgeEntryBound(below.entry(), entries, &EdgeBounds::below, i + 1);

        const int row1 = i + 1;
        const int lo = first(row1);
        const int hi = last(row1);
        int j = lo;
        if (lo == 0) {
            // The left boundary
            leftBoundary += row1 == 1 ? d : g;
            row.S[0] = row.H[0] = leftBoundary;
            row.V[0] = UNREACHABLE_STATE;
            row.boundS[0] = row.boundH[0] = row.boundV[0] = EXACT_BOUND;
            F[traceCell(row1, 0)] = TRACE_UP;
            j = 1;
        }
        const ProfileColumn& column1 = columns1[i];
        int exactCells = j - lo;
        for (; j <= hi; ++j) {
            const std::size_t c = static_cast<std::size_t>(j);
            const bool leftInBand = j - 1 >= lo;
            const bool upInBand = j <= last(i);
            const double leftS = leftInBand ? row.S[c - 1] : UNREACHABLE_STATE;
            const double leftH = leftInBand ? row.H[c - 1] : UNREACHABLE_STATE;
            const double leftBoundS = leftInBand ? row.boundS[c - 1] : fromBelow;
            const double leftBoundH = leftInBand ? row.boundH[c - 1] : fromBelow;
            const double upS = upInBand ? up.S[c] : UNREACHABLE_STATE;
            const double upV = upInBand ? up.V[c] : UNREACHABLE_STATE;
            const double upBoundS = upInBand ? up.boundS[c] : fromAbove;
            const double upBoundV = upInBand ? up.boundV[c] : fromAbove;

            const GapState h = gapState(leftS, leftBoundS, leftH, leftBoundH, d, g);
            const GapState v = gapState(upS, upBoundS, upV, upBoundV, d, g);

            const double sim = similarity(s, column1, columns2[j - 1]);
            const std::uint8_t diagFlags = F[traceCell(i, j - 1)];
            double score = up.S[c - 1] + sim;
            if (diagFlags & TRACE_DIAG)
                score += RUN_BONUS;
            const double diagBound = up.boundS[c - 1];
            const bool diagInexact = inexact(diagBound);
            const double diagHigh = diagInexact ? diagBound + sim + RUN_BONUS : score;
            const double pair = score;
            std::uint8_t flags = TRACE_DIAG;

            if (score + TOLERANCE < h.value) {
                score = h.value;
                flags = TRACE_LEFT;
            } else if (std::fabs(score - h.value) < TOLERANCE) {
                flags |= TRACE_LEFT;
            }
            double bound = EXACT_BOUND;
            if (diagInexact || inexact(h.bound)) {
                const bool decided = (!diagInexact && pair - h.bound >= TOLERANCE) ||
                                     (!inexact(h.bound) && diagHigh + TOLERANCE < h.value);
                if (!decided)
                    bound = std::max({diagHigh, highestValue(h.value, h.bound), score});
            }

            const double afterLeft = score;
            if (score + TOLERANCE < v.value) {
                score = v.value;
                flags = TRACE_UP;
            } else if (std::fabs(score - v.value) < TOLERANCE) {
                flags |= TRACE_UP;
            }
            if (inexact(bound) || inexact(v.bound)) {
                const bool decided = (!inexact(bound) && afterLeft - v.bound >= TOLERANCE) ||
                                     (!inexact(v.bound) && bound + TOLERANCE < v.value);
                bound =
                    decided
                        ? EXACT_BOUND
                        : std::max({highestValue(afterLeft, bound), highestValue(v.value, v.bound), score});
            }

            row.S[c] = score;
            row.H[c] = h.value;
            row.V[c] = v.value;
            row.boundS[c] = bound;
            row.boundH[c] = h.bound;
            row.boundV[c] = v.bound;
            F[traceCell(row1, j)] = static_cast<std::uint8_t>(flags | (inexact(bound) ? TRACE_UNPROVEN : 0));
            exactCells += inexact(bound) ? 0 : 1;
        }
        cells += hi - lo + 1;
        // No exact cell is left to carry exactness down: every later row is
        // inexact too
        if (exactCells == 0)
            return {std::nan(""), false, cells, static_cast<double>(row1) / n};
    }

    return {rows[n % 2].S[static_cast<std::size_t>(m)], tracedPathProven(work, n, m), cells, 1.0};
}

std::size_t bandScratchBytes(int n, int m) {
    // Three anti-diagonals of six states and a pair flag, and the profiles
    // by base, each row padded for lanes of up to eight
    const std::size_t rows = static_cast<std::size_t>(n) + 2 * MAX_BAND_LANES + 2;
    const std::size_t reversed = static_cast<std::size_t>(m) + 2 * MAX_BAND_LANES + 2;
    return (21 * rows + BASE_COUNT * (rows + reversed)) * sizeof(double);
}

bool tracedPathProven(const PairwiseWorkspace& work, int n, int m) {
    const std::uint8_t* const F = work.traceMatrix;
    int i = n;
    int j = m;
    for (;;) {
        const std::uint8_t flags = F[work.traceCell(i, j)];
        if (flags & TRACE_UNPROVEN)
            return false;
        if (i == 0 && j == 0)
            return true;
        if (flags & TRACE_DIAG)
            --i, --j;
        else if (flags & TRACE_UP)
            --i;
        else
            --j;
    }
}

} // namespace vorbex
