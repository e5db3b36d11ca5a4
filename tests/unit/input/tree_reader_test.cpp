#include <string>

#include <gtest/gtest.h>

#include "support/trees.h"

namespace vorbex {
namespace {

using TreeReader = test_support::InputTest;

struct ReadOutcome {
    int code;
    std::string out;
};

ReadOutcome readCaptured() {
    testing::internal::CaptureStdout();
    const int code = readTree();
    return {code, testing::internal::GetCapturedStdout()};
}

std::string repeated(const std::string& piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

// A star tree: the root with `children` leaves L0, L1, ... (or another letter)
std::string starTree(int children, const std::string& letter = "L") {
    std::string text = "(";
    for (int i = 0; i < children; ++i)
        text += (i > 0 ? "," : "") + letter + std::to_string(i);
    return text + ");";
}

TEST_F(TreeReader, TwoLeavesMakeThreeNodesWithGeneratedRootName) {
    setTree("(A,B);");
    const ReadOutcome result = readCaptured();
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(result.out, "Source tree read (overall 3 nodes, 2 leaves)\n");
    EXPECT_EQ(nodeCount, 3);
    EXPECT_EQ(leafCount, 2);
    ASSERT_NE(rootNode, nullptr);
    EXPECT_STREQ(rootNode->name, "NODE000");
    EXPECT_EQ(rootNode->parent, nullptr);
    EXPECT_EQ(maxNameLength, 6);
    // Nothing goes to the report without the verbose bit
    EXPECT_EQ(report.text(), "");
}

TEST_F(TreeReader, SerialsFollowTheTextAndTheTableIsSortedLeavesFirst) {
    setTree("((A,B),C);");
    ASSERT_EQ(readCaptured().code, 0);
    const char* expectedNames[] = {"C", "B", "A", "NODE001", "NODE000"};
    const int expectedSerials[] = {4, 3, 2, 1, 0};
    for (int i = 0; i < 5; ++i) {
        EXPECT_STREQ(nodeTable[i]->name, expectedNames[i]) << "entry " << i;
        EXPECT_EQ(nodeTable[i]->serial, expectedSerials[i]) << "entry " << i;
    }
    EXPECT_EQ(rootNode, nodeTable[4]);
    EXPECT_EQ(nodeTable[3]->parent, rootNode);
    EXPECT_EQ(nodeTable[2]->parent, nodeTable[3]);
}

TEST_F(TreeReader, LabelsNameInnerNodesAndLongestNameSetsTheWidth) {
    setTree("((A,B)Xylophone,C);");
    ASSERT_EQ(readCaptured().code, 0);
    EXPECT_STREQ(rootNode->children[0]->name, "Xylophone");
    EXPECT_STREQ(rootNode->name, "NODE000");
    EXPECT_EQ(maxNameLength, 9);
}

TEST_F(TreeReader, ShortNamesWithoutGeneratedOnesKeepTheStartWidth) {
    // Every inner node labelled: no name is generated
    setTree("(A,B)R;");
    ASSERT_EQ(readCaptured().code, 0);
    EXPECT_EQ(maxNameLength, 3);
}

TEST_F(TreeReader, LineBreaksTabsAndBlanksFollowTheBlankRule) {
    setTree("  ( Ho\nmo   sa\tpiens , x -y ,\r\nB2 C3 ) ;");
    ASSERT_EQ(readCaptured().code, 0);
    ASSERT_EQ(rootNode->childCount, 3);
    EXPECT_STREQ(rootNode->children[0]->name, "Homo sapiens");
    EXPECT_STREQ(rootNode->children[1]->name, "x-y");
    EXPECT_STREQ(rootNode->children[2]->name, "B2 C3");
}

TEST_F(TreeReader, ErrorsGiveTheirMessageAndPositionOnBothOutputs) {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"(A:0.1,B:0.2);", "Tree format error at pos 2\n"},
        {"((A,B):0.5,C);", "Tree format error at pos 6 after ':'\n"},
        {"(A,,B);", "Missing name at pos 3\n"},
        {"(A,B)", "Tree format error at pos 5 after ':'\n"},
        {"(:A);", "Missing name at pos 1\n"},
        {"(A;", "Tree format error at pos 2\n"},
        {"(A(B));", "Tree format error at pos 2\n"},
        {"(A", "Tree format error at pos 2\n"},
        {"((A)(B));", "Tree format error at pos 4 after ':'\n"},
        // Nothing may follow the closed root but its semicolon
        {"(A,B),C);", "Tree format error at pos 5\n"},
        {"(A,B)R);", "Tree format error at pos 6\n"},
        // An empty group: an item was expected at its ")"
        {"(A,());", "Missing name at pos 4\n"},
        {"();", "Missing name at pos 1\n"},
    };
    for (const Case& c : cases) {
        releaseTree();
        test_support::ReportCapture caseReport;
        setTree(c.text);
        const ReadOutcome result = readCaptured();
        EXPECT_EQ(result.code, ERTREE) << c.text;
        EXPECT_EQ(result.out, c.message) << c.text;
        EXPECT_EQ(caseReport.text(), c.message) << c.text;
    }
}

TEST_F(TreeReader, SemicolonWhereAnItemIsExpectedEndsTheTree) {
    setTree("(A,;)");
    ASSERT_EQ(readCaptured().code, 0);
    EXPECT_EQ(nodeCount, 2);
    EXPECT_EQ(rootNode->childCount, 1);
    EXPECT_STREQ(rootNode->name, "");
}

TEST_F(TreeReader, TextBeforeTheTreeAndBehindItsSemicolonIsIgnored) {
    setTree("tree one = (A,B); and (C,D);");
    ASSERT_EQ(readCaptured().code, 0);
    EXPECT_EQ(nodeCount, 3);
}

TEST_F(TreeReader, TextWithoutParenthesisGivesNoNodesAndASemicolonEcho) {
    runSettings.outputMask = OUT_VERBOSE;
    setTree("A,B;");
    const ReadOutcome result = readCaptured();
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(result.out, "Source tree read (overall 0 nodes, 0 leaves)\n");
    EXPECT_EQ(rootNode, nullptr);
    EXPECT_EQ(report.text(), "\nSource tree read (overall 0 nodes, 0 leaves):\n;\n");
}

TEST_F(TreeReader, VerboseEchoWritesTheParsedTreeWithItsNames) {
    runSettings.outputMask = OUT_VERBOSE | OUT_TREES;
    setTree("( (A , B) X,\n C);");
    ASSERT_EQ(readCaptured().code, 0);
    EXPECT_EQ(report.text(), "\nSource tree read (overall 5 nodes, 3 leaves):\n((A,B)X,C)NODE000;\n");
}

TEST_F(TreeReader, ThirtyOneChildrenAreTakenAndTheThirtySecondIsRefused) {
    setTree(starTree(31));
    EXPECT_EQ(readCaptured().code, 0);
    EXPECT_EQ(rootNode->childCount, 31);
    releaseTree();

    const std::string text = starTree(32);
    setTree(text);
    const ReadOutcome result = readCaptured();
    EXPECT_EQ(result.code, ERTREE);
    const int position = static_cast<int>(text.find("L31"));
    EXPECT_EQ(result.out, "Maximum order exceeded at pos " + std::to_string(position) + "\n");
}

TEST_F(TreeReader, ThirtySecondChildOpeningAGroupIsRefusedAtItsParenthesis) {
    std::string text = starTree(31);
    text.insert(text.size() - 2, ",(X,Y)");
    setTree(text);
    const ReadOutcome result = readCaptured();
    EXPECT_EQ(result.code, ERTREE);
    const int position = static_cast<int>(text.find("(X"));
    EXPECT_EQ(result.out, "Maximum order exceeded at pos " + std::to_string(position) + "\n");
}

TEST_F(TreeReader, TheHeuristicSearchTakesAnyNumberOfChildrenInTheirOrder) {
    // 70 children pass the slots and the first room of many; one of them is itself a polytomy of 40
    longOptions.search = Search::HEURISTIC;
    std::string nested40 = starTree(40, "M");
    nested40.pop_back();
    std::string text = starTree(70);
    text.insert(text.size() - 2, "," + nested40);
    setTree(text);
    ASSERT_EQ(readCaptured().code, 0);
    ASSERT_EQ(rootNode->childCount, 71);
    for (int i = 0; i < 70; ++i)
        EXPECT_EQ(std::string(childrenOf(rootNode)[i]->name), "L" + std::to_string(i));
    const TreeNode* nested = childrenOf(rootNode)[70];
    ASSERT_EQ(nested->childCount, 40);
    EXPECT_EQ(std::string(childrenOf(nested)[39]->name), "M39");
    EXPECT_EQ(childrenOf(nested)[39]->parent, nested);
    EXPECT_EQ(leafCount, 110);
}

TEST_F(TreeReader, NamesAndLabelsOf254AreTakenAnd255Refused) {
    const std::string name254(254, 'n');
    setTree("(" + name254 + ",B)" + name254 + ";");
    ASSERT_EQ(readCaptured().code, 0);
    EXPECT_EQ(std::string(rootNode->name), name254);
    EXPECT_EQ(maxNameLength, 254);
    releaseTree();

    setTree("(A," + name254 + "x);");
    ReadOutcome result = readCaptured();
    EXPECT_EQ(result.code, ERTREE);
    EXPECT_EQ(result.out, "Name too long at pos 3\n");
    releaseTree();

    setTree("((A,B)" + name254 + "x,C);");
    result = readCaptured();
    EXPECT_EQ(result.code, ERTREE);
    EXPECT_EQ(result.out, "Name too long at pos 6\n");
}

TEST_F(TreeReader, TextOf249999KeptCharactersIsTakenAndOneMoreRefused) {
    // Line breaks are dropped before counting
    const std::string tree = "(A,B);\n\t";
    setTree(tree + std::string(249999 - 6, 'x'));
    ASSERT_EQ(readCaptured().code, 0);
    EXPECT_EQ(nodeCount, 3);
    releaseTree();

    setTree(tree + std::string(250000 - 6, 'x'));
    const ReadOutcome result = readCaptured();
    EXPECT_EQ(result.code, ERTREE);
    EXPECT_EQ(result.out, "Maximum tree length exceeded\n");
    EXPECT_EQ(report.text(), "Maximum tree length exceeded\n");
    EXPECT_EQ(rootNode, nullptr);
}

TEST_F(TreeReader, PolytomiesAreReportedInPreOrderAndEchoedOnlyWhenVerbose) {
    setTree("((A,B,C)X,(D,(E,F,G,H),I,J),K);");
    const ReadOutcome quiet = readCaptured();
    EXPECT_EQ(quiet.out, "Source tree read (overall 15 nodes, 11 leaves)\n"
                         "Polytomic(03) node \"NODE000\" found in source tree\n"
                         "Polytomic(03) node \"X\" found in source tree\n"
                         "Polytomic(04) node \"NODE005\" found in source tree\n"
                         "Polytomic(04) node \"NODE007\" found in source tree\n");
    EXPECT_EQ(report.text(), "");
    releaseTree();

    runSettings.outputMask = OUT_VERBOSE;
    setTree("(A,B,C);");
    const ReadOutcome verbose = readCaptured();
    EXPECT_EQ(verbose.out, "Source tree read (overall 4 nodes, 3 leaves)\n"
                           "Polytomic(03) node \"NODE000\" found in source tree\n");
    EXPECT_EQ(report.text(), "\nSource tree read (overall 4 nodes, 3 leaves):\n(A,B,C)NODE000;\n"
                             "Polytomic(03) node \"NODE000\" found in source tree\n");
}

TEST_F(TreeReader, DuplicateLeafNamesAreBothTaken) {
    setTree("(A,(A,B));");
    ASSERT_EQ(readCaptured().code, 0);
    EXPECT_EQ(leafCount, 3);
}

TEST_F(TreeReader, CaterpillarFillingTheWholeTableIsReadEchoedAndWalked) {
    // 2047 inner nodes and 2048 leaves, 2046 levels deep: every slot of the table
    runSettings.outputMask = OUT_VERBOSE;
    std::string text = repeated("(", 2047) + "L0";
    for (int i = 1; i < 2048; ++i)
        text += ",L" + std::to_string(i) + ")";
    setTree(text + ";");
    const ReadOutcome result = readCaptured();
    ASSERT_EQ(result.code, 0);
    EXPECT_EQ(nodeCount, DEFAULT_MAX_NODES);
    EXPECT_EQ(leafCount, 2048);
    EXPECT_EQ(nodeTable[DEFAULT_MAX_NODES - 1], rootNode);
    const std::string echoed = report.text();
    EXPECT_NE(echoed.find("(L0,L1)NODE2046,L2)NODE2045"), std::string::npos);
    EXPECT_NE(echoed.find(",L2047)NODE000;\n"), std::string::npos);
}

TEST_F(TreeReader, EchoLongerThanTheTextLimitIsWrittenWhole) {
    // 247806 characters read; the generated names make the echo 263181
    runSettings.outputMask = OUT_VERBOSE;
    auto leafName = [](int i) {
        std::string name = "L" + std::to_string(i);
        return name + std::string(118 - name.size(), 'z');
    };
    std::string text = repeated("(", 2047) + leafName(0);
    for (int i = 1; i < 2048; ++i)
        text += "," + leafName(i) + ")";
    text += ";";
    ASSERT_LT(text.size(), 250000u);
    setTree(text);
    ASSERT_EQ(readCaptured().code, 0);
    const std::string echoed = report.text();
    const std::string header = "\nSource tree read (overall 4095 nodes, 2048 leaves):\n";
    ASSERT_EQ(echoed.substr(0, header.size()), header);
    const std::string echo = echoed.substr(header.size());
    EXPECT_EQ(echo.size(), 263181u + 2);
    EXPECT_EQ(echo.substr(echo.size() - 10), ")NODE000;\n");
}

TEST_F(TreeReader, TreeBeyondTheTableIsRefusedWithoutWritingPastIt) {
    // A chain of single children: 4095 inner nodes and a leaf
    setTree(repeated("(", 4095) + "A" + repeated(")", 4095) + ";");
    const ReadOutcome result = readCaptured();
    EXPECT_EQ(result.code, ERTREE);
    EXPECT_EQ(result.out, "Maximum number of tree nodes exceeded (4095)\n");
    EXPECT_EQ(nodeCount, DEFAULT_MAX_NODES);
}

TEST_F(TreeReader, ReadErrorIsAnIoFaultWithoutMessage) {
    // A stream open for writing only cannot be read
    treeFile = std::fopen("/dev/null", "w");
    ASSERT_NE(treeFile, nullptr);
    const ReadOutcome result = readCaptured();
    EXPECT_EQ(result.code, ERIO);
    EXPECT_EQ(result.out, "");
}

} // namespace
} // namespace vorbex
