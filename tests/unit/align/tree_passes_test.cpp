#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>

#include "align/align.h"
#include "resolve/resolve.h"
#include "run/run.h"
#include "support/files.h"
#include "support/nodes.h"

namespace vorbex {
namespace {

using test_support::NodePool;
using test_support::ReportCapture;
using test_support::savedText;
using test_support::workText;

class TreePasses : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(initialiseRun(), 0);
        runSettings.outputMask = 0;
    }

    void TearDown() override {
        resetNodeTable();
        candidateNodeCount = 0;
    }

    // Enters a candidate tree: the leaves, then the inner nodes deeper first, root last.
    void enterTree(std::initializer_list<TreeNode*> leaves, std::initializer_list<TreeNode*> inner) {
        int idx = 0;
        for (TreeNode* node : leaves)
            nodeTable[idx++] = node;
        for (TreeNode* node : inner)
            nodeTable[idx++] = node;
        leafCount = static_cast<int>(leaves.size());
        candidateNodeCount = nodeCount = idx;
        rootNode = nodeTable[idx - 1];
    }

    // Every piece appears in the report, each after the one before.
    static void expectInOrder(const std::string& text, std::initializer_list<const char*> pieces) {
        std::size_t from = 0;
        for (const char* piece : pieces) {
            const std::size_t at = text.find(piece, from);
            ASSERT_NE(at, std::string::npos) << "missing or out of order: " << piece << "\nin:\n" << text;
            from = at + std::string(piece).size();
        }
    }

    static void expectColumn(const ProfileColumn& column, double a, double c, double g, double t) {
        EXPECT_EQ(column.weight[BASE_A], a);
        EXPECT_EQ(column.weight[BASE_C], c);
        EXPECT_EQ(column.weight[BASE_G], g);
        EXPECT_EQ(column.weight[BASE_T], t);
    }

    NodePool pool;
};

TEST_F(TreePasses, FourLeavesBecomeOneAlignmentOfFiveColumns) {
    TreeNode* a = pool.leaf("ACGT");
    TreeNode* b = pool.leaf("AGT");
    TreeNode* c = pool.leaf("ACT");
    TreeNode* d = pool.leaf("ACGGT");
    TreeNode* x = pool.inner(a, b);
    TreeNode* y = pool.inner(c, d);
    TreeNode* root = pool.inner(x, y);
    enterTree({d, c, b, a}, {y, x, root});
    runSettings.outputMask = OUT_STEPS | OUT_FINAL;
    ReportCapture report;

    ASSERT_EQ(traceForward(), 0);
    EXPECT_EQ(workText(c), "AC--T");
    EXPECT_EQ(workText(b), "A-GT");
    EXPECT_EQ(x->savedLength, 4);
    expectColumn(x->savedProfile[1], 0.0, 0.5, 0.0, 0.0);
    EXPECT_EQ(savedText(y), "AC??T");
    expectColumn(y->savedProfile[2], 0.0, 0.0, 0.5, 0.0);
    // X aligned into the root received a gap column; the root keeps what it built
    EXPECT_EQ(x->workLength, 5);
    EXPECT_EQ(workText(x), "A?G-T");
    EXPECT_EQ(root->workLength, 5);
    EXPECT_EQ(root->savedLength, 5);
    expectColumn(root->workProfile[1], 0.0, 0.75, 0.0, 0.0);
    expectColumn(root->workProfile[3], 0.0, 0.0, 0.25, 0.0);

    ASSERT_EQ(traceBackward(), 0);
    EXPECT_EQ(workText(a), "ACG-T");
    EXPECT_EQ(workText(b), "A-G-T");
    EXPECT_EQ(workText(c), "AC--T");
    EXPECT_EQ(workText(d), "ACGGT");
    for (TreeNode* node : {a, b, c, d, x, y, root})
        EXPECT_EQ(node->workLength, 5);
    // The leaves' own sequences are left as they were
    EXPECT_EQ(savedText(a), "ACGT");
    EXPECT_EQ(savedText(b), "AGT");

    expectInOrder(report.text(),
                  {"*** Trace forward ***\n\n", "Similarity=0.800010\n", "Similarity=1.000010\n",
                   "Similarity=1.000020\n", "*** Tracing forward finished ***\n\n",
                   "*** Trace backward ***\n\n", "*** Tracing backward finished ***\n\n"});
}

TEST_F(TreePasses, GapsInsideTheSavedLengthShiftTheChildrensTails) {
    TreeNode* s1 = pool.leaf("AT");
    TreeNode* s2 = pool.leaf("AT");
    TreeNode* s3 = pool.leaf("ACGT");
    TreeNode* inner = pool.inner(s1, s2);
    TreeNode* root = pool.inner(inner, s3);
    enterTree({s3, s2, s1}, {inner, root});
    runSettings.outputMask = OUT_STEPS;
    ReportCapture report;

    ASSERT_EQ(traceForward(), 0);
    EXPECT_EQ(savedText(inner), "AT");
    EXPECT_EQ(workText(inner), "A--T");
    ASSERT_EQ(traceBackward(), 0);
    EXPECT_EQ(workText(s1), "A--T");
    EXPECT_EQ(workText(s2), "A--T");
    EXPECT_EQ(workText(s3), "ACGT");
    expectInOrder(report.text(), {"Similarity=2.000010\n", "Similarity=-0.200000\n"});
}

TEST_F(TreePasses, GapsBeyondTheSavedLengthAreAppended) {
    TreeNode* s1 = pool.leaf("AC");
    TreeNode* s2 = pool.leaf("AC");
    TreeNode* s3 = pool.leaf("ACGT");
    TreeNode* inner = pool.inner(s1, s2);
    TreeNode* root = pool.inner(inner, s3);
    enterTree({s3, s2, s1}, {inner, root});

    ASSERT_EQ(traceForward(), 0);
    EXPECT_EQ(workText(inner), "AC--");
    ASSERT_EQ(traceBackward(), 0);
    EXPECT_EQ(workText(s1), "AC--");
    EXPECT_EQ(workText(s2), "AC--");
}

TEST_F(TreePasses, ReportLinesOnlyUnderTheirBits) {
    TreeNode* s1 = pool.leaf("AC");
    TreeNode* s2 = pool.leaf("AG");
    TreeNode* root = pool.inner(s1, s2);
    enterTree({s2, s1}, {root});
    ReportCapture report;
    ASSERT_EQ(traceForward(), 0);
    ASSERT_EQ(traceBackward(), 0);
    EXPECT_EQ(report.text(), "");
    EXPECT_EQ(workText(s1), "AC");

    runSettings.outputMask = OUT_FINAL;
    root->workLength = root->savedLength = 0;
    ASSERT_EQ(traceForward(), 0);
    ASSERT_EQ(traceBackward(), 0);
    const std::string text = report.text();
    EXPECT_NE(text.find("*** Tracing forward finished ***\n\n"), std::string::npos);
    EXPECT_EQ(text.find("Similarity="), std::string::npos);
    EXPECT_EQ(text.find("*** Trace"), std::string::npos);
}

TEST_F(TreePasses, CandidateWithoutInnerNodesWritesOnlyTheHeaders) {
    TreeNode* only = pool.leaf("ACGT");
    enterTree({only}, {});
    runSettings.outputMask = OUT_STEPS | OUT_FINAL;
    ReportCapture report;
    ASSERT_EQ(traceForward(), 0);
    ASSERT_EQ(traceBackward(), 0);
    expectInOrder(report.text(), {"*** Trace forward ***\n\n", "*** Tracing forward finished ***\n\n",
                                  "*** Trace backward ***\n\n", "*** Tracing backward finished ***\n\n"});
    EXPECT_EQ(report.text().find("Similarity="), std::string::npos);
    EXPECT_EQ(workText(only), "ACGT");
}

TEST_F(TreePasses, AnEmptyLeafLeavesItsAncestorsUnbuiltAndThePassesEnd) {
    TreeNode* empty = pool.leaf("");
    TreeNode* s2 = pool.leaf("AC");
    TreeNode* s3 = pool.leaf("ACGT");
    TreeNode* inner = pool.inner(empty, s2);
    TreeNode* root = pool.inner(inner, s3);
    enterTree({s3, s2, empty}, {inner, root});
    ASSERT_EQ(traceForward(), 0);
    ASSERT_EQ(traceBackward(), 0);
    EXPECT_EQ(inner->workLength, 0);
    EXPECT_EQ(root->workLength, 0);
    EXPECT_EQ(workText(s2), "AC");
    EXPECT_EQ(workText(s3), "ACGT");
}

TEST_F(TreePasses, LaterSweepBuildsAParentEnteredBeforeItsChild) {
    // Out of processing order on purpose: the root comes before its child
    TreeNode* s1 = pool.leaf("AT");
    TreeNode* s2 = pool.leaf("AT");
    TreeNode* s3 = pool.leaf("ACGT");
    TreeNode* inner = pool.inner(s1, s2);
    TreeNode* root = pool.inner(inner, s3);
    enterTree({s3, s2, s1}, {root, inner});
    ASSERT_EQ(traceForward(), 0);
    EXPECT_EQ(root->savedLength, 4);
    EXPECT_EQ(workText(inner), "A--T");
}

// The working profile below is not one the pairwise alignment can produce:
// it tests the two gap tests and the buffer guard on their own.
TEST_F(TreePasses, SavedGapColumnIsMatchedNotInsertedFor) {
    TreeNode* s1 = pool.leaf("A-T");
    TreeNode* s2 = pool.leaf("A-T");
    TreeNode* root = pool.inner(s1, s2);
    enterTree({s2, s1}, {root});
    root->savedLength = 3;
    root->workLength = 4;
    nucleotideColumn('a', root->savedProfile[0]);
    nucleotideColumn('t', root->savedProfile[2]);
    nucleotideColumn('a', root->workProfile[0]);
    nucleotideColumn('t', root->workProfile[2]);
    ASSERT_EQ(traceBackward(), 0);
    // Column 1 is matched to the saved gap; only the trailing gap column is new
    EXPECT_EQ(workText(s1), "A-T-");
    EXPECT_EQ(workText(s2), "A-T-");
}

TEST_F(TreePasses, WeightOfExactlyTheToleranceIsRealInWorkAndGapInSaved) {
    const ProfileColumn faint{{TOLERANCE, 0.0, 0.0, 0.0}};
    TreeNode* s1 = pool.leaf("-T");
    TreeNode* s2 = pool.leaf("-T");
    s1->workProfile[0] = s2->workProfile[0] = faint;
    TreeNode* root = pool.inner(s1, s2);
    enterTree({s2, s1}, {root});
    root->savedLength = 2;
    root->savedProfile[0] = faint;
    nucleotideColumn('t', root->savedProfile[1]);
    root->workLength = 3;
    root->workProfile[1] = faint;
    nucleotideColumn('t', root->workProfile[2]);
    ASSERT_EQ(traceBackward(), 0);
    // The leading gap column is matched to the faint saved column, and the
    // faint working column counts as real: nothing is inserted
    EXPECT_EQ(s1->workLength, 2);
    EXPECT_EQ(s2->workLength, 2);
}

TEST_F(TreePasses, BackwardShiftNeverPassesTheProfileRoom) {
    const std::string full(MAXSEQLEN, 'A');
    TreeNode* s1 = pool.leaf(full.c_str());
    TreeNode* s2 = pool.leaf(full.c_str());
    TreeNode* root = pool.inner(s1, s2);
    enterTree({s2, s1}, {root});
    root->savedLength = MAXSEQLEN;
    for (int c = 0; c < MAXSEQLEN; ++c)
        nucleotideColumn('a', root->savedProfile[c]);
    root->workLength = MAXSEQLEN;  // all gap columns
    ASSERT_EQ(traceBackward(), 0); // the sanitizer build catches any write past the room
    EXPECT_EQ(s1->workLength, MAXSEQLEN);
    EXPECT_EQ(workText(s1), full);
}

} // namespace
} // namespace vorbex
