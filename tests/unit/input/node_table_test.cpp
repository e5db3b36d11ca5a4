#include <gtest/gtest.h>

#include "input/input.h"

namespace vorbex {
namespace {

TreeNode* makeNode(int serial, int childCount, int depth) {
    TreeNode* node = createNode();
    node->serial = serial;
    node->childCount = childCount;
    node->depth = depth;
    return node;
}

TEST(CompareNodes, LeafGoesBeforeInnerNodeWhateverSerialAndDepth) {
    TreeNode* leaf = makeNode(1, 0, 0);
    TreeNode* inner = makeNode(9, 2, 5);
    EXPECT_EQ(compareNodes(leaf, inner), -1);
    EXPECT_EQ(compareNodes(inner, leaf), 1);
    releaseNode(leaf);
    releaseNode(inner);
}

TEST(CompareNodes, DeeperInnerNodeGoesFirstEvenWithSmallerSerial) {
    TreeNode* deep = makeNode(2, 2, 3);
    TreeNode* shallow = makeNode(7, 2, 1);
    EXPECT_EQ(compareNodes(deep, shallow), -1);
    EXPECT_EQ(compareNodes(shallow, deep), 1);
    releaseNode(deep);
    releaseNode(shallow);
}

TEST(CompareNodes, EqualDepthsAndLeavesGoByDescendingSerial) {
    TreeNode* inner4 = makeNode(4, 2, 2);
    TreeNode* inner9 = makeNode(9, 2, 2);
    TreeNode* leaf2 = makeNode(2, 0, 0);
    TreeNode* leaf5 = makeNode(5, 0, 0);
    EXPECT_EQ(compareNodes(inner9, inner4), -1);
    EXPECT_EQ(compareNodes(inner4, inner9), 1);
    EXPECT_EQ(compareNodes(leaf5, leaf2), -1);
    EXPECT_EQ(compareNodes(leaf2, leaf5), 1);
    for (TreeNode* node : {inner4, inner9, leaf2, leaf5})
        releaseNode(node);
}

TEST(SortNodeTable, SourceTreeOfThreeLeavesSortsLeavesThenInnerNodesRootLast) {
    // ((A,B),C); serials: root 0, inner 1, A 2, B 3, C 4
    resetNodeTable();
    const int childCounts[] = {2, 2, 0, 0, 0};
    for (int serial = 0; serial < 5; ++serial)
        nodeTable[serial] = makeNode(serial, childCounts[serial], 0);
    sortNodeTable(5);
    const int expectedSerials[] = {4, 3, 2, 1, 0};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(nodeTable[i]->serial, expectedSerials[i]) << "entry " << i;
    for (int i = 0; i < 5; ++i)
        releaseNode(nodeTable[i]);
    resetNodeTable();
}

TEST(ReleaseNode, FreesEveryBufferThatIsPresentAndAcceptsNone) {
    releaseNode(nullptr);
    TreeNode* bare = createNode();
    releaseNode(bare);
    TreeNode* full = createNode();
    ASSERT_TRUE(storeTexts(full, "acgt", 4));
    ASSERT_TRUE(reserveProfiles(full, 4));
    releaseNode(full); // the sanitizer build reports any leak or double free
}

TEST(CreateNode, GivesAZeroedRecord) {
    TreeNode* node = createNode();
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->parent, nullptr);
    EXPECT_EQ(node->name[0], '\0');
    EXPECT_EQ(node->childCount, 0);
    for (TreeNode* child : node->children)
        EXPECT_EQ(child, nullptr);
    EXPECT_EQ(node->workProfile, nullptr);
    EXPECT_EQ(node->twin, nullptr);
    releaseNode(node);
}

TEST(CheckTableRoom, AcceptsAFullTableAndRefusesOneMore) {
    EXPECT_EQ(checkTableRoom(DEFAULT_MAX_NODES), 0);
    testing::internal::CaptureStdout();
    EXPECT_NE(checkTableRoom(DEFAULT_MAX_NODES + 1), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Maximum number of tree nodes exceeded (4095)\n");
}

} // namespace
} // namespace vorbex
