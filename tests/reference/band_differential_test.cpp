// Banded fills against the plain kernel's whole matrix, on profiles related
// as the tree passes meet them and on shapes built to defeat a band: wherever
// a band is proven, its corner score is the plain one bit for bit and its
// traceback takes the plain steps over cells with the plain flags. Each shape
// must also be proven often enough that the comparison means something.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "align/align.h"
#include "bench/workload.h"
#include "pairwise/band_fill.h"
#include "pairwise/kernels.h"
#include "reference/wide_lanes_on_avx2.h"
#include "run/run.h"
#include "support/nodes.h"
#include "support/random_columns.h"

namespace vorbex {
namespace {

using bench::SplitMix64;
using test_support::Columns;
using test_support::NodePool;
using test_support::randomColumn;
using test_support::randomColumns;

enum class Shape { Mutated, EndGaps, MiddleIndel, Unrelated, LongAgainstShort, Identical };
constexpr Shape SHAPES[] = {Shape::Mutated,   Shape::EndGaps,          Shape::MiddleIndel,
                            Shape::Unrelated, Shape::LongAgainstShort, Shape::Identical};

struct Settings {
    double open;
    double extend;
    double weights[BASE_COUNT];
};
// Every one the proof applies to: zero penalties, an extension dearer than
// opening, a hair between them, uneven and zero weights
constexpr Settings SETTINGS[] = {
    {-2.0, -0.2, {1.0, 1.0, 1.0, 1.0}},   {-1.0, -1.0 + 5e-9, {1.0, 1.0, 1.0, 1.0}},
    {0.0, 0.0, {1.0, 1.0, 1.0, 1.0}},     {-0.5, -1.5, {1.0, 1.0, 1.0, 1.0}},
    {-3.0, -0.1, {0.5, 2.0, 1.25, 0.75}}, {-2.0, -0.2, {0.0, 1.0, 3.0, 1e-9}}};

// The second profile: the first with columns changed, dropped and added at
// `rate`, and shaped.
std::vector<ProfileColumn> relative(SplitMix64& random, const std::vector<ProfileColumn>& first, Columns kind,
                                    Shape shape, double rate) {
    std::vector<ProfileColumn> second;
    const int n = static_cast<int>(first.size());
    switch (shape) {
    case Shape::Identical:
        return first;
    case Shape::Unrelated:
        return randomColumns(random, kind,
                             1 + static_cast<int>(random.below(static_cast<std::uint64_t>(n) + 20)));
    case Shape::LongAgainstShort: {
        // A short stretch from somewhere in the middle
        const int length = 1 + static_cast<int>(random.below(static_cast<std::uint64_t>(n / 5 + 1)));
        const int start = static_cast<int>(random.below(static_cast<std::uint64_t>(n - length + 1)));
        return std::vector<ProfileColumn>(first.begin() + start, first.begin() + start + length);
    }
    default:
        break;
    }
    for (const ProfileColumn& column : first) {
        if (random.uniform() < rate)
            continue;
        second.push_back(random.uniform() < rate ? randomColumn(random, kind) : column);
        if (random.uniform() < rate)
            second.push_back(randomColumn(random, kind));
    }
    const int length = static_cast<int>(second.size());
    if (shape == Shape::EndGaps && length > 4) {
        // A long stretch missing at one end, or new columns there
        const int cut = 1 + static_cast<int>(random.below(static_cast<std::uint64_t>(length / 2)));
        if (random.below(2) == 0)
            second.erase(second.begin(), second.begin() + cut);
        else
            second.insert(second.end(), static_cast<std::size_t>(cut), randomColumn(random, kind));
    }
    if (shape == Shape::MiddleIndel && length > 4) {
        const int at = length / 3 + static_cast<int>(random.below(static_cast<std::uint64_t>(length / 3)));
        const int size = 1 + static_cast<int>(random.below(static_cast<std::uint64_t>(length / 3)));
        if (random.below(2) == 0)
            second.erase(second.begin() + at, second.begin() + std::min(length, at + size));
        else
            for (int k = 0; k < size; ++k)
                second.insert(second.begin() + at, randomColumn(random, kind));
    }
    if (second.empty())
        second.push_back(randomColumn(random, kind));
    (void)n;
    return second;
}

struct Case {
    std::uint64_t seed;
    Shape shape;
    Columns columns;
    const Settings* settings;
    std::vector<ProfileColumn> first, second;

    std::string describe() const {
        std::ostringstream out;
        out << "seed " << seed << " shape " << static_cast<int>(shape) << " columns "
            << static_cast<int>(columns) << " d " << settings->open << " g " << settings->extend << " n "
            << first.size() << " m " << second.size();
        return out.str();
    }
};

Case randomCase(std::uint64_t seed, Shape shape, int longest) {
    SplitMix64 random(seed);
    Case c{seed, shape, static_cast<Columns>(random.below(4)), &SETTINGS[random.below(std::size(SETTINGS))],
           {},   {}};
    const int n = 1 + static_cast<int>(random.below(static_cast<std::uint64_t>(longest)));
    c.first = randomColumns(random, c.columns, n);
    const double rates[] = {0.0, 0.02, 0.05, 0.15, 0.4};
    c.second = relative(random, c.first, c.columns, shape, rates[random.below(5)]);
    if (random.below(2) == 0)
        std::swap(c.first, c.second);
    return c;
}

void useSettings(const Settings& s) {
    runSettings.workMode = 1;
    runSettings.gapOpenPenalty = s.open;
    runSettings.gapExtendPenalty = s.extend;
    for (int x = 0; x < BASE_COUNT; ++x)
        runSettings.baseWeights[x] = s.weights[x];
}

// The flags of the plain fill's whole matrix
struct WholeMatrix {
    std::vector<std::uint8_t> flags;
    int m;
    std::uint8_t operator()(int i, int j) const {
        return flags[static_cast<std::size_t>(i) * (static_cast<std::size_t>(m) + 1) + j];
    }
};

// Those of the band fill just made in the workspace, in whatever layout it was given
std::uint8_t bandFlags(const PairwiseWorkspace& work, int i, int j) {
    return work.traceMatrix[work.traceCell(i, j)];
}

// The steps of the traceback over the flags, from the corner.
template <typename Flags> std::vector<std::pair<int, int>> tracedCells(const Flags& flags, int n, int m) {
    std::vector<std::pair<int, int>> cells;
    int i = n, j = m;
    while (i > 0 || j > 0) {
        cells.emplace_back(i, j);
        const std::uint8_t f = flags(i, j);
        if (f & TRACE_DIAG)
            --i, --j;
        else if (f & TRACE_UP)
            --i;
        else
            --j;
    }
    return cells;
}

class BandDifferential : public ::testing::Test {
  protected:
    // Every vector band fill the processor runs against the row-by-row one
    // just made: the proof, the score, and the flags of every band cell
    // (unproven marks included) when neither stopped early.
    bool vectorBandsMatch(const KernelSettings& s, const Case& c, DiagonalBand band, PairableRuns& runs,
                          const BandFill& rows, int margin, const EdgeBounds* entries) {
        if (!kernelAvailable(KernelKind::Avx2))
            return true;
        const int n = static_cast<int>(c.first.size());
        const int m = static_cast<int>(c.second.size());
        std::vector<std::uint8_t> expected;
        for (int i = 0; i <= n; ++i)
            for (int j = std::max(0, i + band.lowest); j <= std::min(m, i + band.highest); ++j)
                expected.push_back(bandFlags(work, i, j));
        const std::vector<std::uint8_t> kept(
            work.traceMatrix, work.traceMatrix + (static_cast<std::size_t>(n) + 1) * (work.traceStride + 1));
        for (int k = 0; k < 3; ++k) {
            if (k == 1 && !kernelAvailable(KernelKind::Avx512))
                continue;
            const char* name = k == 0 ? "avx2" : k == 1 ? "avx512" : "eight lanes on avx2";
            std::memset(work.traceMatrix, 0, kept.size());
            const ProfileColumn* const a = c.first.data();
            const ProfileColumn* const b = c.second.data();
            const BandFill fill = k == 0 ? fillBandAvx2(work, s, a, n, b, m, band, runs, entries)
                                  : k == 1
                                      ? fillBandAvx512(work, s, a, n, b, m, band, runs, entries)
                                      : fillWideLanesBandOnAvx2(work, s, a, n, b, m, band, runs, entries);
            if (fill.proven != rows.proven ||
                (fill.proven && std::memcmp(&fill.score, &rows.score, sizeof fill.score) != 0)) {
                ADD_FAILURE() << name << " margin " << margin << " proven " << fill.proven << " score "
                              << fill.score << ", row by row " << rows.proven << " " << rows.score << " "
                              << c.describe();
                return false;
            }
            const bool complete = fill.score == fill.score && rows.score == rows.score;
            std::size_t e = 0;
            for (int i = 0; complete && i <= n; ++i)
                for (int j = std::max(0, i + band.lowest); j <= std::min(m, i + band.highest); ++j, ++e)
                    if (bandFlags(work, i, j) != expected[e]) {
                        ADD_FAILURE() << name << " margin " << margin << " flags of [" << i << "][" << j
                                      << "] are " << int{bandFlags(work, i, j)} << " not " << int{expected[e]}
                                      << " " << c.describe();
                        return false;
                    }
        }
        std::memcpy(work.traceMatrix, kept.data(), kept.size());
        return true;
    }

    void SetUp() override { ASSERT_EQ(initialiseRun(), 0); }
    void TearDown() override { resetNodeTable(); }

    // The entries found for the band bound the plain fill's states just
    // outside it (S, H, V of the whole matrix, row by row), and every vector
    // finder gives the row-by-row one's bits.
    bool entriesBound(const KernelSettings& s, const Case& c, DiagonalBand band,
                      const std::vector<double> (&whole)[3], EdgeBounds& entries) {
        const int n = static_cast<int>(c.first.size());
        const int m = static_cast<int>(c.second.size());
        findEdgeBounds(work, s, c.first.data(), n, c.second.data(), m, band, entries);
        const auto at = [&](int k, int i, int j) {
            return whole[k][static_cast<std::size_t>(i) * (static_cast<std::size_t>(m) + 1) + j];
        };
        for (int i = 0; i <= n; ++i) {
            const std::size_t r = static_cast<std::size_t>(i);
            const int above = i + band.highest + 1;
            const int below = i + band.lowest - 1;
            // V of column 0 and H of row 0 are never read: the plain fill leaves them
            const double aboveState =
                above <= m ? std::max(at(0, i, above), i > 0 ? at(2, i, above) : -HUGE_VAL) : -HUGE_VAL;
            const double belowState =
                below >= 0 && below <= m ? std::max(at(0, i, below), at(1, i, below)) : -HUGE_VAL;
            if (!(entries.above[r] >= aboveState) || (above > m && entries.above[r] != HUGE_VAL) ||
                !(entries.below[r] >= belowState) ||
                ((below < 0 || below > m) && entries.below[r] != HUGE_VAL)) {
                ADD_FAILURE() << "row " << i << " entries " << entries.above[r] << ", " << entries.below[r]
                              << " below the whole matrix's " << aboveState << ", " << belowState << " "
                              << c.describe();
                return false;
            }
        }
        if (!kernelAvailable(KernelKind::Avx2))
            return true;
        for (const TestedKernel tested :
             {TestedKernel::Avx2, TestedKernel::Avx512, TestedKernel::EightLanesOnAvx2}) {
            if (!testedKernelAvailable(tested))
                continue;
            EdgeBounds vector;
            (tested == TestedKernel::Avx2     ? findEdgeBoundsAvx2
             : tested == TestedKernel::Avx512 ? findEdgeBoundsAvx512
                                              : findWideLanesEdgeBoundsOnAvx2)(
                work, s, c.first.data(), n, c.second.data(), m, band, vector);
            const auto same = [](const std::vector<double>& a, const std::vector<double>& b) {
                return a.size() == b.size() &&
                       std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
            };
            if (!same(vector.above, entries.above) || !same(vector.below, entries.below)) {
                ADD_FAILURE() << testedKernelName(tested) << " entries differ " << c.describe();
                return false;
            }
        }
        return true;
    }

    // Compares every band of the margins with the whole matrix, with the
    // whole matrix's bounds at the band's edges or without; the number of
    // bands proven.
    int compareBands(const Case& c, bool withEntries = false) {
        useSettings(*c.settings);
        const KernelSettings s = currentKernelSettings();
        const int n = static_cast<int>(c.first.size());
        const int m = static_cast<int>(c.second.size());
        EXPECT_TRUE(bandProofApplies(s));
        if (!work.reserveAlignmentStorage(KernelKind::Plain, n, m, 1)) {
            ADD_FAILURE() << "no memory";
            return 0;
        }
        const std::size_t cells = (static_cast<std::size_t>(n) + 1) * (static_cast<std::size_t>(m) + 1);
        const double plainScore = fillPlainKernel(work, s, c.first.data(), n, c.second.data(), m);
        const WholeMatrix plain{std::vector<std::uint8_t>(work.traceMatrix, work.traceMatrix + cells), m};
        const std::vector<double> whole[3] = {{work.scoreMatrix, work.scoreMatrix + cells},
                                              {work.gapInFirstMatrix, work.gapInFirstMatrix + cells},
                                              {work.gapInSecondMatrix, work.gapInSecondMatrix + cells}};
        EdgeBounds entries;
        const auto plainPath = tracedCells(plain, n, m);
        std::vector<unsigned long long> memory(PairableRuns::bytes(n, m) / sizeof(unsigned long long) + 1);
        PairableRuns runs(c.first.data(), n, c.second.data(), m, memory.data());
        int proven = 0;
        for (int margin : {0, 1, 2, 3, 5, 8, 13, 16, 40}) {
            const DiagonalBand band = bandAround(n, m, margin);
            if (!work.reserveBandTraceStorage(n, m, band.lowest, band.highest, bandScratchBytes(n, m))) {
                ADD_FAILURE() << "no memory";
                return proven;
            }
            // Only the band's own cells: its diagonals beyond the matrix are not the matrix's
            std::memset(work.traceMatrix, 0, (static_cast<std::size_t>(n) + 1) * (work.traceStride + 1));
            if (withEntries && !entriesBound(s, c, band, whole, entries))
                return proven;
            const EdgeBounds* edges = withEntries ? &entries : nullptr;
            const BandFill fill =
                fillBandKernel(work, s, c.first.data(), n, c.second.data(), m, band, runs, edges);
            if (!vectorBandsMatch(s, c, band, runs, fill, margin, edges))
                return proven;
            const bool whole = bandCoversMatrix(band, n, m);
            if (whole) {
                EXPECT_TRUE(fill.proven) << c.describe();
                for (int i = 0; i <= n; ++i)
                    for (int j = 0; j <= m; ++j)
                        if (bandFlags(work, i, j) != plain(i, j)) {
                            ADD_FAILURE() << "margin " << margin << " flags of [" << i << "][" << j << "] "
                                          << c.describe();
                            return proven;
                        }
            }
            if (!fill.proven)
                continue;
            ++proven;
            if (std::memcmp(&fill.score, &plainScore, sizeof plainScore) != 0) {
                ADD_FAILURE() << "margin " << margin << " score " << fill.score << " not " << plainScore
                              << " " << c.describe();
                return proven;
            }
            if (tracedCells([this](int i, int j) { return bandFlags(work, i, j); }, n, m) != plainPath) {
                ADD_FAILURE() << "margin " << margin << " path differs " << c.describe();
                return proven;
            }
            for (const auto& [i, j] : plainPath) {
                if (bandFlags(work, i, j) != plain(i, j)) {
                    ADD_FAILURE() << "margin " << margin << " flags of [" << i << "][" << j << "] are "
                                  << int{bandFlags(work, i, j)} << " not " << int{plain(i, j)} << " "
                                  << c.describe();
                    return proven;
                }
            }
            if (whole)
                break;
        }
        return proven;
    }

    PairwiseWorkspace work;
};

TEST_F(BandDifferential, ProvenBandsEqualTheWholeMatrixOnEveryShape) {
    for (Shape shape : SHAPES) {
        int proven = 0;
        for (int k = 0; k < 150; ++k)
            proven += compareBands(randomCase(1000 * (static_cast<int>(shape) + 1) + k, shape, 220));
        if (HasFailure())
            return;
        // Enough bands short of the whole matrix proven to mean something
        EXPECT_GT(proven, 150) << "shape " << static_cast<int>(shape);
    }
}

// With the whole matrix's bounds at the edges: they bound it, the vector
// finders give their bits, and the bands they prove are the whole matrix's.
TEST_F(BandDifferential, BandsBoundedAtTheirEdgesEqualTheWholeMatrixOnEveryShape) {
    int proven = 0;
    int provenWithout = 0;
    for (Shape shape : SHAPES)
        for (int k = 0; k < 40; ++k) {
            const Case c = randomCase(7000 * (static_cast<int>(shape) + 1) + k, shape, 160);
            provenWithout += compareBands(c);
            proven += compareBands(c, true);
            if (HasFailure())
                return;
        }
    // They prove far more than the bound of a path outside
    EXPECT_GT(proven, provenWithout + 100);
}

TEST_F(BandDifferential, ProvenBandsEqualTheWholeMatrixNearTies) {
    // Values a hair apart and zero penalties: ties within the tolerance
    // everywhere, the band's edges among them
    int proven = 0;
    for (int k = 0; k < 200; ++k) {
        Case c = randomCase(90000 + k, k % 2 ? Shape::Mutated : Shape::Identical, 120);
        SplitMix64 random(c.seed);
        c.columns = Columns::NearEqual;
        c.first = randomColumns(random, Columns::NearEqual, static_cast<int>(c.first.size()));
        c.second = relative(random, c.first, Columns::NearEqual, c.shape, 0.05);
        // Free gaps: a pair scoring about 0 ties with a gap either side of the edge
        if (k % 3 == 0)
            c.settings = &SETTINGS[2];
        proven += compareBands(c);
        if (HasFailure())
            return;
    }
    EXPECT_GT(proven, 50);
}

TEST_F(BandDifferential, ProvenBandsEqualTheWholeMatrixWithARepeatFarOffTheDiagonal) {
    // The first's head is the second's tail: the best path may leave any band
    // for the repeat, which only its runs of pairable cells betray
    int proven = 0;
    for (int k = 0; k < 120; ++k) {
        SplitMix64 random(40000 + k);
        Case c{40000u + k, Shape::Mutated, Columns::Definite, &SETTINGS[k % 3 == 0 ? 0 : 4], {}, {}};
        const int repeat = 15 + static_cast<int>(random.below(60));
        const int other = 10 + static_cast<int>(random.below(60));
        const std::vector<ProfileColumn> head = randomColumns(random, c.columns, repeat);
        c.first = head;
        for (const ProfileColumn& column : randomColumns(random, c.columns, other))
            c.first.push_back(column);
        c.second = randomColumns(random, c.columns, other + static_cast<int>(random.below(5)));
        for (const ProfileColumn& column : relative(random, head, c.columns, Shape::Mutated, 0.03))
            c.second.push_back(column);
        proven += compareBands(c);
        if (HasFailure())
            return;
    }
    EXPECT_GT(proven, 30);
}

TEST_F(BandDifferential, ProvenBandsEqualTheWholeMatrixOnTandemRepeats) {
    // Periodic profiles: runs of pairable cells on every diagonal a period
    // away, outside all but the widest bands
    int proven = 0;
    for (int k = 0; k < 60; ++k) {
        SplitMix64 random(60000 + k);
        Case c{60000u + k, Shape::Mutated, Columns::Definite, &SETTINGS[k % std::size(SETTINGS)], {}, {}};
        const std::vector<ProfileColumn> unit =
            randomColumns(random, c.columns, 3 + static_cast<int>(random.below(20)));
        for (int i = 0; i < 150; ++i)
            c.first.push_back(unit[static_cast<std::size_t>(i) % unit.size()]);
        c.second = relative(random, c.first, c.columns, Shape::Mutated, 0.02 * static_cast<double>(k % 4));
        proven += compareBands(c);
        if (HasFailure())
            return;
    }
    EXPECT_GT(proven, 15);
}

TEST_F(BandDifferential, SlowProvenBandsEqualTheWholeMatrixOnLongProfiles) {
    int proven = 0;
    for (int k = 0; k < 12; ++k)
        proven += compareBands(randomCase(5000 + k, SHAPES[k % std::size(SHAPES)], 1500));
    EXPECT_GT(proven, 6);
}

TEST_F(BandDifferential, AlignProfilesEqualsThePlainAlignmentOnRelatedProfiles) {
    // The whole call, band tried first where it applies, against the plain
    // kernel: score and aligned columns
    if (!kernelAvailable(KernelKind::Avx2))
        GTEST_SKIP() << "no AVX2";
    NodePool pool;
    TreeNode* nodes[4];
    for (TreeNode*& node : nodes)
        ASSERT_NE(node = pool.empty(), nullptr);
    for (int k = 0; k < 60; ++k) {
        const Case c = randomCase(7000 + k, SHAPES[k % std::size(SHAPES)], 400);
        useSettings(*c.settings);
        for (int p = 0; p < 4; p += 2) {
            std::copy(c.first.begin(), c.first.end(), nodes[p]->workProfile);
            std::copy(c.second.begin(), c.second.end(), nodes[p + 1]->workProfile);
            nodes[p]->workLength = static_cast<int>(c.first.size());
            nodes[p + 1]->workLength = static_cast<int>(c.second.size());
        }
        double plainScore = 0.0, fastScore = 0.0;
        ASSERT_EQ(alignProfilesWith(work, KernelKind::Plain, nodes[0], nodes[1], plainScore), 0);
        ASSERT_EQ(alignProfilesWith(work, KernelKind::Avx2, nodes[2], nodes[3], fastScore), 0);
        ASSERT_EQ(std::memcmp(&plainScore, &fastScore, sizeof fastScore), 0) << c.describe();
        ASSERT_EQ(nodes[0]->workLength, nodes[2]->workLength) << c.describe();
        for (int p = 0; p < 2; ++p)
            ASSERT_EQ(std::memcmp(nodes[p]->workProfile, nodes[p + 2]->workProfile,
                                  sizeof(ProfileColumn) * static_cast<std::size_t>(nodes[p]->workLength)),
                      0)
                << c.describe();
    }
}

} // namespace
} // namespace vorbex
