// Whole runs W1 to W5: the release vorbex against the plain reference (`vorbex_variant plain`, or an
// earlier build, or "-" for none), as subprocesses. Checks that both write the same standard output and
// report (but for the elapsed seconds) and prints median wall times, ratios and peak memory. vorbex runs
// twice: on every processor it may use, and held to one (as under `taskset -c 0`), which gives the gain of
// the threads. The reference is a command: a program and the words it takes before the tool's arguments,
// parted by blanks.
//
//   vorbex_run_bench <vorbex> "<vorbex_variant> plain" <work directory> [fast runs] [plain runs] [W1,W2,...]
#include <fcntl.h>
#include <sched.h>
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
    double cpuSeconds; // user and system, all threads
    long peakKilobytes;
    int status;
};

// The lowest processor this process may run on
int firstProcessor() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0)
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
            if (CPU_ISSET(cpu, &set))
                return cpu;
    return 0;
}

// Runs `command` (the program, then its arguments) with `args` after them in
// `directory`, standard output into `stdoutFile`, on one processor when
// `oneProcessor` is set
RunResult runOnce(const std::vector<std::string>& command, const std::string& directory,
                  const std::vector<std::string>& args, const std::string& stdoutFile,
                  bool oneProcessor = false) {
    const int processor = firstProcessor();
    timespec start{}, end{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    const pid_t child = fork();
    if (child == 0) {
        if (oneProcessor) {
            cpu_set_t set;
            CPU_ZERO(&set);
            CPU_SET(processor, &set);
            if (sched_setaffinity(0, sizeof set, &set) != 0)
                _exit(127);
        }
        if (chdir(directory.c_str()) != 0)
            _exit(127);
        const int out = open(stdoutFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || dup2(out, STDOUT_FILENO) < 0)
            _exit(127);
        std::vector<char*> argv;
        for (const std::vector<std::string>* words : {&command, &args})
            for (const std::string& a : *words)
                argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child)
        return {0.0, 0.0, 0, -1};
    clock_gettime(CLOCK_MONOTONIC, &end);
    const double seconds = double(end.tv_sec - start.tv_sec) + double(end.tv_nsec - start.tv_nsec) * 1e-9;
    auto toSeconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
    return {seconds, toSeconds(usage.ru_utime) + toSeconds(usage.ru_stime), usage.ru_maxrss,
            WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)};
}

// The load average over the last minute, to read the figures by
double loadAverage() {
    double load[1] = {0.0};
    return getloadavg(load, 1) == 1 ? load[0] : -1.0;
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

// The words of a command parted by blanks, its program made absolute (the
// runs change directory)
std::vector<std::string> commandWords(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string word; in >> word;)
        words.push_back(words.empty() ? absolute(word) : word);
    return words;
}

double median(std::vector<double> values) {
    if (values.empty())
        return 0.0;
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
            "usage: vorbex_run_bench <vorbex> \"<vorbex_variant> plain\" <work directory> [fast runs] "
            "[plain runs] [W1,W2,...]\n");
        return 2;
    }
    const std::vector<std::string> fast = commandWords(argv[1]);
    // "-": no reference run (the long workloads, which the plain kernel's
    // full matrices would not fit)
    const bool withPlain = std::string(argv[2]) != "-";
    const std::vector<std::string> plain = commandWords(argv[2]);
    if (fast.empty() || plain.empty()) {
        std::fprintf(stderr, "vorbex_run_bench: an empty command\n");
        return 2;
    }
    const std::string directory = argv[3];
    const int fastRuns = argc > 4 ? std::max(1, std::atoi(argv[4])) : 3;
    const int plainRuns = argc > 5 ? std::max(1, std::atoi(argv[5])) : 1;
    const std::string chosen = argc > 6 ? std::string(",") + argv[6] + "," : "";
    mkdir(directory.c_str(), 0755);
    const int processors = [] {
        cpu_set_t set;
        CPU_ZERO(&set);
        return sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 1;
    }();

    struct Row {
        std::string name;
        double plainSeconds, fastSeconds, oneSeconds;
        double fastCpu, oneCpu;
        long plainPeak, fastPeak;
        bool same;
        int status;
        double load;
        long long candidates;
    };
    std::vector<Row> rows;
    bool allSame = true;
    std::vector<WorkloadSpec> specs = standardWorkloads();
    specs.insert(specs.end(), longWorkloads().begin(), longWorkloads().end());
    for (const WorkloadSpec& spec : specs) {
        const bool named = chosen.find(std::string(",") + spec.name + ",") != std::string::npos;
        if (chosen.empty() ? spec.maxLength > 0 : !named)
            continue;
        if (!writeWorkload(spec, makeWorkload(spec), directory)) {
            std::fprintf(stderr, "cannot write %s into %s\n", spec.name, directory.c_str());
            return 1;
        }
        const std::string name = spec.name;
        auto args = [&](const char* which) {
            std::vector<std::string> list{name + ".fasta", name + ".nwk", name + "_" + which + ".log"};
            if (spec.maxLength > 0)
                list.insert(list.begin(), "--max-length=" + std::to_string(spec.maxLength));
            return list;
        };
        std::vector<double> plainTimes, fastTimes, oneTimes, fastCpu, oneCpu;
        long plainPeak = 0, fastPeak = 0;
        int plainStatus = 0, fastStatus = 0, oneStatus = 0;
        const double load = loadAverage();
        for (int r = 0; withPlain && r < plainRuns; ++r) {
            const RunResult result = runOnce(plain, directory, args("plain"), name + "_plain.out");
            plainTimes.push_back(result.seconds);
            plainPeak = std::max(plainPeak, result.peakKilobytes);
            plainStatus = result.status;
        }
        for (int r = 0; r < fastRuns; ++r) {
            const RunResult result = runOnce(fast, directory, args("fast"), name + "_fast.out");
            fastTimes.push_back(result.seconds);
            fastCpu.push_back(result.cpuSeconds);
            fastPeak = std::max(fastPeak, result.peakKilobytes);
            fastStatus = result.status;
            const RunResult one = runOnce(fast, directory, args("one"), name + "_one.out", true);
            oneTimes.push_back(one.seconds);
            oneCpu.push_back(one.cpuSeconds);
            oneStatus = one.status;
        }
        const std::string base = directory + "/" + name;
        auto sameAsPlain = [&](const char* which, int status) {
            if (!withPlain)
                return fastStatus == oneStatus &&
                       withoutElapsed(base + "_fast.out") == withoutElapsed(base + "_one.out") &&
                       withoutElapsed(base + "_fast.log") == withoutElapsed(base + "_one.log");
            return plainStatus == status &&
                   withoutElapsed(base + "_plain.out") == withoutElapsed(base + "_" + which + ".out") &&
                   withoutElapsed(base + "_plain.log") == withoutElapsed(base + "_" + which + ".log");
        };
        const bool same = sameAsPlain("fast", fastStatus) && sameAsPlain("one", oneStatus);
        allSame = allSame && same;
        rows.push_back({name, median(plainTimes), median(fastTimes), median(oneTimes), median(fastCpu),
                        median(oneCpu), plainPeak, fastPeak, same, fastStatus, load, candidateCount(spec)});
        std::fprintf(stderr, "%s done\n", spec.name);
    }

    std::printf("\nWhole runs, median wall seconds (plain %d run(s), vorbex %d run(s))\n", plainRuns,
                fastRuns);
    std::printf("vorbex on %d processor(s), and on one; CPU s is user and system time of all threads;\n"
                "load is the one-minute load average when the workload started\n",
                processors);
    std::printf("%-4s %9s %9s %7s %12s %12s %9s %9s %8s %11s %5s %5s %s\n", "run", "plain s", "vorbex s",
                "ratio", "plain MiB", "vorbex MiB", "1 cpu s", "1cpu/all", "CPU s", "1 cpu CPU s", "exit",
                "load", "output");
    for (const Row& r : rows)
        std::printf("%-4s %9.3f %9.3f %7.1f %12.1f %12.1f %9.3f %9.2f %8.3f %11.3f %5d %5.1f %s\n",
                    r.name.c_str(), r.plainSeconds, r.fastSeconds,
                    r.fastSeconds > 0 ? r.plainSeconds / r.fastSeconds : 0.0, r.plainPeak / 1024.0,
                    r.fastPeak / 1024.0, r.oneSeconds, r.fastSeconds > 0 ? r.oneSeconds / r.fastSeconds : 0.0,
                    r.fastCpu, r.oneCpu, r.status, r.load, r.same ? "identical" : "DIFFERENT");
    std::printf("\nCandidate trees per second, vorbex on all processors and on one\n");
    for (const Row& r : rows)
        if (r.candidates > 1 && r.fastSeconds > 0 && r.oneSeconds > 0)
            std::printf("%-4s %6lld candidates %10.1f /s %10.1f /s on one\n", r.name.c_str(), r.candidates,
                        r.candidates / r.fastSeconds, r.candidates / r.oneSeconds);
    // The search against one tree of the same sequences
    for (const Row& r : rows)
        for (const Row& binary : rows)
            if (binary.name == r.name + "B" && binary.oneSeconds > 0 && binary.fastSeconds > 0)
                std::printf("%s against %s: %.1f times on one processor, %.1f on all\n", r.name.c_str(),
                            binary.name.c_str(), r.oneSeconds / binary.oneSeconds,
                            r.fastSeconds / binary.fastSeconds);
    return allSame ? 0 : 1;
}
