// The parts of the band fill that need no whole matrix to compare with: the
// runs of pairable cells against the same runs found cell by cell, and when
// the proof applies at all. The bands themselves are compared with the whole
// matrix in tests/reference/band_differential_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include "bench/workload.h"
#include "pairwise/band_fill.h"
#include "support/random_columns.h"

namespace vorbex {
namespace {

using bench::SplitMix64;
using test_support::Columns;
using test_support::randomColumns;

// Runs found in `memory`, sized here
PairableRuns pairableRunsIn(std::vector<unsigned long long>& memory, const ProfileColumn* first, int n,
                            const ProfileColumn* second, int m) {
    memory.assign(PairableRuns::bytes(n, m) / sizeof(unsigned long long) + 1, 0);
    return PairableRuns(first, n, second, m, memory.data());
}

// The runs cell by cell: a column is of one base when that base holds all of
// it, and pairs with any column but one of another base
struct RunCells {
    std::vector<int> highestInRow, lowestInColumn;
};

RunCells runCells(PairableRuns&& runs, int n, int m, int k = 0) {
    RunCells cells;
    for (int r = 0; r <= n; ++r)
        cells.highestInRow.push_back(runs.highestInRow(k, r));
    for (int c = 0; c <= m; ++c)
        cells.lowestInColumn.push_back(runs.lowestInColumn(k, c));
    return cells;
}

RunCells runCellsOneByOne(const std::vector<ProfileColumn>& first, const std::vector<ProfileColumn>& second,
                          int length) {
    const int n = static_cast<int>(first.size());
    const int m = static_cast<int>(second.size());
    auto base = [](const ProfileColumn& c) {
        for (int x = 0; x < BASE_COUNT; ++x) {
            double others = 0.0;
            for (int y = 0; y < BASE_COUNT; ++y)
                others += y == x ? 0.0 : c.weight[y];
            if (c.weight[x] >= 1.0 && others <= 0.0)
                return x;
        }
        return -1;
    };
    RunCells runs{std::vector<int>(static_cast<std::size_t>(n) + 1, INT_MIN),
                  std::vector<int>(static_cast<std::size_t>(m) + 1, INT_MAX)};
    for (int i = length; i <= n; ++i)
        for (int j = length; j <= m; ++j) {
            bool run = true;
            for (int t = 0; t < length && run; ++t) {
                const int a = base(first[static_cast<std::size_t>(i - t - 1)]);
                const int b = base(second[static_cast<std::size_t>(j - t - 1)]);
                run = a < 0 || b < 0 || a == b;
            }
            for (int t = 0; run && t < length; ++t) {
                int& row = runs.highestInRow[static_cast<std::size_t>(i - t)];
                int& column = runs.lowestInColumn[static_cast<std::size_t>(j - t)];
                row = std::max(row, j - i);
                column = std::min(column, j - i);
            }
        }
    return runs;
}

TEST(PairableRuns, EqualTheRunsFoundCellByCell) {
    std::vector<unsigned long long> memory;
    // Columns pairing often (few bases, codes and means of several), lengths
    // around the 64 bits of a word
    for (int k = 0; k < 40; ++k) {
        SplitMix64 random(300 + k);
        const Columns kind = static_cast<Columns>(random.below(3));
        std::vector<ProfileColumn> first =
            randomColumns(random, kind, 12 + static_cast<int>(random.below(150)));
        std::vector<ProfileColumn> second =
            randomColumns(random, kind, 12 + static_cast<int>(random.below(150)));
        // Few bases: long runs by chance
        for (auto* profile : {&first, &second})
            for (ProfileColumn& column : *profile)
                if (random.below(3) > 0)
                    column = ProfileColumn{{random.below(2) == 0 ? 1.0 : 0.0, 0.0, 0.0, 0.0}};
        const int n = static_cast<int>(first.size());
        const int m = static_cast<int>(second.size());
        for (int r = 0; r < 2; ++r) {
            const RunCells fast =
                runCells(pairableRunsIn(memory, first.data(), n, second.data(), m), n, m, r);
            const RunCells slow = runCellsOneByOne(first, second, RUN_LENGTHS[r]);
            ASSERT_EQ(fast.highestInRow, slow.highestInRow) << "case " << k << " runs of " << RUN_LENGTHS[r];
            ASSERT_EQ(fast.lowestInColumn, slow.lowestInColumn)
                << "case " << k << " runs of " << RUN_LENGTHS[r];
        }
    }
}

TEST(PairableRuns, FindsTheRunsOfARepeatAndNothingWithoutOne) {
    std::vector<unsigned long long> memory;
    SplitMix64 random(5);
    const std::vector<ProfileColumn> first = randomColumns(random, Columns::Definite, 100);
    std::vector<ProfileColumn> second = randomColumns(random, Columns::Definite, 100);
    const RunCells none = runCells(pairableRunsIn(memory, first.data(), 100, second.data(), 100), 100, 100);
    // A run of twelve pairs by chance has odds of about 1 in 1700 here
    for (int r = 0; r <= 100; ++r) {
        EXPECT_EQ(none.highestInRow[static_cast<std::size_t>(r)], INT_MIN) << r;
        EXPECT_EQ(none.lowestInColumn[static_cast<std::size_t>(r)], INT_MAX) << r;
    }
    // Columns 21..40 of the first (rows) again as 71..90 of the second: diagonal 50
    std::copy(first.begin() + 20, first.begin() + 40, second.begin() + 70);
    const RunCells one = runCells(pairableRunsIn(memory, first.data(), 100, second.data(), 100), 100, 100);
    for (int r = 21; r <= 40; ++r)
        EXPECT_GE(one.highestInRow[static_cast<std::size_t>(r)], 50) << r;
    for (int j = 71; j <= 90; ++j)
        EXPECT_LE(one.lowestInColumn[static_cast<std::size_t>(j)], 50) << j;
    // And the other way round: diagonal -50
    const RunCells turned = runCells(pairableRunsIn(memory, second.data(), 100, first.data(), 100), 100, 100);
    for (int j = 21; j <= 40; ++j)
        EXPECT_LE(turned.lowestInColumn[static_cast<std::size_t>(j)], -50) << j;
    // A wild column (a code of four bases) pairs with every column
    std::vector<ProfileColumn> wild(30);
    for (ProfileColumn& column : wild)
        nucleotideColumn('n', column);
    const RunCells everywhere = runCells(pairableRunsIn(memory, wild.data(), 30, first.data(), 100), 30, 100);
    EXPECT_EQ(everywhere.highestInRow[15], 100 - 15);
    EXPECT_EQ(everywhere.lowestInColumn[15], 15 - 30);
}

TEST(BandProof, AppliesOnlyWhereItsBoundHolds) {
    KernelSettings s{-2.0, -0.2, {1.0, 1.0, 1.0, 1.0}, 1};
    EXPECT_TRUE(bandProofApplies(s));
    s.workMode = 5;
    EXPECT_TRUE(bandProofApplies(s)); // only its lowest bit counts
    const auto without = [](auto change) {
        KernelSettings t{-2.0, -0.2, {1.0, 1.0, 1.0, 1.0}, 1};
        change(t);
        return !bandProofApplies(t);
    };
    EXPECT_TRUE(without([](KernelSettings& t) { t.workMode = 2; }));
    EXPECT_TRUE(without([](KernelSettings& t) { t.workMode = 0; }));
    EXPECT_TRUE(without([](KernelSettings& t) { t.gapOpen = 0.5; }));
    EXPECT_TRUE(without([](KernelSettings& t) { t.gapExtend = 1e-9; }));
    EXPECT_TRUE(without([](KernelSettings& t) { t.weights[2] = -0.1; }));
    EXPECT_TRUE(without([](KernelSettings& t) { t.weights[0] = std::nan(""); }));
    EXPECT_TRUE(without([](KernelSettings& t) { t.weights[3] = HUGE_VAL; }));
    EXPECT_TRUE(without([](KernelSettings& t) { t.gapOpen = -HUGE_VAL; }));
}

} // namespace
} // namespace vorbex
