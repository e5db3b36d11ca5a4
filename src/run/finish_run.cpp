// The one end of every run.
#include <cstdio>

#include "report/report.h"
#include "report/result_files.h"
#include "run/progress.h"
#include "run/run.h"

namespace vorbex {
namespace {

// A failure to write adds ERIO; after the usage text it replaces the 256.
int withWriteFailure(int code) {
    return (code == USAGE_SHOWN ? 0 : code) | ERIO;
}

void closeInput(FILE*& file) {
    if (file != nullptr)
        std::fclose(file);
    file = nullptr;
}

} // namespace

int finishRun(int code) {
    endProgress();
    if (code != 0 && code != USAGE_SHOWN) {
        discardResultFiles();
        writeResultReport(code);
    }
    // Output that was lost must never pass unnoticed: not as a success, nor
    // behind another error; nor may the result files then be put in place
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        code = withWriteFailure(code);
        discardResultFiles();
        reportOnly("ERROR: Cannot write standard output\n");
        writeResultReport(code);
    }
    if (reportFile != nullptr && (std::fflush(reportFile) != 0 || std::ferror(reportFile) != 0)) {
        std::fclose(reportFile);
        reportFile = nullptr;
        code = withWriteFailure(code);
        discardResultFiles();
        std::printf("ERROR: Cannot write output file \"%s\"", runSettings.outputFileName);
        writeResultReport(code);
    }
    if (code == 0) {
        code = commitResultFiles();
        if (code != 0)
            writeResultReport(code);
    }
    if (reportFile != nullptr && std::fclose(reportFile) != 0) {
        reportFile = nullptr;
        code = withWriteFailure(code);
        std::printf("ERROR: Cannot write output file \"%s\"", runSettings.outputFileName);
        writeResultReport(code);
    }
    reportFile = nullptr;
    closeInput(inputFile);
    closeInput(treeFile);
    std::fflush(stdout);
    return code;
}

} // namespace vorbex
