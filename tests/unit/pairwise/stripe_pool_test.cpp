#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "align/align.h"
#include "pairwise/kernels.h"
#include "pairwise/stripe_pool.h"
#include "run/run.h"

namespace vorbex {
namespace {

struct Tally {
    std::atomic<int> runs[MAX_ALIGNMENT_THREADS];
};

void countRun(void* context, int thread) {
    static_cast<Tally*>(context)->runs[thread].fetch_add(1);
}

TEST(StripePool, RunsEveryThreadOnceEachTimeAsTheCountRisesAndFalls) {
    for (int threads : {2, 4, 3, 1, 2, 4, 4}) {
        const int ready = preparePool(threads);
        ASSERT_EQ(ready, threads);
        for (int round = 0; round < 50; ++round) {
            Tally tally{};
            runOnPool(ready, countRun, &tally);
            for (int t = 0; t < MAX_ALIGNMENT_THREADS; ++t)
                ASSERT_EQ(tally.runs[t].load(), t < threads ? 1 : 0) << threads << " threads, thread " << t;
        }
    }
}

TEST(StripePool, KeepsTheCountWithinItsLimit) {
    EXPECT_EQ(preparePool(0), 1);
    EXPECT_EQ(preparePool(1), 1);
    EXPECT_EQ(preparePool(MAX_ALIGNMENT_THREADS + 5), MAX_ALIGNMENT_THREADS);
}

// The flags of an alignment of two random profiles, filled with `threads` threads
std::vector<std::uint8_t> randomAlignmentFlags(PairwiseWorkspace& work, KernelKind kind, int threads,
                                               double& score) {
    std::vector<ProfileColumn> first(900), second(700);
    unsigned seed = 12345;
    for (std::vector<ProfileColumn>* profile : {&first, &second})
        for (ProfileColumn& column : *profile) {
            seed = seed * 1103515245u + 12345u;
            column.weight[(seed >> 16) % BASE_COUNT] = 1.0;
        }
    const KernelSettings s = currentKernelSettings();
    const int n = static_cast<int>(first.size());
    const int m = static_cast<int>(second.size());
    score = kind == KernelKind::Avx512 ? fillAvx512Kernel(work, s, first.data(), n, second.data(), m, threads)
                                       : fillAvx2Kernel(work, s, first.data(), n, second.data(), m, threads);
    return std::vector<std::uint8_t>(work.traceMatrix, work.traceMatrix + work.traceCell(n, m) + 1);
}

TEST(StripePool, AForkedChildAlignsWithOneThreadOrWithItsOwnPool) {
    const KernelKind kind = kernelAvailable(KernelKind::Avx512) ? KernelKind::Avx512 : KernelKind::Avx2;
    if (!kernelAvailable(kind))
        GTEST_SKIP() << "no vector kernel on this processor";
    ASSERT_EQ(initialiseRun(), 0);
    PairwiseWorkspace work;
    double expectedScore = 0.0;
    const std::vector<std::uint8_t> expected = randomAlignmentFlags(work, kind, 1, expectedScore);
    // The parent's pool exists and has just run when the child is made
    double parentScore = 0.0;
    ASSERT_EQ(randomAlignmentFlags(work, kind, 2, parentScore), expected);

    for (int childThreads : {1, 2}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            alarm(30); // a child waiting on its parent's threads would never end
            double score = 0.0;
            const bool same = randomAlignmentFlags(work, kind, childThreads, score) == expected &&
                              std::memcmp(&score, &expectedScore, sizeof score) == 0;
            _exit(same ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "child with " << childThreads << " threads, status " << status;
    }
    // And the parent's pool still serves
    ASSERT_EQ(randomAlignmentFlags(work, kind, 2, parentScore), expected);
    resetNodeTable();
}

} // namespace
} // namespace vorbex
