#include <gtest/gtest.h>

#include "run/run.h"

namespace vorbex {
namespace {

void exitQuietly(int code, const char* reportName) {
    ASSERT_EQ(initialiseRun(), 0);
    if (reportName != nullptr) {
        std::snprintf(runSettings.outputFileName, NAME_SIZE, "%s", reportName);
        reportFile = std::fopen(reportName, "w");
        ASSERT_NE(reportFile, nullptr);
        reportOnly("a report line\n");
    }
    std::exit(finishRun(code));
}

// Runs finishRun in a child whose standard output goes to a file, and
// returns that output; with `reportName`, a report of that name is open and
// has a line written to it. `status` is the exit status expected.
std::string resultReport(int code, const char* reportName = nullptr, int status = -1) {
    char path[] = "/tmp/vorbex_result_XXXXXX";
    const int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    close(fd);
    EXPECT_EXIT(
        {
            if (std::freopen(path, "w", stdout) == nullptr)
                std::abort();
            exitQuietly(code, reportName);
        },
        testing::ExitedWithCode(status >= 0 ? status : code & 0xff), "");
    FILE* file = std::fopen(path, "r");
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;)
        text += static_cast<char>(c);
    std::fclose(file);
    std::remove(path);
    return text;
}

TEST(FinishRun, WritesTheResultReportWordsInBitOrder) {
    EXPECT_EQ(resultReport(20), "RC=20 ( ERIO ERTREE )\n");
    EXPECT_EQ(resultReport(1), "RC=1 ( ERARG )\n");
    EXPECT_EQ(resultReport(127), "RC=127 ( ERARG ERMEM ERIO ERDATA ERTREE ERINT ERSYS )\n");
}

TEST(FinishRun, SuccessAndUsageWriteNoReport) {
    EXPECT_EQ(resultReport(0), "");
    EXPECT_EQ(resultReport(USAGE_SHOWN), "");
}

// A full disk: the report loses its lines, which the status must tell
TEST(FinishRun, ReportThatCannotBeWrittenAddsErio) {
    EXPECT_EQ(resultReport(0, "/dev/full", ERIO),
              "ERROR: Cannot write output file \"/dev/full\"RC=4 ( ERIO )\n");
    EXPECT_EQ(resultReport(ERDATA, "/dev/full", ERDATA | ERIO),
              "RC=8 ( ERDATA )\nERROR: Cannot write output file \"/dev/full\"RC=12 ( ERIO ERDATA )\n");
    EXPECT_EQ(resultReport(ERIO | ERTREE, "/dev/full", ERIO | ERTREE),
              "RC=20 ( ERIO ERTREE )\nERROR: Cannot write output file \"/dev/full\"RC=20 ( ERIO ERTREE )\n");
}

TEST(FinishRun, ReportWrittenWholeKeepsTheResult) {
    char path[] = "/tmp/vorbex_report_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    EXPECT_EQ(resultReport(0, path), "");
    EXPECT_EQ(resultReport(ERDATA, path), "RC=8 ( ERDATA )\n");
    std::remove(path);
}

// Lost standard output is a failure too, told in the report
TEST(FinishRun, StandardOutputThatCannotBeWrittenAddsErio) {
    char path[] = "/tmp/vorbex_report_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    for (const int code : {0, ERDATA, USAGE_SHOWN}) {
        EXPECT_EXIT(
            {
                if (std::freopen("/dev/full", "w", stdout) == nullptr)
                    std::abort();
                std::printf("a banner\n");
                exitQuietly(code, path);
            },
            testing::ExitedWithCode((code == USAGE_SHOWN ? 0 : code) | ERIO), "");
        FILE* file = std::fopen(path, "r");
        std::string report;
        for (int c; (c = std::fgetc(file)) != EOF;)
            report += static_cast<char>(c);
        std::fclose(file);
        const std::string lost = "ERROR: Cannot write standard output\n";
        EXPECT_EQ(report, code == ERDATA
                              ? "a report line\nRC=8 ( ERDATA )\n" + lost + "RC=12 ( ERIO ERDATA )\n"
                              : "a report line\n" + lost + "RC=4 ( ERIO )\n");
    }
    std::remove(path);
}

} // namespace
} // namespace vorbex
