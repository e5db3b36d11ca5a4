// The weighted sum of pairs of a whole alignment (--scoring=sp): every pair
// of rows scored as the two rows alone would be aligned.
#include <vector>

#include "align/align.h"
#include "align/alignment_sum_of_pairs.h"
#include "pairwise/sum_of_pairs.h"

namespace vorbex {

namespace {

constexpr SumOfPairsCosts COSTS = SUM_OF_PAIRS_COSTS;

const ProfileColumn& letterColumn(char letter, ProfileColumn& column) {
    (void)nucleotideColumn(letter, column);
    return column;
}

// A row's bases against themselves
double selfScore(const Substitution& s, const ProfileColumn& a) {
    double sum = 0.0;
    for (int x = 0; x < BASE_COUNT; ++x) {
        double row = 0.0;
        for (int y = 0; y < BASE_COUNT; ++y)
            row += s.score[x][y] * a.weight[y];
        sum += a.weight[x] * row;
    }
    return sum;
}

// What a row holds in a column
enum CellKind : std::uint8_t { BASE, INNER_GAP, END_GAP };

// Gap openings as every pair of rows counts them in its own alignment (the
// two rows alone, columns where both hold a gap left out): a gap of one row
// inside its bases opens once against each row with a base anywhere beside
// it. Weighed by the product of the two rows' weights. The rows with a base
// beside a gap that ends are those whose last base so far lies within it, so
// the weights of the rows are kept at the column of their last base.
// `kinds` holds the rows' cells column by column.
double pairwiseOpenings(const std::vector<double>& weights, int length, const std::vector<CellKind>& kinds) {
    const std::size_t count = weights.size();
    static std::vector<int> lastBase, gapStart;
    static std::vector<double> lastBaseWeight; // per column, of the rows whose last base it holds
    lastBase.assign(count, -1);
    gapStart.assign(count, -1);
    lastBaseWeight.assign(static_cast<std::size_t>(length), 0.0);
    double openings = 0.0;
    for (int c = 0; c < length; ++c) {
        const CellKind* const kind = &kinds[static_cast<std::size_t>(c) * count];
        for (std::size_t r = 0; r < count; ++r) {
            if (kind[r] == INNER_GAP) {
                gapStart[r] = gapStart[r] < 0 ? c : gapStart[r];
            } else if (kind[r] == BASE && gapStart[r] >= 0) {
                // A gap that ends here faces the rows with a base since it began
                double facing = 0.0;
                for (int p = gapStart[r]; p < c; ++p)
                    facing += lastBaseWeight[p];
                openings += weights[r] * facing;
                gapStart[r] = -1;
            }
        }
        for (std::size_t r = 0; r < count; ++r) {
            if (kind[r] != BASE)
                continue;
            if (lastBase[r] >= 0)
                lastBaseWeight[lastBase[r]] -= weights[r];
            lastBaseWeight[c] += weights[r];
            lastBase[r] = c;
        }
    }
    return openings;
}

} // namespace

double sumOfPairsOfRows(const std::vector<WeightedRow>& rows, int length) {
    return sumOfPairsOfRows(rows.size(), length,
                            [&](std::size_t r, std::vector<ProfileColumn>&) { return rows[r]; });
}

double sumOfPairsOfRows(std::size_t count, int length, const RowSource& rowAt) {
    static const Substitution substitution = buildSubstitution();
    // Per column: the weighted base counts, the rows' pairs with themselves,
    // the weight of bases, and of gaps inside a row, before or after it
    struct Column {
        double counts[BASE_COUNT];
        double self, bases, innerGaps, endGaps;
    };
    static std::vector<Column> columns;
    static std::vector<CellKind> kinds;
    static std::vector<double> weights;
    static std::vector<ProfileColumn> scratch;
    weights.assign(count, 0.0);
    columns.assign(static_cast<std::size_t>(length), Column{});
    // Cells beyond a row's length are left out, as gaps before or after it
    kinds.assign(static_cast<std::size_t>(length) * count, END_GAP);
    for (std::size_t r = 0; r < count; ++r) {
        const WeightedRow read = rowAt(r, scratch);
        const double w = weights[r] = read.weight;
        const ProfileColumn* const row = read.columns;
        const int end = read.length < length ? read.length : length;
        auto cell = [&](int c) -> CellKind& { return kinds[static_cast<std::size_t>(c) * count + r]; };
        int first = -1;
        int last = -1;
        for (int c = 0; c < end; ++c)
            if (!isGapColumn(row[c])) {
                first = first < 0 ? c : first;
                last = c;
                cell(c) = BASE;
            }
        for (int c = 0; c < end; ++c) {
            Column& column = columns[c];
            if (cell(c) == BASE) {
                for (int x = 0; x < BASE_COUNT; ++x)
                    column.counts[x] += w * row[c].weight[x];
                column.self += w * w * selfScore(substitution, row[c]);
                column.bases += w * bases(row[c]);
            } else if (c < first || c > last) {
                column.endGaps += w;
            } else {
                column.innerGaps += w;
                cell(c) = INNER_GAP;
            }
        }
    }
    double total = 0.0;
    for (const Column& column : columns) {
        double all = 0.0;
        for (int x = 0; x < BASE_COUNT; ++x)
            for (int y = 0; y < BASE_COUNT; ++y)
                all += column.counts[x] * column.counts[y] * substitution.score[x][y];
        // Every pair of two different rows once
        total += 0.5 * (all - column.self);
        total += column.bases * (COSTS.gapExtend * (column.innerGaps + COSTS.endGapShare * column.endGaps));
    }
    return total + COSTS.gapOpen * pairwiseOpenings(weights, length, kinds);
}

double alignmentSumOfPairs() {
    if (leafCount == 0)
        return 0.0;
    // Every sequence weighs the same, as in the profiles. A leaf whose
    // weights are spent has its letters' columns where its flags hold no gap
    const auto leafRow = [](std::size_t r, std::vector<ProfileColumn>& scratch) -> WeightedRow {
        const TreeNode* leaf = nodeTable[r];
        if (leaf->workFlags == nullptr)
            return {leaf->workProfile, leaf->workLength, 1.0};
        scratch.assign(static_cast<std::size_t>(leaf->workLength), ProfileColumn{});
        ProfileColumn column{};
        for (int c = 0, next = 0; c < leaf->workLength; ++c) {
            if (isGapColumnOf(leaf, c))
                continue;
            // The letters whose columns are gaps were never columns of their own
            while (next < leaf->savedLength && isGapColumn(letterColumn(leaf->sourceText[next], column)))
                ++next;
            if (next < leaf->savedLength)
                scratch[static_cast<std::size_t>(c)] = letterColumn(leaf->sourceText[next++], column);
        }
        return {scratch.data(), leaf->workLength, 1.0};
    };
    return sumOfPairsOfRows(static_cast<std::size_t>(leafCount), nodeTable[0]->workLength, leafRow);
}

} // namespace vorbex
