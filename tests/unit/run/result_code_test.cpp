#include <gtest/gtest.h>

#include "run/run.h"

namespace vorbex {
namespace {

void exitQuietly(int code) {
    ASSERT_EQ(initialiseRun(), 0);
    exitWithResult(code);
}

// Runs exitWithResult in a child whose standard output goes to a file, and returns that output.
std::string resultReport(int code) {
    char path[] = "/tmp/vorbex_result_XXXXXX";
    const int fd = mkstemp(path);
    EXPECT_GE(fd, 0);
    close(fd);
    EXPECT_EXIT(
        {
            if (std::freopen(path, "w", stdout) == nullptr)
                std::abort();
            exitQuietly(code);
        },
        testing::ExitedWithCode(code & 0xff), "");
    FILE* file = std::fopen(path, "r");
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;)
        text += static_cast<char>(c);
    std::fclose(file);
    std::remove(path);
    return text;
}

TEST(ExitWithResult, WritesTheResultReportWordsInBitOrder) {
    EXPECT_EQ(resultReport(20), "RC=20 ( ERIO ERTREE )\n");
    EXPECT_EQ(resultReport(1), "RC=1 ( ERARG )\n");
    EXPECT_EQ(resultReport(127), "RC=127 ( ERARG ERMEM ERIO ERDATA ERTREE ERINT ERSYS )\n");
}

TEST(ExitWithResult, SuccessAndUsageWriteNoReport) {
    EXPECT_EQ(resultReport(0), "");
    EXPECT_EQ(resultReport(USAGE_SHOWN), "");
}

} // namespace
} // namespace vorbex
