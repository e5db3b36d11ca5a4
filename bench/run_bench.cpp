// Whole runs W1, W2, W3: the release vorbex against vorbex_plain, as
// subprocesses. Checks that both write the same standard output and report
// (but for the elapsed seconds) and prints median wall times, ratios and peak memory.
//
//   vorbex_run_bench <vorbex> <vorbex_plain> <work directory> [fast runs] [plain runs]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "workload.h"

namespace vorbex::bench {
namespace {

struct RunResult {
    double seconds;
    long peakKilobytes;
    int status;
};

// Runs `program` in `directory` with standard output into `stdoutFile`
RunResult runOnce(const std::string& program, const std::string& directory,
                  const std::vector<std::string>& args, const std::string& stdoutFile) {
    timespec start{}, end{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(directory.c_str()) != 0)
            _exit(127);
        const int out = open(stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || dup2(out, STDOUT_FILENO) < 0)
            _exit(127);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child)
        return {0.0, 0, -1};
    clock_gettime(CLOCK_MONOTONIC, &end);
    const double seconds = double(end.tv_sec - start.tv_sec) + double(end.tv_nsec - start.tv_nsec) * 1e-9;
    return {seconds, usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)};
}

// The file without its "Elapsed time" lines
std::string withoutElapsed(const std::string& path) {
    std::ifstream in(path);
    std::string line, kept;
    while (std::getline(in, line))
        if (line.rfind("Elapsed time", 0) != 0)
            kept += line + "\n";
    return kept;
}

std::string absolute(const std::string& path) {
    char* real = realpath(path.c_str(), nullptr);
    std::string result = real != nullptr ? real : path;
    std::free(real);
    return result;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t h = values.size() / 2;
    return values.size() % 2 ? values[h] : (values[h - 1] + values[h]) / 2;
}

} // namespace
} // namespace vorbex::bench

int main(int argc, char** argv) {
    using namespace vorbex::bench;
    if (argc < 4) {
        std::fprintf(
            stderr,
            "usage: vorbex_run_bench <vorbex> <vorbex_plain> <work directory> [fast runs] [plain runs]\n");
        return 2;
    }
    const std::string fast = absolute(argv[1]);
    const std::string plain = absolute(argv[2]);
    const std::string directory = argv[3];
    const int fastRuns = argc > 4 ? std::max(1, std::atoi(argv[4])) : 3;
    const int plainRuns = argc > 5 ? std::max(1, std::atoi(argv[5])) : 1;
    mkdir(directory.c_str(), 0755);

    struct Row {
        std::string name;
        double plainSeconds, fastSeconds;
        long plainPeak, fastPeak;
        bool same;
        int status;
    };
    std::vector<Row> rows;
    bool allSame = true;
    for (const WorkloadSpec& spec : standardWorkloads()) {
        if (!writeWorkload(spec, makeWorkload(spec), directory)) {
            std::fprintf(stderr, "cannot write %s into %s\n", spec.name, directory.c_str());
            return 1;
        }
        const std::string name = spec.name;
        auto args = [&](const char* which) {
            return std::vector<std::string>{name + ".fasta", name + ".nwk", name + "_" + which + ".log"};
        };
        std::vector<double> plainTimes, fastTimes;
        long plainPeak = 0, fastPeak = 0;
        int plainStatus = 0, fastStatus = 0;
        for (int r = 0; r < plainRuns; ++r) {
            const RunResult result = runOnce(plain, directory, args("plain"), name + "_plain.out");
            plainTimes.push_back(result.seconds);
            plainPeak = std::max(plainPeak, result.peakKilobytes);
            plainStatus = result.status;
        }
        for (int r = 0; r < fastRuns; ++r) {
            const RunResult result = runOnce(fast, directory, args("fast"), name + "_fast.out");
            fastTimes.push_back(result.seconds);
            fastPeak = std::max(fastPeak, result.peakKilobytes);
            fastStatus = result.status;
        }
        const std::string base = directory + "/" + name;
        const bool same = plainStatus == fastStatus &&
                          withoutElapsed(base + "_plain.out") == withoutElapsed(base + "_fast.out") &&
                          withoutElapsed(base + "_plain.log") == withoutElapsed(base + "_fast.log");
        allSame = allSame && same;
        rows.push_back({name, median(plainTimes), median(fastTimes), plainPeak, fastPeak, same, fastStatus});
        std::fprintf(stderr, "%s done\n", spec.name);
    }

    std::printf("\nWhole runs, median wall seconds (plain %d run(s), vorbex %d run(s))\n", plainRuns,
                fastRuns);
    std::printf("%-4s %10s %10s %8s %12s %12s %6s %s\n", "run", "plain s", "vorbex s", "ratio", "plain MiB",
                "vorbex MiB", "exit", "output");
    for (const Row& r : rows)
        std::printf("%-4s %10.3f %10.3f %8.1f %12.1f %12.1f %6d %s\n", r.name.c_str(), r.plainSeconds,
                    r.fastSeconds, r.fastSeconds > 0 ? r.plainSeconds / r.fastSeconds : 0.0,
                    r.plainPeak / 1024.0, r.fastPeak / 1024.0, r.status, r.same ? "identical" : "DIFFERENT");
    return allSame ? 0 : 1;
}
