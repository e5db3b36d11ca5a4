#include "fuzz_support.h"

#include <cstdlib>

#include "run/run.h"

namespace vorbex::fuzz {

void prepareProcess() {
    static bool prepared = false;
    if (prepared)
        return;
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        std::abort();
    prepared = true;
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
    // finishRun closes the report: every input gets its own
    reportFile = std::fopen("/dev/null", "w");
    if (reportFile == nullptr)
        std::abort();
}

void closeStreams() {
    for (FILE** stream : {&inputFile, &treeFile, &reportFile}) {
        if (*stream != nullptr)
            std::fclose(*stream);
        *stream = nullptr;
    }
}

void require(bool condition, const char* what) {
    if (condition)
        return;
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
}

} // namespace vorbex::fuzz
