// Workload K: one pairwise alignment of 2047 x 2047 columns, per kernel, in ns
// per cell of wall time; the vector kernels also shared between two threads.
// KSP: the same for the sum-of-pairs fill of --scoring=sp.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "align/align.h"
#include "pairwise/kernels.h"
#include "run/run.h"
#include "workload.h"

namespace vorbex::bench {
namespace {

constexpr int K_LENGTH = MAXSEQLEN;

struct KernelInput {
    const char* name;
    std::vector<ProfileColumn> first;
    std::vector<ProfileColumn> second;
};

std::vector<ProfileColumn> definiteColumns(const std::string& text) {
    std::vector<ProfileColumn> columns(K_LENGTH);
    for (int c = 0; c < K_LENGTH; ++c)
        columns[c].weight[std::string_view("ACGT").find(text[c % text.size()])] = 1.0;
    return columns;
}

// Means of four related sequences in which some bases are gaps, and some
// columns that are gaps in all of them
std::vector<ProfileColumn> meanColumns(SplitMix64& random, const std::string& ancestor) {
    std::vector<ProfileColumn> columns(K_LENGTH);
    for (int s = 0; s < 4; ++s) {
        const std::string text = evolve(random, ancestor, 0.1, 0.0);
        for (int c = 0; c < K_LENGTH; ++c)
            if (random.uniform() >= 0.15)
                columns[c].weight[std::string_view("ACGT").find(text[c])] += 0.25;
    }
    for (ProfileColumn& column : columns)
        if (random.uniform() < 0.05)
            column = ProfileColumn{};
    return columns;
}

const std::vector<KernelInput>& kernelInputs() {
    static const std::vector<KernelInput> inputs = [] {
        SplitMix64 random(20240607);
        std::vector<KernelInput> made;
        const std::string ancestor = randomSequence(random, K_LENGTH);
        made.push_back({"related", definiteColumns(evolve(random, ancestor, 0.1, 0.01)),
                        definiteColumns(evolve(random, ancestor, 0.1, 0.01))});
        made.push_back({"unrelated", definiteColumns(randomSequence(random, K_LENGTH)),
                        definiteColumns(randomSequence(random, K_LENGTH))});
        made.push_back({"mixed", meanColumns(random, ancestor), meanColumns(random, ancestor)});
        return made;
    }();
    return inputs;
}

const char* kernelName(KernelKind kind) {
    switch (kind) {
    case KernelKind::Avx512:
        return "avx512";
    case KernelKind::Avx2:
        return "avx2";
    case KernelKind::Plain:
        break;
    }
    return "plain";
}

void alignK(benchmark::State& state, KernelKind kind, int input, int threads) {
    if (!kernelAvailable(kind)) {
        state.SkipWithError("instruction set not available");
        return;
    }
    const KernelInput& in = kernelInputs()[input];
    const KernelSettings settings = currentKernelSettings();
    const ProfileColumn* const a = in.first.data();
    const ProfileColumn* const b = in.second.data();
    PairwiseWorkspace& work = mainWorkspace();
    double score = 0.0;
    for (auto _ : state) {
        score = kind == KernelKind::Avx512
                    ? fillAvx512Kernel(work, settings, a, K_LENGTH, b, K_LENGTH, threads)
                : kind == KernelKind::Avx2 ? fillAvx2Kernel(work, settings, a, K_LENGTH, b, K_LENGTH, threads)
                                           : fillPlainKernel(work, settings, a, K_LENGTH, b, K_LENGTH);
        benchmark::DoNotOptimize(score);
    }
    const double cells = double{K_LENGTH} * K_LENGTH * static_cast<double>(state.iterations());
    state.counters["ns/cell"] =
        benchmark::Counter(cells / 1e9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void alignSumOfPairs(benchmark::State& state, KernelKind kind, int input, int threads) {
    if (!kernelAvailable(kind)) {
        state.SkipWithError("instruction set not available");
        return;
    }
    const KernelInput& in = kernelInputs()[input];
    const ProfileColumn* const a = in.first.data();
    const ProfileColumn* const b = in.second.data();
    PairwiseWorkspace& work = mainWorkspace();
    for (auto _ : state) {
        const SumOfPairsCorner corner =
            kind == KernelKind::Avx512 ? fillSumOfPairsAvx512(work, a, K_LENGTH, b, K_LENGTH, threads)
            : kind == KernelKind::Avx2 ? fillSumOfPairsAvx2(work, a, K_LENGTH, b, K_LENGTH, threads)
                                       : fillSumOfPairsPlain(work, a, K_LENGTH, b, K_LENGTH);
        benchmark::DoNotOptimize(corner);
    }
    const double cells = double{K_LENGTH} * K_LENGTH * static_cast<double>(state.iterations());
    state.counters["ns/cell"] =
        benchmark::Counter(cells / 1e9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Keeps the median ns per cell of every benchmark for the summary table
class SummaryReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                auto counter = run.counters.find("ns/cell");
                if (counter != run.counters.end())
                    medians[run.run_name.function_name] = counter->second.value;
            }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> medians;
};

} // namespace
} // namespace vorbex::bench

int main(int argc, char** argv) {
    using namespace vorbex;
    using namespace vorbex::bench;
    if (initialiseRun() != 0)
        return 2;
    struct Variant {
        KernelKind kind;
        int threads;
    };
    const Variant variants[] = {{KernelKind::Plain, 1},
                                {KernelKind::Avx2, 1},
                                {KernelKind::Avx512, 1},
                                {KernelKind::Avx2, 2},
                                {KernelKind::Avx512, 2}};
    auto variantName = [](const char* workload, const KernelInput& in, const Variant& v) {
        return std::string(workload) + "/" + in.name + "/" + kernelName(v.kind) +
               (v.threads > 1 ? "/2threads" : "");
    };
    for (const char* workload : {"K", "KSP"})
        for (std::size_t input = 0; input < kernelInputs().size(); ++input)
            for (const Variant& v : variants) {
                const std::string name = variantName(workload, kernelInputs()[input], v);
                benchmark::RegisterBenchmark(name.c_str(), workload[1] == 'S' ? alignSumOfPairs : alignK,
                                             v.kind, static_cast<int>(input), v.threads)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime()
                    ->MeasureProcessCPUTime()
                    ->Repetitions(3)
                    ->ReportAggregatesOnly(true);
            }
    benchmark::Initialize(&argc, argv);
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    auto median = [&](const char* workload, const KernelInput& in, const Variant& v) {
        auto found = reporter.medians.find(variantName(workload, in, v));
        return found == reporter.medians.end() ? 0.0 : found->second;
    };
    for (const char* workload : {"K", "KSP"}) {
        std::printf("\n%s: 2047 x 2047, median wall ns per cell (one thread, and shared between two;\n"
                    "gain: one thread's time over two threads')\n",
                    workload);
        std::printf("%-10s %8s %8s %8s %10s %10s %9s %9s %9s %11s\n", "input", "plain", "avx2", "avx512",
                    "plain/avx2", "plain/avx512", "avx2 x2", "avx512 x2", "gain avx2", "gain avx512");
        for (const KernelInput& in : kernelInputs()) {
            double value[5];
            for (int k = 0; k < 5; ++k)
                value[k] = median(workload, in, variants[k]);
            std::printf("%-10s %8.3f %8.3f %8.3f %10.1f %10.1f %9.3f %9.3f %9.2f %11.2f\n", in.name, value[0],
                        value[1], value[2], ratio(value[0], value[1]), ratio(value[0], value[2]), value[3],
                        value[4], ratio(value[1], value[3]), ratio(value[2], value[4]));
        }
    }
    // The sum-of-pairs fill against the specified DP's, kernel for kernel
    std::printf("\nKSP / K: time per cell of the sum-of-pairs fill over the specified DP's\n");
    std::printf("%-10s %8s %8s %8s %9s %9s\n", "input", "plain", "avx2", "avx512", "avx2 x2", "avx512 x2");
    for (const KernelInput& in : kernelInputs()) {
        std::printf("%-10s", in.name);
        for (const Variant& v : variants)
            std::printf(" %8.2f", ratio(median("KSP", in, v), median("K", in, v)));
        std::printf("\n");
    }
    return 0;
}
