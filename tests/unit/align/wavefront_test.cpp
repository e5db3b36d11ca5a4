#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "align/align.h"
#include "align/kernels.h"
#include "align/wavefront.h"
#include "run/run.h"

namespace vorbex {
namespace {

struct Tally {
    std::atomic<int> runs[MAX_ALIGNMENT_WORKERS];
};

void countRun(void* context, int worker) {
    static_cast<Tally*>(context)->runs[worker].fetch_add(1);
}

TEST(WorkerPool, RunsEveryWorkerOnceEachTimeAsTheCountRisesAndFalls) {
    for (int workers : {2, 4, 3, 1, 2, 4, 4}) {
        const int ready = prepareWorkers(workers);
        ASSERT_EQ(ready, workers);
        for (int round = 0; round < 50; ++round) {
            Tally tally{};
            runOnWorkers(ready, countRun, &tally);
            for (int w = 0; w < MAX_ALIGNMENT_WORKERS; ++w)
                ASSERT_EQ(tally.runs[w].load(), w < workers ? 1 : 0) << workers << " workers, worker " << w;
        }
    }
}

TEST(WorkerPool, KeepsTheCountWithinItsLimit) {
    EXPECT_EQ(prepareWorkers(0), 1);
    EXPECT_EQ(prepareWorkers(1), 1);
    EXPECT_EQ(prepareWorkers(MAX_ALIGNMENT_WORKERS + 5), MAX_ALIGNMENT_WORKERS);
}

TEST(WavefrontThreads, OnlyLargeVectorAlignmentsShare) {
    alignmentThreads = 1;
    EXPECT_EQ(wavefrontThreads(KernelKind::Avx2, MAXSEQLEN, MAXSEQLEN), 1);
    alignmentThreads = 2;
    EXPECT_EQ(wavefrontThreads(KernelKind::Avx2, MAXSEQLEN, MAXSEQLEN), 2);
    EXPECT_EQ(wavefrontThreads(KernelKind::Avx512, MAXSEQLEN, MAXSEQLEN), 2);
    EXPECT_EQ(wavefrontThreads(KernelKind::Plain, MAXSEQLEN, MAXSEQLEN), 1);
    EXPECT_EQ(wavefrontThreads(KernelKind::Avx2, 20, 20), 1);
    // Many columns but a single stripe: nothing to share
    EXPECT_EQ(wavefrontThreads(KernelKind::Avx512, 16, MAXSEQLEN), 1);
    // At least two stripes for each thread
    alignmentThreads = 64;
    EXPECT_EQ(wavefrontThreads(KernelKind::Avx512, 160, MAXSEQLEN), 5);
    alignmentThreads = 1;
}

TEST(WavefrontChoice, TriesBothThenKeepsToTheFasterButNowAndThenTheOther) {
    WavefrontChoice choice;
    // Nothing measured: both ways in turn
    EXPECT_EQ(choice.choose(3), 3);
    choice.record(3, 1e6, 2e-3); // 2 ns per cell on three threads
    EXPECT_EQ(choice.choose(3), 1);
    choice.record(1, 1e6, 1e-3); // 1 ns per cell on one
    int several = 0;
    for (int k = 0; k < 64; ++k)
        several += choice.choose(3) == 3 ? 1 : 0;
    EXPECT_EQ(several, 2);
    // The wavefront becomes faster: it takes over, one alignment in 32 on one thread
    for (int k = 0; k < 10; ++k)
        choice.record(3, 1e6, 0.4e-3);
    int single = 0;
    for (int k = 0; k < 64; ++k)
        single += choice.choose(3) == 1 ? 1 : 0;
    EXPECT_EQ(single, 2);
}

// The flags of an alignment of two random profiles, filled with `threads` threads
std::vector<std::uint8_t> randomAlignmentFlags(KernelKind kind, int threads, double& score) {
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
    score = kind == KernelKind::Avx512 ? fillAvx512Kernel(s, first.data(), n, second.data(), m, threads)
                                       : fillAvx2Kernel(s, first.data(), n, second.data(), m, threads);
    std::vector<std::uint8_t> flags;
    for (int i = 0; i <= n; ++i)
        flags.insert(flags.end(), traceMatrix + i * MATRIX_SIZE, traceMatrix + i * MATRIX_SIZE + m + 1);
    return flags;
}

TEST(WorkerPool, AForkedChildAlignsWithOneThreadOrWithItsOwnPool) {
    const KernelKind kind = kernelAvailable(KernelKind::Avx512) ? KernelKind::Avx512 : KernelKind::Avx2;
    if (!kernelAvailable(kind))
        GTEST_SKIP() << "no vector kernel on this processor";
    ASSERT_EQ(initialiseRun(), 0);
    double expectedScore = 0.0;
    const std::vector<std::uint8_t> expected = randomAlignmentFlags(kind, 1, expectedScore);
    // The parent's pool exists and has just run when the child is made
    double parentScore = 0.0;
    ASSERT_EQ(randomAlignmentFlags(kind, 2, parentScore), expected);

    for (int childThreads : {1, 2}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            alarm(30); // a child waiting on its parent's threads would never end
            double score = 0.0;
            const bool same = randomAlignmentFlags(kind, childThreads, score) == expected &&
                              std::memcmp(&score, &expectedScore, sizeof score) == 0;
            _exit(same ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "child with " << childThreads << " threads, status " << status;
    }
    // And the parent's pool still serves
    ASSERT_EQ(randomAlignmentFlags(kind, 2, parentScore), expected);
    resetNodeTable();
}

} // namespace
} // namespace vorbex
