#include <gtest/gtest.h>

#include "align/align.h"
#include "report/report.h"
#include "support/files.h"
#include "support/nodes.h"

namespace vorbex {
namespace {

using test_support::releaseLeaves;
using test_support::ReportCapture;
using test_support::setUpLeaves;

class WriteAlignedSequences : public ::testing::Test {
  protected:
    void TearDown() override { releaseLeaves(); }
};

TEST_F(WriteAlignedSequences, WritesTheAlignedSequencesFromTheTrimPositionUnderBit8) {
    setUpLeaves({"a-cg", "-acg"});
    runSettings.leftTrim = 1;
    runSettings.outputMask = OUT_ALIGN;
    ReportCapture report;
    insertGapSymbols();
    writeAlignedSequences(trimPosition);
    EXPECT_EQ(report.text(), ">s1\n-cg\n>s2\nacg\n");
}

TEST_F(WriteAlignedSequences, WritesNothingWithoutBit8) {
    setUpLeaves({"a-cg", "-acg"});
    runSettings.outputMask = 63 & ~OUT_ALIGN;
    ReportCapture report;
    insertGapSymbols();
    writeAlignedSequences(trimPosition);
    EXPECT_EQ(report.text(), "");
}

class WriteCandidateSummary : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(initialiseRun(), 0); }
    void write(int number, bool polytomic) {
        writeCandidateSummary(number, polytomic, 12, 7, 3, 7.3 + 1.2, 0.0);
    }
};

TEST_F(WriteCandidateSummary, WritesTheLineWhenTheTreeHasPolytomies) {
    ReportCapture report;
    write(2, true);
    EXPECT_EQ(report.text(), "#2: MA_length=12 Conserv0=7 Conserv1=3 ConsIndex=8.50\n\n");
}

TEST_F(WriteCandidateSummary, WritesTheLineForABinaryTreeOnlyUnderBit16) {
    ReportCapture report;
    write(1, false);
    EXPECT_EQ(report.text(), "");
    runSettings.outputMask = OUT_VERBOSE;
    write(1, false);
    EXPECT_EQ(report.text(), "#1: MA_length=12 Conserv0=7 Conserv1=3 ConsIndex=8.50\n\n");
}

} // namespace
} // namespace vorbex
