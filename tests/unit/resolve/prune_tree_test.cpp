#include <gtest/gtest.h>

#include <string>

#include "resolve/resolve.h"
#include "run/run.h"
#include "support/trees.h"

namespace vorbex {
namespace {

using namespace test_support;

struct PruneOutcome {
    int code;
    std::string stdoutText;
    std::string reportText;
};

// Prunes the tree of `newick` with the report captured under `outputMask`.
PruneOutcome prune(const char* newick, int outputMask = 0) {
    EXPECT_EQ(readTestTree(newick), 0) << newick;
    runSettings.outputMask = outputMask;
    ReportCapture report;
    testing::internal::CaptureStdout();
    PruneOutcome outcome;
    outcome.code = pruneTree();
    outcome.stdoutText = testing::internal::GetCapturedStdout();
    outcome.reportText = report.text();
    return outcome;
}

class PruneTree : public testing::Test {
  protected:
    void TearDown() override { releaseEverything(); }
};

TEST_F(PruneTree, FullBinaryTreeStaysAsReadAndHasNoPolytomy) {
    const PruneOutcome outcome = prune("((a,b),c);");
    EXPECT_EQ(outcome.code, 0);
    EXPECT_EQ(outcome.stdoutText, "Actual tree selected (overall 5 nodes, 3 leaves)\n");
    EXPECT_EQ(outcome.reportText, "");
    EXPECT_EQ(shape(rootNode), "((a,b),c)");
    EXPECT_EQ(polytomicCount, 0);
    EXPECT_EQ(maxPolytomyOrder, 0);
    EXPECT_EQ(treesToTry, 1.0);
    for (int i = leafCount; i < nodeCount; ++i) {
        EXPECT_NE(nodeTable[i]->workProfile, nullptr);
        EXPECT_NE(nodeTable[i]->savedProfile, nullptr);
    }
}

TEST_F(PruneTree, BinaryNodeLosingALeafIsReplacedByItsOtherChildInTheSameSlot) {
    const PruneOutcome outcome = prune("(((a,_b),c),((_d,e),f));");
    EXPECT_EQ(outcome.code, 0);
    EXPECT_EQ(shape(rootNode), "((a,c),(e,f))");
    EXPECT_EQ(nodeCount, 7);
    EXPECT_EQ(leafCount, 4);
    for (TreeNode* node : subtreeNodes(rootNode))
        for (int i = 0; i < node->childCount; ++i)
            EXPECT_EQ(node->children[i]->parent, node);
    // The table keeps its order: leaves, then every inner node before its parent
    for (int i = 0; i < leafCount; ++i)
        EXPECT_EQ(nodeTable[i]->childCount, 0);
    EXPECT_EQ(nodeTable[nodeCount - 1], rootNode);
    EXPECT_EQ(nodeTable[nodeCount], nullptr);
}

TEST_F(PruneTree, RootLosingALeafHandsTheRootToItsOtherChild) {
    EXPECT_EQ(prune("((a,b),_c);").code, 0);
    EXPECT_EQ(shape(rootNode), "(a,b)");
    EXPECT_EQ(rootNode->parent, nullptr);
    EXPECT_EQ(nodeCount, 3);
}

TEST_F(PruneTree, EmptiedInnerNodeGoesWithItsAncestorsButLeafCountDropsOnlyByLeaves) {
    const PruneOutcome outcome = prune("((a,b)keep,((_c,_d),_e));");
    EXPECT_EQ(outcome.code, 0);
    EXPECT_EQ(shape(rootNode), "(a,b)");
    EXPECT_STREQ(rootNode->name, "keep");
    EXPECT_EQ(nodeCount, 3);
    EXPECT_EQ(leafCount, 2);
    EXPECT_EQ(outcome.stdoutText, "Actual tree selected (overall 3 nodes, 2 leaves)\n");
}

TEST_F(PruneTree, SingleSequencedLeafBecomesTheWholeTree) {
    const PruneOutcome outcome = prune("(((_x,a),_y),(_z,_w));");
    EXPECT_EQ(outcome.code, 0);
    EXPECT_EQ(nodeCount, 1);
    EXPECT_EQ(leafCount, 1);
    EXPECT_STREQ(rootNode->name, "a");
    EXPECT_EQ(rootNode->parent, nullptr);
    EXPECT_EQ(nodeTable[0], rootNode);
    EXPECT_EQ(polytomicCount, 0);
    EXPECT_EQ(outcome.stdoutText, "Actual tree selected (overall 1 nodes, 1 leaves)\n");
}

TEST_F(PruneTree, NoSequencedLeafEmptiesTheTreeSilently) {
    // A group of one: the reader makes no tree of a bare leaf
    for (const char* newick : {"((_a,_b),_c);", "(_a);"}) {
        const PruneOutcome outcome = prune(newick, OUT_VERBOSE);
        EXPECT_EQ(outcome.code, 0) << newick;
        EXPECT_EQ(rootNode, nullptr) << newick;
        EXPECT_EQ(nodeCount, 0) << newick;
        EXPECT_EQ(leafCount, 0) << newick;
        EXPECT_EQ(outcome.stdoutText, "") << newick;
        EXPECT_EQ(outcome.reportText, "") << newick;
    }
}

TEST_F(PruneTree, ThreeChildNodeLosingALeafIsBinaryNotPolytomic) {
    const PruneOutcome outcome = prune("((a,_b,c),d);");
    EXPECT_EQ(outcome.code, 0);
    EXPECT_EQ(shape(rootNode), "((a,c),d)");
    EXPECT_EQ(polytomicCount, 0);
    EXPECT_EQ(outcome.stdoutText, "Actual tree selected (overall 5 nodes, 3 leaves)\n");
}

TEST_F(PruneTree, CensusListsPolytomiesInSerialOrderWithTheirCounts) {
    const PruneOutcome outcome = prune("((a,b,c)p,(d,(e,f,g,h)q),(i,j));", OUT_VERBOSE);
    EXPECT_EQ(outcome.code, 0);
    const std::string lines = "Polytomic(3) node \"NODE000\" found in actual tree\n"
                              "Polytomic(3) node \"p\" found in actual tree\n"
                              "Polytomic(4) node \"q\" found in actual tree\n"
                              "Overall 3 polytomic node(s), 135 trees to be tried\n";
    EXPECT_EQ(outcome.stdoutText, "Actual tree selected (overall 15 nodes, 10 leaves)\n" + lines);
    // writeNewick fills the text between the header and ";"
    const std::string header = "\nActual tree (overall 15 nodes, 10 leaves):\n";
    ASSERT_EQ(outcome.reportText.compare(0, header.size(), header), 0) << outcome.reportText;
    EXPECT_NE(outcome.reportText.find(";\n" + lines), std::string::npos) << outcome.reportText;
    ASSERT_EQ(polytomicCount, 3);
    EXPECT_EQ(polytomicNodes[0], rootNode);
    EXPECT_STREQ(polytomicNodes[1]->name, "p");
    EXPECT_STREQ(polytomicNodes[2]->name, "q");
    EXPECT_EQ(polytomicNodes[0]->variantCount, 3);
    EXPECT_EQ(polytomicNodes[2]->variantCount, 15);
    EXPECT_EQ(maxPolytomyOrder, 4);
    EXPECT_EQ(treesToTry, 135.0);
    // Only binary inner nodes get profiles here
    EXPECT_EQ(polytomicNodes[1]->workProfile, nullptr);
    EXPECT_NE(polytomicNodes[2]->parent->workProfile, nullptr);
}

TEST_F(PruneTree, WithoutVerboseBitTheReportGetsNothing) {
    const PruneOutcome outcome = prune("((a,b,c),(d,e,f,g));");
    EXPECT_EQ(outcome.code, 0);
    EXPECT_EQ(outcome.reportText, "");
    EXPECT_EQ(outcome.stdoutText, "Actual tree selected (overall 10 nodes, 7 leaves)\n"
                                  "Polytomic(3) node \"NODE001\" found in actual tree\n"
                                  "Polytomic(4) node \"NODE005\" found in actual tree\n"
                                  "Overall 2 polytomic node(s), 45 trees to be tried\n");
}

TEST_F(PruneTree, OrderNineCountPrintsInExponentForm) {
    const PruneOutcome outcome = prune("(a,b,c,d,e,f,g,h,i);");
    EXPECT_EQ(outcome.code, 0);
    EXPECT_EQ(rootNode->variantCount, 2027025);
    EXPECT_NE(outcome.stdoutText.find("Overall 1 polytomic node(s), 2.02702e+06 trees to be tried\n"),
              std::string::npos);
}

TEST_F(PruneTree, EightPolytomiesAreAcceptedAndANinthIsRefused) {
    const char* eight = "((((a,b,c),(d,e,f)),((g,h,i),(j,k,l))),(((m,n,o),(p,q,r)),((s,t,u),(v,w,x))));";
    EXPECT_EQ(prune(eight).code, 0);
    EXPECT_EQ(polytomicCount, 8);
    EXPECT_EQ(treesToTry, 6561.0);
    releaseEverything();

    const PruneOutcome outcome =
        prune("(((((a,b,c),(d,e,f)),((g,h,i),(j,k,l))),(((m,n,o),(p,q,r)),((s,t,u),(v,w,x)))),(y,z,zz)n9);");
    EXPECT_EQ(outcome.code, ERTREE);
    EXPECT_EQ(outcome.stdoutText.find("n9"), std::string::npos);
    const std::string message = "Maximum number of polytomic nodes exceeded\n";
    EXPECT_EQ(outcome.stdoutText.substr(outcome.stdoutText.size() - message.size()), message);
    // Whatever the output mask
    EXPECT_EQ(outcome.reportText, message);
}

TEST_F(PruneTree, OrderElevenIsCountedAndOrderTwelveRefusedBeforeAnyTable) {
    EXPECT_EQ(prune("(a,b,c,d,e,f,g,h,i,j,k);").code, 0);
    EXPECT_EQ(rootNode->variantCount, 654729075);
    releaseEverything();

    const PruneOutcome outcome = prune("(a,(b,c,d,e,f,g,h,i,j,k,l,m)big);");
    EXPECT_EQ(outcome.code, ERTREE);
    EXPECT_EQ(polytomicCount, 0);
    EXPECT_EQ(outcome.stdoutText.find("found in actual tree"), std::string::npos);
    EXPECT_NE(outcome.stdoutText.find("Polytomic(12) node \"big\""), std::string::npos) << outcome.stdoutText;
    EXPECT_NE(outcome.reportText.find("Polytomic(12) node \"big\""), std::string::npos);
}

TEST_F(PruneTree, NodeMissingFromItsParentsListIsAnInconsistency) {
    ASSERT_EQ(readTestTree("((a,_b),c);"), 0);
    TreeNode* inner = rootNode->children[0];
    // The parent no longer lists its child
    rootNode->children[0] = rootNode->children[1];
    rootNode->childCount = 1;
    testing::internal::CaptureStdout();
    EXPECT_EQ(pruneTree(), ERINT);
    testing::internal::GetCapturedStdout();
    rootNode->children[1] = inner; // so that the test frees it
    rootNode->childCount = 2;
}

} // namespace
} // namespace vorbex
