// The sum-of-pairs vector kernels, on one thread and shared between 2, 3 and
// 4, against the plain fill: every flag of the matrix and the corner's three
// states bit for bit. The traceback is shared and reads nothing else, so equal
// fills give equal alignments and scores.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "align/align.h"
#include "pairwise/kernels.h"
#include "reference/wide_lanes_on_avx2.h"
#include "run/run.h"
#include "support/random_columns.h"

namespace vorbex {
namespace {

using bench::SplitMix64;
using test_support::Columns;
using test_support::randomColumns;

bool sameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

const char* kernelName(TestedKernel tested) {
    return testedKernelName(tested);
}

SumOfPairsCorner fillWith(PairwiseWorkspace& work, TestedKernel kernel,
                          const std::vector<ProfileColumn>& first, const std::vector<ProfileColumn>& second,
                          int threads) {
    const int n = static_cast<int>(first.size());
    const int m = static_cast<int>(second.size());
    switch (kernel) {
    case TestedKernel::Avx512:
        return fillSumOfPairsAvx512(work, first.data(), n, second.data(), m, threads);
    case TestedKernel::Avx2:
        return fillSumOfPairsAvx2(work, first.data(), n, second.data(), m, threads);
    case TestedKernel::EightLanesOnAvx2:
        break;
    }
    return fillWideLanesSumOfPairsOnAvx2(work, first.data(), n, second.data(), m, threads);
}

class SumOfPairsDifferential : public ::testing::TestWithParam<std::tuple<TestedKernel, int>> {
  protected:
    void SetUp() override {
        if (!testedKernelAvailable(kind()))
            GTEST_SKIP() << kernelName(kind()) << " not available on this processor";
        ASSERT_EQ(initialiseRun(), 0);
    }
    static TestedKernel kind() { return std::get<0>(GetParam()); }
    static int threads() { return std::get<1>(GetParam()); }

    // True when the kernel fills the matrix as the plain fill does; reports the first difference.
    bool matchesPlain(const std::vector<ProfileColumn>& first, const std::vector<ProfileColumn>& second,
                      const std::string& what) {
        const int n = static_cast<int>(first.size());
        const int m = static_cast<int>(second.size());
        // One row more than the matrix, which must stay untouched
        if (!work.reserveSumOfPairsStorage(storageKindOf(kind()), n + 1, m, threads())) {
            ADD_FAILURE() << "no memory for " << what;
            return false;
        }
        const std::size_t cells = (static_cast<std::size_t>(n) + 1) * (static_cast<std::size_t>(m) + 1);
        const std::size_t guarded = cells + static_cast<std::size_t>(m) + 1;
        const SumOfPairsCorner plain = fillSumOfPairsPlain(work, first.data(), n, second.data(), m);
        const std::vector<std::uint8_t> plainFlags(work.traceMatrix, work.traceMatrix + cells);
        std::memset(work.traceMatrix, 0xee, guarded);
        const SumOfPairsCorner fast = fillWith(work, kind(), first, second, threads());
        for (std::size_t cell = 0; cell < guarded; ++cell) {
            const int expected = cell < cells ? plainFlags[cell] : 0xee;
            if (work.traceMatrix[cell] != expected) {
                ADD_FAILURE() << kernelName(kind()) << " x" << threads() << " flags of cell ["
                              << cell / (m + 1) << "][" << cell % (m + 1) << "] are "
                              << int{work.traceMatrix[cell]} << ", not " << expected << ": " << what << " "
                              << n << " x " << m;
                return false;
            }
        }
        const bool same = sameBits(fast.pair, plain.pair) && sameBits(fast.gapInSecond, plain.gapInSecond) &&
                          sameBits(fast.gapInFirst, plain.gapInFirst);
        EXPECT_TRUE(same) << kernelName(kind()) << " x" << threads() << " corner " << fast.pair << "/"
                          << fast.gapInSecond << "/" << fast.gapInFirst << " differs from " << plain.pair
                          << "/" << plain.gapInSecond << "/" << plain.gapInFirst << ": " << what;
        return same;
    }

    PairwiseWorkspace work;
};

constexpr Columns KINDS[] = {Columns::Definite, Columns::Ambiguous, Columns::Means, Columns::NearEqual};
constexpr const char* KIND_NAMES[] = {"definite", "ambiguous", "means", "near-equal"};

TEST_P(SumOfPairsDifferential, EqualsPlainOnEveryShapeUpToTwoStripes) {
    // Row 1 alone, a stripe and a bit, 1 x m and n x 1, every column kind
    SplitMix64 random(5);
    for (int n = 1; n <= 34; ++n)
        for (int m = 1; m <= 34; m += (n % 3) + 1) {
            const int kind = static_cast<int>(random.below(4));
            if (!matchesPlain(randomColumns(random, KINDS[kind], n), randomColumns(random, KINDS[kind], m),
                              KIND_NAMES[kind]))
                return;
        }
}

TEST_P(SumOfPairsDifferential, EqualsPlainOnRandomAndRepeatedProfiles) {
    SplitMix64 random(11);
    for (int k = 0; k < 60; ++k) {
        const int kind = k % 4;
        const int n = 1 + static_cast<int>(random.below(300));
        const std::vector<ProfileColumn> first = randomColumns(random, KINDS[kind], n);
        // Every fifth against itself: exact ties between the states everywhere
        const std::vector<ProfileColumn> second =
            k % 5 == 0 ? first : randomColumns(random, KINDS[kind], 1 + static_cast<int>(random.below(300)));
        if (!matchesPlain(first, second, KIND_NAMES[kind]))
            return;
    }
}

TEST_P(SumOfPairsDifferential, EqualsPlainOnTallThinAndShortWideProfiles) {
    // Stripe counts around every multiple of the thread count; few columns
    // keep the stripes waiting for each other at every block
    SplitMix64 random(31);
    for (int n : {9, 17, 33, 49, 95, 257, 600})
        for (int m : {1, 7, 130}) {
            if (!matchesPlain(randomColumns(random, Columns::Means, n),
                              randomColumns(random, Columns::Means, m), "tall") ||
                !matchesPlain(randomColumns(random, Columns::Ambiguous, m),
                              randomColumns(random, Columns::Ambiguous, 3 * n), "wide"))
                return;
        }
}

TEST_P(SumOfPairsDifferential, SlowEqualsPlainOnTheLongestProfiles) {
    SplitMix64 random(99);
    EXPECT_TRUE(matchesPlain(randomColumns(random, Columns::Means, MAXSEQLEN),
                             randomColumns(random, Columns::Means, MAXSEQLEN - 300), "means"));
}

INSTANTIATE_TEST_SUITE_P(EachInstructionSetAndThreadCount, SumOfPairsDifferential,
                         ::testing::Combine(::testing::Values(TestedKernel::Avx2, TestedKernel::Avx512,
                                                              TestedKernel::EightLanesOnAvx2),
                                            ::testing::Values(1, 2, 3, 4)),
                         [](const ::testing::TestParamInfo<std::tuple<TestedKernel, int>>& info) {
                             return std::string(kernelName(std::get<0>(info.param))) + "_" +
                                    std::to_string(std::get<1>(info.param)) + "threads";
                         });

} // namespace
} // namespace vorbex
