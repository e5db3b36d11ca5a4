// Seeded random sweeps: every vector kernel, on one thread and shared between
// 2, 3 and 4 threads, against the plain one, flag for flag, on the corner
// score and on every aligned column, with == on doubles.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "align/align.h"
#include "bench/workload.h"
#include "input/input.h"
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

struct Penalties {
    double open;
    double extend;
};

constexpr Penalties PENALTIES[] = {{-2.0, -0.2},        {0.0, 0.0},  {1.0, 0.5},
                                   {-1.0, -1.0 + 5e-9}, {0.3, -0.7}, {-0.5, 0.0}};
constexpr double WEIGHTS[][BASE_COUNT] = {
    {1.0, 1.0, 1.0, 1.0}, {0.5, 2.0, 1.25, 0.75}, {0.0, 1.0, 3.0, 1e-9}, {1.0, -0.5, 1.0, 2.0}};

struct Case {
    std::uint64_t seed;
    int mode;
    Penalties penalties;
    const double* weights;
    Columns columns;
    bool sameProfile; // the second profile repeats the first: exact ties everywhere
    std::vector<ProfileColumn> first;
    std::vector<ProfileColumn> second;

    std::string describe() const {
        std::ostringstream out;
        out.precision(17);
        out << "seed " << seed << " mode " << mode << " d " << penalties.open << " g " << penalties.extend
            << " weights " << weights[0] << "," << weights[1] << "," << weights[2] << "," << weights[3]
            << " columns " << static_cast<int>(columns) << (sameProfile ? " (same profile)" : "") << " n "
            << first.size() << " m " << second.size() << "\nfirst:";
        for (const ProfileColumn& c : first)
            out << " " << c.weight[0] << "/" << c.weight[1] << "/" << c.weight[2] << "/" << c.weight[3];
        out << "\nsecond:";
        for (const ProfileColumn& c : second)
            out << " " << c.weight[0] << "/" << c.weight[1] << "/" << c.weight[2] << "/" << c.weight[3];
        return out.str();
    }
};

int randomLength(SplitMix64& random, int longest) {
    switch (random.below(6)) {
    case 0:
        return 1;
    case 1:
        return 1 + random.below(40); // around the stripe heights
    default:
        return 1 + random.below(longest);
    }
}

Case randomCase(std::uint64_t seed, int longest) {
    SplitMix64 random(seed);
    Case c{seed,
           random.below(7),
           PENALTIES[random.below(6)],
           WEIGHTS[random.below(4)],
           static_cast<Columns>(random.below(4)),
           random.below(5) == 0,
           {},
           {}};
    const int n = randomLength(random, longest);
    const int m = c.sameProfile ? n : randomLength(random, longest);
    for (int i = 0; i < n; ++i)
        c.first.push_back(randomColumn(random, c.columns));
    if (c.sameProfile) {
        c.second = c.first;
    } else {
        for (int j = 0; j < m; ++j)
            c.second.push_back(randomColumn(random, c.columns));
    }
    return c;
}

// == on every value, and a NaN (a negative weight under the root) equals the same NaN
bool sameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

double plainFill(PairwiseWorkspace& work, const KernelSettings& s, const Case& c) {
    return fillPlainKernel(work, s, c.first.data(), static_cast<int>(c.first.size()), c.second.data(),
                           static_cast<int>(c.second.size()));
}

double fillWith(PairwiseWorkspace& work, TestedKernel kernel, const KernelSettings& s, const Case& c,
                int threads) {
    const int n = static_cast<int>(c.first.size());
    const int m = static_cast<int>(c.second.size());
    switch (kernel) {
    case TestedKernel::Avx512:
        return fillAvx512Kernel(work, s, c.first.data(), n, c.second.data(), m, threads);
    case TestedKernel::Avx2:
        return fillAvx2Kernel(work, s, c.first.data(), n, c.second.data(), m, threads);
    case TestedKernel::EightLanesOnAvx2:
        break;
    }
    return fillWideLanesKernelOnAvx2(work, s, c.first.data(), n, c.second.data(), m, threads);
}

// The instruction set and the threads of one alignment
class KernelDifferential : public ::testing::TestWithParam<std::tuple<TestedKernel, int>> {
  protected:
    void SetUp() override {
        if (!testedKernelAvailable(tested()))
            GTEST_SKIP() << testedKernelName(tested()) << " not available on this processor";
        ASSERT_EQ(initialiseRun(), 0);
        // alignProfiles too, where the alignment is large enough
        work.choices.threads = threads();
    }
    void TearDown() override { resetNodeTable(); }
    static TestedKernel tested() { return std::get<0>(GetParam()); }
    static KernelKind kind() { return storageKindOf(tested()); }
    static int threads() { return std::get<1>(GetParam()); }
    static std::string name() {
        return std::string(testedKernelName(tested())) + " x" + std::to_string(threads());
    }

    // True when the kernel equals the plain one on this case; reports the first difference.
    bool matchesPlain(const Case& c) {
        runSettings.workMode = c.mode;
        runSettings.gapOpenPenalty = c.penalties.open;
        runSettings.gapExtendPenalty = c.penalties.extend;
        for (int x = 0; x < BASE_COUNT; ++x)
            runSettings.baseWeights[x] = c.weights[x];
        const KernelSettings s = currentKernelSettings();
        const int n = static_cast<int>(c.first.size());
        const int m = static_cast<int>(c.second.size());
        // The matrix is (n + 1) x (m + 1) cells, one row of m + 1 after the
        // other; the row after the last must stay untouched
        for (KernelKind k : {KernelKind::Plain, kind()})
            if (!work.reserveAlignmentStorage(k, n + 1, m, threads())) {
                ADD_FAILURE() << "no memory for " << c.describe();
                return false;
            }
        const std::size_t cells = (static_cast<std::size_t>(n) + 1) * (static_cast<std::size_t>(m) + 1);
        const std::size_t guarded = cells + static_cast<std::size_t>(m) + 1;

        const double plainScore = plainFill(work, s, c);
        const std::vector<std::uint8_t> plainFlags(work.traceMatrix, work.traceMatrix + cells);
        std::memset(work.traceMatrix, 0xee, guarded);
        const double fastScore = fillWith(work, tested(), s, c, threads());

        for (std::size_t cell = 0; cell < guarded; ++cell) {
            const int expected = cell < cells ? plainFlags[cell] : 0xee;
            if (work.traceMatrix[cell] != expected) {
                const std::size_t i = cell / (static_cast<std::size_t>(m) + 1);
                const std::size_t j = cell % (static_cast<std::size_t>(m) + 1);
                ADD_FAILURE() << name() << " flags of cell [" << i << "][" << j << "] are "
                              << int{work.traceMatrix[cell]} << ", not " << expected << "\n"
                              << c.describe();
                return false;
            }
        }
        if (!sameBits(fastScore, plainScore)) {
            ADD_FAILURE() << name() << " score " << fastScore << " differs from " << plainScore << "\n"
                          << c.describe();
            return false;
        }
        return alignedColumnsMatch(c);
    }

    bool alignedColumnsMatch(const Case& c) {
        // The tool runs only its own kernels; the traceback reads nothing but the flags compared above
        if (tested() == TestedKernel::EightLanesOnAvx2)
            return true;
        NodePool pool;
        TreeNode* nodes[4];
        for (TreeNode*& node : nodes) {
            node = pool.empty();
            if (node == nullptr) {
                ADD_FAILURE() << "out of memory";
                return false;
            }
        }
        const int longest = static_cast<int>(c.first.size() + c.second.size());
        for (TreeNode* node : nodes)
            if (!reserveProfiles(node, longest)) {
                ADD_FAILURE() << "out of memory";
                return false;
            }
        for (int k = 0; k < 4; k += 2) {
            std::copy(c.first.begin(), c.first.end(), nodes[k]->workProfile);
            std::copy(c.second.begin(), c.second.end(), nodes[k + 1]->workProfile);
            nodes[k]->workLength = static_cast<int>(c.first.size());
            nodes[k + 1]->workLength = static_cast<int>(c.second.size());
        }
        double plainScore, fastScore;
        if (alignProfilesWith(work, KernelKind::Plain, nodes[0], nodes[1], plainScore) != 0 ||
            alignProfilesWith(work, kind(), nodes[2], nodes[3], fastScore) != 0) {
            ADD_FAILURE() << name() << " alignment overflowed\n" << c.describe();
            return false;
        }
        bool same = sameBits(plainScore, fastScore) && nodes[0]->workLength == nodes[2]->workLength &&
                    nodes[1]->workLength == nodes[3]->workLength;
        for (int col = 0; same && col < nodes[0]->workLength; ++col)
            for (int x = 0; x < BASE_COUNT; ++x)
                same = same && nodes[0]->workProfile[col].weight[x] == nodes[2]->workProfile[col].weight[x] &&
                       nodes[1]->workProfile[col].weight[x] == nodes[3]->workProfile[col].weight[x];
        if (!same)
            ADD_FAILURE() << name() << " aligned profiles differ\n" << c.describe();
        return same;
    }

    void sweep(std::uint64_t firstSeed, int count, int longest) {
        for (int k = 0; k < count; ++k)
            if (!matchesPlain(randomCase(firstSeed + k, longest)))
                return;
    }

    PairwiseWorkspace work;
};

TEST_P(KernelDifferential, EqualsPlainKernelOnRandomProfiles) {
    sweep(1000, 150, 300);
}

TEST_P(KernelDifferential, EqualsPlainKernelOnEveryShapeUpToTwoStripes) {
    // Every n x m up to 34: row 1 alone, a stripe and a bit, and 1 x m, n x 1
    int count = 0;
    for (int n = 1; n <= 34; ++n)
        for (int m = 1; m <= 34; m += (n % 3) + 1) {
            Case c = randomCase(50000 + count++, 1);
            SplitMix64 random(c.seed);
            c.first.clear();
            c.second.clear();
            for (int i = 0; i < n; ++i)
                c.first.push_back(randomColumn(random, c.columns));
            for (int j = 0; j < m; ++j)
                c.second.push_back(randomColumn(random, c.columns));
            if (!matchesPlain(c))
                return;
        }
}

TEST_P(KernelDifferential, EqualsPlainKernelOnTallThinAndShortWideProfiles) {
    // Stripe counts around every multiple of the thread count; few columns
    // keep the stripes waiting for each other at every block
    SplitMix64 random(31);
    int count = 0;
    for (int n : {9, 17, 24, 33, 47, 49, 65, 95, 130, 257, 600})
        for (int m : {1, 2, 7, 130}) {
            Case tall = randomCase(60000 + count++, 1);
            tall.first = randomColumns(random, tall.columns, n);
            tall.second = randomColumns(random, tall.columns, m);
            if (!matchesPlain(tall))
                return;
            // And turned on its side: one or two stripes, many columns
            Case wide = randomCase(60000 + count++, 1);
            wide.first = randomColumns(random, wide.columns, m);
            wide.second = randomColumns(random, wide.columns, n * 3);
            if (!matchesPlain(wide))
                return;
        }
}

TEST_P(KernelDifferential, EqualsPlainKernelAcrossManyBlocks) {
    // Several blocks of steps per stripe and a ragged last stripe, in each mode
    SplitMix64 random(43);
    for (int mode = 0; mode <= 6; ++mode) {
        Case c = randomCase(70000 + mode, 1);
        c.mode = mode;
        c.first = randomColumns(random, c.columns, 300 + 13 * mode);
        c.second = randomColumns(random, c.columns, 450 - 29 * mode);
        if (!matchesPlain(c))
            return;
    }
}

TEST_P(KernelDifferential, EqualsPlainKernelOnEqualProfilesWithEveryTie) {
    // Identical definite profiles with zero penalties: pair, up and left tie in many cells
    SplitMix64 random(7);
    for (int mode = 0; mode <= 6; ++mode) {
        Case c{7, mode, {0.0, 0.0}, WEIGHTS[0], Columns::Definite, true, {}, {}};
        for (int i = 0; i < 70; ++i)
            c.first.push_back(randomColumn(random, Columns::Definite));
        c.second = c.first;
        if (!matchesPlain(c))
            return;
    }
}

TEST_P(KernelDifferential, SlowEqualsPlainKernelOnManyRandomProfiles) {
    sweep(100000, 2000, 300);
}

TEST_P(KernelDifferential, SlowEqualsPlainKernelOnTheLongestProfiles) {
    Case c = randomCase(99, 1);
    SplitMix64 random(99);
    c.first.clear();
    c.second.clear();
    for (int i = 0; i < MAXSEQLEN; ++i) {
        c.first.push_back(randomColumn(random, c.columns));
        c.second.push_back(randomColumn(random, c.columns));
    }
    EXPECT_TRUE(matchesPlain(c));
}

TEST_P(KernelDifferential, SlowEqualsPlainKernelBeyondTheDefaultLongest) {
    // Longer than the default allows, taller than wide and the other way round
    const LongOptions kept = longOptions;
    longOptions.maxLength = 10000;
    for (const auto& [n, m] : {std::pair{4999, 3001}, std::pair{3000, 5000}}) {
        Case c = randomCase(n + m, 1);
        SplitMix64 random(static_cast<std::uint64_t>(n));
        c.first = randomColumns(random, c.columns, n);
        c.second = randomColumns(random, c.columns, m);
        EXPECT_TRUE(matchesPlain(c)) << n << " x " << m;
    }
    longOptions = kept;
}

INSTANTIATE_TEST_SUITE_P(EachInstructionSetAndThreadCount, KernelDifferential,
                         ::testing::Combine(::testing::Values(TestedKernel::Avx2, TestedKernel::Avx512,
                                                              TestedKernel::EightLanesOnAvx2),
                                            ::testing::Values(1, 2, 3, 4)),
                         [](const ::testing::TestParamInfo<std::tuple<TestedKernel, int>>& info) {
                             return std::string(testedKernelName(std::get<0>(info.param))) + "_" +
                                    std::to_string(std::get<1>(info.param)) + "threads";
                         });

} // namespace
} // namespace vorbex
