#include <string>

#include <gtest/gtest.h>

#include "support/trees.h"

namespace vorbex {
namespace {

class SequenceReader : public test_support::InputTest {
  protected:
    // Reads `sequences` against the tree ((Alpha,Beta)Gamma,Delta);
    void readAgainstTree(const std::string& sequences,
                         const std::string& tree = "((Alpha,Beta)Gamma,Delta);") {
        ASSERT_EQ(test_support::readTestTree(tree, false), 0);
        setSequences(sequences);
        testing::internal::CaptureStdout();
        code = readSequences();
        out = testing::internal::GetCapturedStdout();
    }

    int code = -1;
    std::string out;
};

TEST_F(SequenceReader, RecordsAreStoredInLowerCaseWithTheirProfiles) {
    readAgainstTree(">Alpha\nACgT\nn-R_=\n>delta|some description\r\nu\r\n");
    EXPECT_EQ(code, 0);
    EXPECT_EQ(out, "");
    const TreeNode* alpha = nodeNamed("Alpha");
    ASSERT_NE(alpha->workText, nullptr);
    EXPECT_STREQ(alpha->workText, "acgtnr");
    EXPECT_STREQ(alpha->sourceText, "acgtnr");
    EXPECT_EQ(alpha->workLength, 6);
    EXPECT_EQ(alpha->savedLength, 6);
    EXPECT_EQ(alpha->workProfile[2].weight[BASE_G], 1.0);
    EXPECT_EQ(alpha->savedProfile[5].weight[BASE_A], 0.5);
    // Memory follows the data: room for two and a half times the record
    EXPECT_EQ(alpha->columnRoom, 15);
    EXPECT_EQ(alpha->textRoom, 16);
    EXPECT_STREQ(nodeNamed("Delta")->sourceText, "u");
    EXPECT_EQ(columnCapacity, 6);
    // A node no record names keeps nothing
    const TreeNode* beta = nodeNamed("Beta");
    EXPECT_EQ(beta->workText, nullptr);
    EXPECT_EQ(beta->workProfile, nullptr);
    EXPECT_EQ(beta->savedLength, 0);
}

TEST_F(SequenceReader, CommentLinesAreSkippedButCountedInLineNumbers) {
    readAgainstTree("; comment\n# another\n>Beta\n acgt-but-a-comment\n(x\n\nac x\n");
    EXPECT_EQ(code, ERDATA);
    EXPECT_EQ(out, "Invalid character ' ' in line 7(3)\nInvalid character 'x' in line 7(4)\n");
    EXPECT_STREQ(nodeNamed("Beta")->workText, "ac x");
    EXPECT_TRUE(isGapColumn(nodeNamed("Beta")->workProfile[2]));
    EXPECT_EQ(report.text(), out);
}

TEST_F(SequenceReader, HeaderNamesAreCutMatchedWithoutCaseAndKeepLeadingBlanks) {
    readAgainstTree(">BETA \t|x\nac\n>gamma|label\ngg\n> Delta\ntt\n");
    EXPECT_EQ(code, ERDATA);
    EXPECT_EQ(out, "Unknown name \" Delta\" in line 5\n");
    EXPECT_STREQ(nodeNamed("Beta")->workText, "ac");
    // Inner labels can be named
    EXPECT_STREQ(nodeNamed("Gamma")->workText, "gg");
    EXPECT_EQ(nodeNamed("Delta")->workText, nullptr);
}

TEST_F(SequenceReader, LinesBeforeTheFirstHeaderHaveNoName) {
    readAgainstTree("acgt\n>Alpha\nac\n");
    EXPECT_EQ(code, ERDATA);
    EXPECT_EQ(out, "No name for line 1\n");
}

TEST_F(SequenceReader, EmptyRecordsAreReportedAndTheNextHeaderIsStillRead) {
    readAgainstTree(">Alpha\n-_=\n>Beta\nacx\n>Delta\n");
    EXPECT_EQ(code, ERDATA);
    EXPECT_EQ(out, "No sequence for \"Alpha\" in line 3\n"
                   "Invalid character 'x' in line 4(3)\n"
                   "No sequence for \"Delta\" in line 6\n");
    EXPECT_EQ(nodeNamed("Alpha")->workText, nullptr);
    EXPECT_STREQ(nodeNamed("Beta")->workText, "acx");
}

TEST_F(SequenceReader, LinesOfAnUnknownNameArePassedOverSilently) {
    readAgainstTree(">Omega\nxxx\n;c\nqq\n>Alpha\nac\n");
    EXPECT_EQ(code, ERDATA);
    EXPECT_EQ(out, "Unknown name \"Omega\" in line 1\n");
    EXPECT_STREQ(nodeNamed("Alpha")->workText, "ac");
}

TEST_F(SequenceReader, SecondRecordForANodeIsRefusedAndTheFirstKept) {
    readAgainstTree(">Alpha\nacgt\n>Beta\ng\n>alpha\ncccccccc\nxx\n>Delta\nt\n");
    EXPECT_EQ(code, ERDATA);
    EXPECT_EQ(out, "Second sequence for \"Alpha\" in line 5\n");
    const TreeNode* alpha = nodeNamed("Alpha");
    EXPECT_STREQ(alpha->workText, "acgt");
    EXPECT_EQ(alpha->savedLength, 4);
    EXPECT_STREQ(nodeNamed("Beta")->workText, "g");
    EXPECT_STREQ(nodeNamed("Delta")->workText, "t");
    EXPECT_EQ(columnCapacity, 4);
}

TEST_F(SequenceReader, RecordOf2047IsTakenAndLongerOnesAreCutAndReportedOnce) {
    const std::string full(2047, 'a');
    readAgainstTree(">Alpha\n" + full + "\n>Beta\n" + std::string(2000, 'c') + "\n" + std::string(100, 'g') +
                    "\n" + std::string(100, 't') + "\nz\n>Delta\nac\n");
    EXPECT_EQ(code, ERDATA);
    EXPECT_EQ(out, "String too long in line 5\nInvalid character 'z' in line 7(1)\n");
    EXPECT_EQ(std::string(nodeNamed("Alpha")->workText), full);
    const TreeNode* beta = nodeNamed("Beta");
    EXPECT_EQ(beta->savedLength, MAXSEQLEN);
    EXPECT_EQ(std::string(beta->workText), std::string(2000, 'c') + std::string(47, 'g'));
    EXPECT_STREQ(nodeNamed("Delta")->workText, "ac");
    EXPECT_EQ(columnCapacity, MAXSEQLEN);
}

TEST_F(SequenceReader, LongSequenceLinesAreReadInPiecesCountedAsLines) {
    // 2000 gap characters and 81 letters: the second piece starts at character 2049
    const std::string letters = std::string(80, 'c') + "x";
    readAgainstTree(">Alpha\n" + std::string(2000, '-') + letters + "\n>Beta\na\n");
    EXPECT_EQ(code, ERDATA);
    EXPECT_EQ(out, "Invalid character 'x' in line 3(33)\n");
    EXPECT_EQ(std::string(nodeNamed("Alpha")->workText), letters);
    EXPECT_STREQ(nodeNamed("Beta")->workText, "a");
}

TEST_F(SequenceReader, PieceOfACutSequenceLineIsNeverAHeaderOrComment) {
    readAgainstTree(">Alpha\n" + std::string(2048, '-') + ">Bat\n" + std::string(2048, '=') + ";a\n");
    EXPECT_EQ(code, ERDATA);
    EXPECT_EQ(out, "Invalid character '>' in line 3(1)\nInvalid character ';' in line 5(1)\n");
    EXPECT_STREQ(nodeNamed("Alpha")->workText, ">bat;a");
    EXPECT_EQ(nodeNamed("Beta")->workText, nullptr);
}

TEST_F(SequenceReader, LongHeaderAndCommentLinesAreReadWholeAsOneLine) {
    readAgainstTree(";" + std::string(5000, 'c') + "\n>Beta|" + std::string(5000, 'a') + "\nacg\n>" +
                    std::string(3000, 'n') + "\nxx\n>Alpha\nq\n");
    EXPECT_EQ(code, ERDATA);
    EXPECT_EQ(out, "Unknown name \"" + std::string(255, 'n') + "\" in line 4\n" +
                       "Invalid character 'q' in line 7(1)\n");
    EXPECT_STREQ(nodeNamed("Beta")->workText, "acg");
}

TEST_F(SequenceReader, LaterOfTwoEqualLeafNamesTakesTheRecord) {
    readAgainstTree(">a\nacgt\n", "(A,(B,A)A);");
    EXPECT_EQ(code, 0);
    // The leaf written last stands first in the table
    EXPECT_EQ(nodeTable[0]->serial, 4);
    EXPECT_STREQ(nodeTable[0]->workText, "acgt");
    EXPECT_EQ(nodeTable[2]->workText, nullptr);
    EXPECT_EQ(rootNode->children[1]->workText, nullptr);
}

TEST_F(SequenceReader, FileOfCommentsOnlyIsCleanAndAttachesNothing) {
    readAgainstTree("; nothing\n# here\n");
    EXPECT_EQ(code, 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(columnCapacity, 0);
    for (int i = 0; i < nodeCount; ++i)
        EXPECT_EQ(nodeTable[i]->workText, nullptr);
}

TEST_F(SequenceReader, ReadErrorIsAnIoFault) {
    ASSERT_EQ(test_support::readTestTree("(A,B);", false), 0);
    inputFile = std::fopen("/dev/null", "w");
    ASSERT_NE(inputFile, nullptr);
    testing::internal::CaptureStdout();
    EXPECT_EQ(readSequences(), ERIO);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

} // namespace
} // namespace vorbex
