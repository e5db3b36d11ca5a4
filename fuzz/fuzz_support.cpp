#include "fuzz_support.h"

#include <cstdlib>
#include <unordered_set>
#include <vector>

#include "input/input.h"
#include "resolve/resolve.h"
#include "run/run.h"

namespace vorbex::fuzz {

namespace {
FILE* reportSink = nullptr;
} // namespace

void prepareProcess() {
    if (reportSink != nullptr)
        return;
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        std::abort();
    reportSink = std::fopen("/dev/null", "w");
    if (reportSink == nullptr)
        std::abort();
}

FILE* openBytes(const std::uint8_t* data, std::size_t size) {
    // A stream over no bytes: fmemopen refuses a size of 0
    if (size == 0)
        return std::fopen("/dev/null", "r");
    return fmemopen(const_cast<std::uint8_t*>(data), size, "r");
}

void startRun() {
    if (initialiseRun() != 0)
        std::abort();
    reportFile = reportSink;
}

void releaseRun() {
    releaseTree();
    releaseResolution();
    std::free(treeTextBuffer);
    treeTextBuffer = nullptr;
    for (FILE** stream : {&inputFile, &treeFile}) {
        if (*stream != nullptr)
            std::fclose(*stream);
        *stream = nullptr;
    }
    reportFile = nullptr;
}

void require(bool condition, const char* what) {
    if (condition)
        return;
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
}

} // namespace vorbex::fuzz
