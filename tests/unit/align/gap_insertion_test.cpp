#include <gtest/gtest.h>

#include "align/align.h"
#include "support/nodes.h"
#include "support/run_invariants.h"

namespace vorbex {
namespace {

using test_support::alignmentFault;
using test_support::releaseLeaves;
using test_support::setUpLeaves;

class InsertGapSymbols : public testing::Test {
  protected:
    void TearDown() override {
        releaseLeaves();
        trimPosition = 0;
    }
};

TEST_F(InsertGapSymbols, WritesTheGapSymbolAtEveryGapColumnOfEveryLeaf) {
    const std::vector<std::string> aligned = {"a-cg-t", "-acgt-", "--c---", "acgtac"};
    setUpLeaves(aligned);
    insertGapSymbols();
    for (int i = 0; i < leafCount; ++i)
        EXPECT_STREQ(nodeTable[i]->workText, aligned[i].c_str()) << "leaf " << i;
}

TEST_F(InsertGapSymbols, UsesTheChosenGapSymbol) {
    setUpLeaves({"a--c", "acgc"});
    runSettings.gapSymbol = '*';
    insertGapSymbols();
    EXPECT_STREQ(nodeTable[0]->workText, "a**c");
    EXPECT_STREQ(nodeTable[1]->workText, "acgc");
}

TEST_F(InsertGapSymbols, TrimPositionIsWhereTheLastLeafBeginsAndAppliesOnlyWithLeftTrim) {
    setUpLeaves({"a-cg", "-acg", "--gg"});
    EXPECT_EQ(insertGapSymbols(), 2);
    EXPECT_EQ(trimPosition, 0);

    releaseLeaves();
    setUpLeaves({"a-cg", "-acg", "--gg"});
    runSettings.leftTrim = 1;
    EXPECT_EQ(insertGapSymbols(), 2);
    EXPECT_EQ(trimPosition, 2);
}

TEST_F(InsertGapSymbols, LeafWithoutAnyBaseTakesNoPartInTheTrim) {
    setUpLeaves({"---", "-ac", "a-c"});
    runSettings.leftTrim = 1;
    EXPECT_EQ(insertGapSymbols(), 1);
    EXPECT_EQ(trimPosition, 1);
    EXPECT_STREQ(nodeTable[0]->workText, "---");
}

TEST_F(InsertGapSymbols, OverwritesNoStaleTextOfAnEarlierCandidate) {
    setUpLeaves({"-a-c"});
    // An earlier, longer alignment left characters after the terminator
    std::memcpy(nodeTable[0]->workText, "ac\0xxxxxx", 9);
    insertGapSymbols();
    EXPECT_STREQ(nodeTable[0]->workText, "-a-c");
}

TEST_F(InsertGapSymbols, LongestAlignmentFillsTheTextBufferExactly) {
    std::string aligned(MAXSEQLEN, '-');
    aligned[MAXSEQLEN - 1] = 'g';
    setUpLeaves({aligned});
    runSettings.leftTrim = 1;
    EXPECT_EQ(insertGapSymbols(), MAXSEQLEN - 1);
    EXPECT_EQ(std::string(nodeTable[0]->workText), aligned);
    EXPECT_EQ(nodeTable[0]->workText[MAXSEQLEN], '\0');
}

TEST_F(InsertGapSymbols, ProfileWithMoreGapsThanTheBufferHoldsStopsAtItsEnd) {
    // Inconsistent input: a full text and a full run of gap columns
    setUpLeaves({std::string(MAXSEQLEN, 'a')});
    TreeNode* leaf = nodeTable[0];
    for (int i = 0; i < MAXSEQLEN; ++i)
        leaf->workProfile[i] = ProfileColumn{{0, 0, 0, 0}};
    insertGapSymbols();
    EXPECT_EQ(leaf->workText[MAXSEQLEN], '\0');
}

TEST_F(InsertGapSymbols, RowsPassTheRunChecksWhichFindEveryKindOfBrokenRow) {
    void (*const breaks[])(AlignmentScore&) = {
        nullptr,
        [](AlignmentScore& score) { ++score.MA_length; },
        [](AlignmentScore&) { trimPosition = 1; },
        [](AlignmentScore&) { nodeTable[1]->workText[0] = '-'; },
        [](AlignmentScore&) { nodeTable[2]->workText[3] = 'a'; },
        [](AlignmentScore&) { nodeTable[0]->workText[3] = '\0'; },
    };
    for (auto breakRows : breaks) {
        releaseLeaves();
        setUpLeaves({"a-cg", "-acg", "--gt"});
        rootNode = nodeTable[0];
        runSettings.leftTrim = 1;
        runSettings.gapSymbol = 'A'; // a letter: only the profile tells the gaps
        insertGapSymbols();
        AlignmentScore score = scoreAlignment();
        if (breakRows == nullptr) {
            EXPECT_EQ(alignmentFault(score), nullptr) << alignmentFault(score);
            continue;
        }
        breakRows(score);
        EXPECT_NE(alignmentFault(score), nullptr);
    }
}

} // namespace
} // namespace vorbex
