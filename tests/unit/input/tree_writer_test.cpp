#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "input/input.h"

namespace vorbex {
namespace {

// ((A,B)X,C,D)R built by hand, so the writer is tested on its own.
class TreeWriter : public ::testing::Test {
  protected:
    void SetUp() override {
        root = makeNode("R");
        TreeNode* x = makeNode("X");
        attach(root, x);
        attach(x, makeNode("A"));
        attach(x, makeNode("B"));
        attach(root, makeNode("C"));
        attach(root, makeNode("D"));
    }

    void TearDown() override { release(root); }

    static TreeNode* makeNode(const char* name) {
        TreeNode* node = createNode();
        std::strcpy(node->name, name);
        return node;
    }

    static void attach(TreeNode* parent, TreeNode* child) {
        parent->children[parent->childCount++] = child;
        child->parent = parent;
    }

    static void release(TreeNode* node) {
        for (int i = 0; i < node->childCount; ++i)
            release(node->children[i]);
        releaseNode(node);
    }

    TreeNode* root = nullptr;
};

constexpr const char* EXPECTED = "((A,B)X,C,D)R";

TEST_F(TreeWriter, WritesNamesBehindGroupsAndReturnsTheTerminator) {
    char buffer[64];
    char* end = writeNewick(root, buffer, buffer + sizeof buffer);
    ASSERT_NE(end, nullptr);
    EXPECT_STREQ(buffer, EXPECTED);
    EXPECT_EQ(end, buffer + std::strlen(EXPECTED));
    EXPECT_EQ(*end, '\0');
}

TEST_F(TreeWriter, SubtreeAndLeafAloneAndWritingOnBehindThePrevious) {
    char buffer[64];
    char* end = writeNewick(root->children[0], buffer, buffer + sizeof buffer);
    ASSERT_NE(end, nullptr);
    end = writeNewick(root->children[1], end, buffer + sizeof buffer);
    ASSERT_NE(end, nullptr);
    EXPECT_STREQ(buffer, "(A,B)XC");
}

TEST_F(TreeWriter, ExactFitIsWrittenAndOneByteLessIsRefusedWithinTheBuffer) {
    const std::size_t needed = std::strlen(EXPECTED) + 1;
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_NE(writeNewick(root, buffer, buffer + needed), nullptr);
    EXPECT_STREQ(buffer, EXPECTED);
    EXPECT_EQ(buffer[needed], '#');

    for (std::size_t room = 0; room < needed; ++room) {
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(writeNewick(root, buffer, buffer + room), nullptr) << room;
        EXPECT_EQ(buffer[room], '#') << room;
    }
}

TEST_F(TreeWriter, ChainThousandsOfLevelsDeepIsWritten) {
    const int depth = 5000;
    TreeNode* top = makeNode("T");
    TreeNode* node = top;
    for (int i = 0; i < depth; ++i) {
        TreeNode* child = makeNode(i + 1 == depth ? "L" : "I");
        attach(node, child);
        node = child;
    }
    std::string buffer(4 * depth, '\0');
    char* end = writeNewick(top, buffer.data(), buffer.data() + buffer.size());
    ASSERT_NE(end, nullptr);
    std::string expected = std::string(depth, '(') + "L";
    for (int i = 0; i < depth - 1; ++i)
        expected += ")I";
    expected += ")T";
    EXPECT_EQ(std::string(buffer.data()), expected);
    // Release iteratively as well
    while (top != nullptr) {
        TreeNode* next = top->childCount > 0 ? top->children[0] : nullptr;
        releaseNode(top);
        top = next;
    }
}

} // namespace
} // namespace vorbex
