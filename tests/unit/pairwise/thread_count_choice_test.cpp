#include <gtest/gtest.h>

#include "align/align.h"
#include "pairwise/kernels.h"
#include "pairwise/thread_count_choice.h"

namespace vorbex {
namespace {

TEST(EligibleThreads, OnlyLargeVectorAlignmentsShare) {
    EXPECT_EQ(eligibleThreads({.threads = 1}, KernelKind::Avx2, MAXSEQLEN, MAXSEQLEN), 1);
    const PairwiseChoices two{.threads = 2};
    EXPECT_EQ(eligibleThreads(two, KernelKind::Avx2, MAXSEQLEN, MAXSEQLEN), 2);
    EXPECT_EQ(eligibleThreads(two, KernelKind::Avx512, MAXSEQLEN, MAXSEQLEN), 2);
    EXPECT_EQ(eligibleThreads(two, KernelKind::Plain, MAXSEQLEN, MAXSEQLEN), 1);
    EXPECT_EQ(eligibleThreads(two, KernelKind::Avx2, 20, 20), 1);
    // Many columns but a single stripe: nothing to share
    EXPECT_EQ(eligibleThreads(two, KernelKind::Avx512, 16, MAXSEQLEN), 1);
    // At least two stripes for each thread
    EXPECT_EQ(eligibleThreads({.threads = 64}, KernelKind::Avx512, 160, MAXSEQLEN), 5);
}

// Three samples of each way, the first of which pays for starting threads
void measure(ThreadCountChoice& choice, int threads, double cells, double nsSeveral, double nsOne) {
    for (int k = 0; k < 3; ++k) {
        choice.record(threads, cells, (k == 0 ? 50.0 : nsSeveral) * cells * 1e-9);
        choice.record(1, cells, nsOne * cells * 1e-9);
    }
}

TEST(ThreadCountChoice, TriesBothThenKeepsToTheFasterButNowAndThenTheOther) {
    ThreadCountChoice choice;
    // Nothing measured: both ways in turn
    EXPECT_EQ(choice.choose(3, 1e6), 3);
    choice.record(3, 1e6, 50e-3); // starting the threads: left out
    EXPECT_EQ(choice.choose(3, 1e6), 1);
    choice.record(1, 1e6, 1e-3);
    EXPECT_EQ(choice.choose(3, 1e6), 3);
    for (int k = 0; k < 2; ++k) {
        choice.record(3, 1e6, 2e-3); // 2 ns per cell on three threads
        choice.record(1, 1e6, 1e-3); // 1 ns per cell on one
    }
    int several = 0;
    for (int k = 0; k < 64; ++k)
        several += choice.choose(3, 1e6) == 3 ? 1 : 0;
    EXPECT_EQ(several, 2);
    // Several threads become faster: they take over, one alignment in 32 on one thread
    for (int k = 0; k < 10; ++k)
        choice.record(3, 1e6, 0.4e-3);
    int single = 0;
    for (int k = 0; k < 64; ++k)
        single += choice.choose(3, 1e6) == 1 ? 1 : 0;
    EXPECT_EQ(single, 2);
}

TEST(ThreadCountChoice, SmallAlignmentsThatLoseDoNotHoldBackLargeOnesThatGain) {
    ThreadCountChoice choice;
    // Small alignments twice as slow per cell on two threads, large ones twice as fast
    measure(choice, 2, 3e5, 2.0, 1.0);
    measure(choice, 2, 4e6, 0.5, 1.0);
    int severalSmall = 0;
    int severalLarge = 0;
    for (int k = 0; k < 64; ++k) {
        severalSmall += choice.choose(2, 3e5) == 2 ? 1 : 0;
        severalLarge += choice.choose(2, 4e6) == 2 ? 1 : 0;
    }
    EXPECT_EQ(severalSmall, 2);
    EXPECT_EQ(severalLarge, 62);
}

} // namespace
} // namespace vorbex
