#include <cstdarg>
#include <cstdlib>

#include "run/parallel_candidates.h"
#include "run/progress.h"
#include "run/run.h"

namespace vorbex {

FILE* inputFile = nullptr;
FILE* treeFile = nullptr;
FILE* reportFile = nullptr;

namespace {

// Words of the result report, in ascending order of their bits.
constexpr const char* RESULT_WORDS[] = {" ERARG",  " ERMEM", " ERIO", " ERDATA",
                                        " ERTREE", " ERINT", " ERSYS"};

void writeResultReport(int code) {
    reportBoth("RC=%d (", code);
    for (int bit = 0; bit < 7; ++bit)
        if (code & (1 << bit))
            reportBoth("%s", RESULT_WORDS[bit]);
    reportBoth(" )\n");
}

} // namespace

void reportBoth(const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    if (reportFile != nullptr) {
        std::va_list copy;
        va_copy(copy, arguments);
        std::vfprintf(reportFile, format, copy);
        va_end(copy);
        std::fflush(reportFile);
    }
    std::vprintf(format, arguments);
    va_end(arguments);
}

void reportOnly(const char* format, ...) {
    if (reportFile == nullptr)
        return;
    std::va_list arguments;
    va_start(arguments, format);
    std::vfprintf(reportFile, format, arguments);
    va_end(arguments);
}

void exitWithResult(int code) {
    if (workerExitHandOver != nullptr)
        workerExitHandOver(code); // a worker's parent ends the run
    endProgress();                // an overflow can end the run while the line stands
    if (code != 0 && code != USAGE_SHOWN)
        writeResultReport(code);
    if (reportFile != nullptr) {
        // A report that could not be written whole must never pass unnoticed:
        // not as a success, nor behind another error
        const bool failed = std::ferror(reportFile) != 0;
        const bool closeFailed = std::fclose(reportFile) != 0;
        reportFile = nullptr;
        if (failed || closeFailed) {
            std::printf("ERROR: Cannot write output file \"%s\"", runSettings.outputFileName);
            code = (code == USAGE_SHOWN ? 0 : code) | ERIO;
            writeResultReport(code);
        }
    }
    std::fflush(stdout);
    std::exit(code);
}

} // namespace vorbex
