#include "run/progress.h"

#include <cstdio>
#include <ctime>
#include <unistd.h>

#include "base/settings.h"
#include "run/mpi_candidates.h"

namespace vorbex {
namespace {

constexpr double UPDATE_INTERVAL = 0.25; // seconds between two updates at most
constexpr int LINE_WIDTH = 72;

struct Progress {
    bool enabled = false;
    double total = 0.0;
    bool searching = false;
    double startTime = 0.0;
    double lastUpdate = 0.0;
};

Progress progress;

double now() {
    timespec time;
    clock_gettime(CLOCK_MONOTONIC, &time);
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) * 1e-9;
}

void formatDuration(double seconds, char* text, std::size_t size) {
    const long whole = static_cast<long>(seconds + 0.5);
    std::snprintf(text, size, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
}

} // namespace

void startProgress(double totalCandidates, bool searching) {
    progress = Progress{};
    // Only the first rank of an MPI run writes: it counts the candidates of all ranks
    const ProgressLine when = longOptions.progressLine;
    progress.enabled =
        totalCandidates > 1.0 && !isFollowerRank() &&
        (when == ProgressLine::ALWAYS || (when == ProgressLine::TERMINAL && isatty(STDERR_FILENO) == 1));
    progress.total = totalCandidates;
    progress.searching = searching;
    progress.startTime = now();
}

void showProgress(int candidatesDone) {
    if (!progress.enabled)
        return;
    const double time = now();
    // The first and the last candidate show at once, the others a few times a second at most
    if (candidatesDone > 1 && (progress.searching || candidatesDone < progress.total) &&
        time - progress.lastUpdate < UPDATE_INTERVAL)
        return;
    progress.lastUpdate = time;
    const double elapsed = time - progress.startTime;
    const double rate = elapsed > 0.0 ? candidatesDone / elapsed : 0.0;
    std::fprintf(stderr, "\r%-*.*s", LINE_WIDTH, LINE_WIDTH, "");
    if (progress.searching) {
        std::fprintf(stderr, "\rHeuristic search: %d candidate trees  %.1f/s", candidatesDone, rate);
        std::fflush(stderr);
        return;
    }
    char left[32] = "?";
    if (rate > 0.0)
        formatDuration((progress.total - candidatesDone) / rate, left, sizeof left);
    std::fprintf(stderr, "\rCandidate trees %d/%.0f  %.1f/s  %s left", candidatesDone, progress.total, rate,
                 left);
    std::fflush(stderr);
}

void endProgress() {
    if (!progress.enabled)
        return;
    std::fprintf(stderr, "\r%-*s\r", LINE_WIDTH, "");
    std::fflush(stderr);
    progress.enabled = false;
}

} // namespace vorbex
