// Profile against profile by the weighted sum of pairs (--scoring=sp).
//
// A column's weights are the shares of its sequences' bases, every sequence
// weighing the same (a parent's profile is its children's mean weighted by
// their sequences), and 1 less their sum is its share of gaps. Two columns
// score what every pair of a sequence of one and a sequence of the other
// scores: two bases their expected substitution score, a base against a gap
// the price of a further gap column, as the whole alignment's score counts
// such a pair, and a gap that begins there opens against the other's bases.
// A gap column placed against a column costs in proportion to that column's
// bases (its sequences that already hold a gap there pay nothing), an opening
// more than a further gap, and a further gap opens again against the sequences
// whose bases begin again after a gap of their own, so that each pair of
// sequences counts the gap as the two alone would (see columnGapCosts); a gap
// before the first or after the last column of a profile is charged no
// opening, and endGapShare of the price of its columns. Affine gaps
// by three states: a pair (M), a column of the first against a gap (X), one of
// the second against a gap (Y). Ties go to the pair, then X, then Y, and to
// opening a gap over extending one.
#include <chrono>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "base/physical_memory.h"
#include "pairwise/kernels.h"
#include "pairwise/pairwise.h"
#include "pairwise/sum_of_pairs.h"
#include "pairwise/thread_count_choice.h"

namespace vorbex {

namespace {

constexpr SumOfPairsCosts COSTS = SUM_OF_PAIRS_COSTS;

constexpr double NONE = -std::numeric_limits<double>::infinity();

enum class State { M, X, Y };

// Every pair of a sequence of one column with a sequence of the other: two
// bases score their substitution, a base against a gap a gap column's price,
// and an opening more where the gap begins (`factorA` holds the first's gaps
// and the gaps it begins, as shares of a gap column's price; `startsB` the
// gaps the second begins)
double pairScore(const Substitution& s, const ProfileColumn& a, double factorA, const ProfileColumn& b,
                 double startsB) {
    const double gapsB = 1.0 - bases(b);
    double sum = 0.0;
    for (int x = 0; x < BASE_COUNT; ++x) {
        double row = 0.0;
        for (int y = 0; y < BASE_COUNT; ++y)
            row += s.score[x][y] * b.weight[y];
        row += COSTS.gapExtend * gapsB;
        row += COSTS.gapOpen * startsB;
        sum += a.weight[x] * row;
    }
    return sum + factorA * (COSTS.gapExtend * bases(b));
}

// The better of two candidates, the first on a tie; `took` tells which.
double better(double first, double second, bool& tookSecond) {
    tookSecond = second > first;
    return tookSecond ? second : first;
}

} // namespace

SumOfPairsCorner fillSumOfPairsPlain(PairwiseWorkspace& work, const ProfileColumn* a, int n,
                                     const ProfileColumn* b, int m) {
    static const Substitution substitution = buildSubstitution();
    if (!work.reserveSumOfPairsStorage(KernelKind::Plain, n, m, 1))
        return {std::nan(""), std::nan(""), std::nan("")};
    // The plain reference's own rows, made for each alignment
    std::vector<double> basesA(static_cast<std::size_t>(n) + 1), basesB(static_cast<std::size_t>(m) + 1);
    std::vector<ColumnGapCosts> gapA(static_cast<std::size_t>(n) + 1), gapB(static_cast<std::size_t>(m) + 1);
    for (int i = 1; i <= n; ++i) {
        basesA[i] = bases(a[i - 1]);
        gapA[i] = columnGapCosts(basesA[i], basesA[i == 1 ? i : i - 1]);
    }
    for (int j = 1; j <= m; ++j) {
        basesB[j] = bases(b[j - 1]);
        gapB[j] = columnGapCosts(basesB[j], basesB[j == 1 ? j : j - 1]);
    }
    const double endExtend = COSTS.gapExtend * COSTS.endGapShare;

    // Rows i - 1 and i of the three states
    std::vector<double> rows[6];
    for (std::vector<double>& row : rows)
        row.assign(static_cast<std::size_t>(m) + 1, NONE);
    double* prevM = rows[0].data();
    double* prevX = rows[1].data();
    double* prevY = rows[2].data();
    double* curM = rows[3].data();
    double* curX = rows[4].data();
    double* curY = rows[5].data();
    std::uint8_t* const F = work.traceMatrix;

    // Row 0: the first profile not begun, the second's columns against gaps before it
    prevM[0] = 0.0;
    F[0] = 0;
    for (int j = 1; j <= m; ++j) {
        prevY[j] = (j == 1 ? prevM[0] : prevY[j - 1]) + endExtend * basesB[j];
        F[work.traceCell(0, j)] = j == 1 ? 0 : GAP_IN_FIRST_EXTENDS;
    }
    for (int i = 1; i <= n; ++i) {
        curM[0] = NONE;
        curY[0] = NONE;
        curX[0] = (i == 1 ? prevM[0] : prevX[0]) + endExtend * basesA[i];
        F[work.traceCell(i, 0)] = i == 1 ? 0 : GAP_IN_SECOND_EXTENDS;
        for (int j = 1; j <= m; ++j) {
            std::uint8_t flags = 0;
            bool took;
            // Pair
            double from = prevM[j - 1];
            from = better(from, prevX[j - 1], took);
            if (took)
                flags = PAIR_FROM_GAP_IN_SECOND;
            from = better(from, prevY[j - 1], took);
            if (took)
                flags = PAIR_FROM_GAP_IN_FIRST;
            curM[j] = from + pairScore(substitution, a[i - 1], gapA[i].factor, b[j - 1], gapB[j].starts);

            // Column i against a gap: after the second's last column no opening
            const bool endX = j == m;
            const double extendX = endX ? endExtend * basesA[i] : gapA[i].extend;
            const double openX = endX ? 0.0 : gapA[i].open;
            double x = prevM[j] + openX;
            x = better(x, prevY[j] + openX, took);
            if (took)
                flags |= GAP_IN_SECOND_FROM_OTHER;
            x = better(x, prevX[j], took);
            if (took)
                flags =
                    static_cast<std::uint8_t>((flags & ~GAP_IN_SECOND_FROM_OTHER) | GAP_IN_SECOND_EXTENDS);
            curX[j] = x + extendX;

            // Column j against a gap: after the first's last column no opening
            const bool endY = i == n;
            const double extendY = endY ? endExtend * basesB[j] : gapB[j].extend;
            const double openY = endY ? 0.0 : gapB[j].open;
            double y = curM[j - 1] + openY;
            y = better(y, curX[j - 1] + openY, took);
            if (took)
                flags |= GAP_IN_FIRST_FROM_OTHER;
            y = better(y, curY[j - 1], took);
            if (took)
                flags = static_cast<std::uint8_t>((flags & ~GAP_IN_FIRST_FROM_OTHER) | GAP_IN_FIRST_EXTENDS);
            curY[j] = y + extendY;
            F[work.traceCell(i, j)] = flags;
        }
        std::swap(prevM, curM);
        std::swap(prevX, curX);
        std::swap(prevY, curY);
    }

    return {prevM[m], prevX[m], prevY[m]};
}

ResultCode traceSumOfPairs(PairwiseWorkspace& work, const ProfileColumn* a, int n, const ProfileColumn* b,
                           int m, double& score, int& k, bool shareThreads, bool report) {
    const KernelKind kind = n > 0 && m > 0 ? selectedKernel(work.choices) : KernelKind::Plain;
    const int eligible = shareThreads ? eligibleThreads(work.choices, kind, n, m) : 1;
    // As for the specified DP: a matrix larger than the machine ends with a message
    const double traceBytes = (static_cast<double>(n) + 1) * (static_cast<double>(m) + 1);
    if (traceBytes > physicalMemoryBytes() || !work.reserveSumOfPairsStorage(kind, n, m, eligible))
        return report ? noRoomForAlignment(n, m) : ERMEM;
    SumOfPairsCorner corner;
    if (kind == KernelKind::Plain) {
        corner = fillSumOfPairsPlain(work, a, n, b, m);
    } else {
        const int threads = eligible > 1 ? threadCountChoice.choose(eligible, double(n) * m) : 1;
        const auto start = std::chrono::steady_clock::now();
        corner = kind == KernelKind::Avx512 ? fillSumOfPairsAvx512(work, a, n, b, m, threads)
                                            : fillSumOfPairsAvx2(work, a, n, b, m, threads);
        if (eligible > 1)
            threadCountChoice.record(
                threads, double(n) * m,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    const std::uint8_t* const F = work.traceMatrix;

    // The corner: the pair first, then X, then Y
    bool took;
    State state = State::M;
    score = corner.pair;
    score = better(score, corner.gapInSecond, took);
    if (took)
        state = State::X;
    score = better(score, corner.gapInFirst, took);
    if (took)
        state = State::Y;

    const ProfileColumn gapColumn{};
    int i = n;
    int j = m;
    k = n + m - 1;
    while (i > 0 || j > 0) {
        const std::uint8_t flags = F[work.traceCell(i, j)];
        if (state == State::M && i > 0 && j > 0) {
            work.alignmentPath[k] = TRACE_DIAG;
            work.alignedBuffer1[k] = a[i - 1];
            work.alignedBuffer2[k] = b[j - 1];
            state = (flags & PAIR_FROM_GAP_IN_SECOND)  ? State::X
                    : (flags & PAIR_FROM_GAP_IN_FIRST) ? State::Y
                                                       : State::M;
            --i;
            --j;
        } else if (j == 0 || (state == State::X && i > 0)) {
            work.alignmentPath[k] = TRACE_UP;
            work.alignedBuffer1[k] = a[i - 1];
            work.alignedBuffer2[k] = gapColumn;
            state = (flags & GAP_IN_SECOND_EXTENDS)      ? State::X
                    : (flags & GAP_IN_SECOND_FROM_OTHER) ? State::Y
                                                         : State::M;
            --i;
        } else {
            work.alignmentPath[k] = TRACE_LEFT;
            work.alignedBuffer1[k] = gapColumn;
            work.alignedBuffer2[k] = b[j - 1];
            state = (flags & GAP_IN_FIRST_EXTENDS)      ? State::Y
                    : (flags & GAP_IN_FIRST_FROM_OTHER) ? State::X
                                                        : State::M;
            --j;
        }
        --k;
    }
    return 0;
}

ResultCode alignBySumOfPairs(PairwiseWorkspace& work, TreeNode* first, TreeNode* second, double& score) {
    int k = 0;
    const ResultCode code = traceSumOfPairs(work, first->workProfile, first->workLength, second->workProfile,
                                            second->workLength, score, k);
    return code != 0 ? code : keepAlignedColumns(work, first, second, k);
}

} // namespace vorbex
