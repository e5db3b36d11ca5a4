#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>

#include "report/report.h"
#include "support/files.h"

namespace vorbex {
namespace {

using test_support::ReportCapture;

constexpr ProfileColumn A{{1, 0, 0, 0}};
constexpr ProfileColumn C{{0, 1, 0, 0}};
constexpr ProfileColumn G{{0, 0, 1, 0}};
constexpr ProfileColumn T{{0, 0, 0, 1}};
constexpr ProfileColumn GAP{{0, 0, 0, 0}};

class Dumps : public testing::Test {
  protected:
    void SetUp() override { maxNameLength = 3; }
    void TearDown() override {
        for (TreeNode* node : nodes_)
            releaseNode(node);
        maxNameLength = 3;
    }

    // A node whose working and saved profiles both hold `columns`
    TreeNode* node(const char* name, std::initializer_list<ProfileColumn> columns) {
        TreeNode* created = createNode();
        nodes_.push_back(created);
        std::snprintf(created->name, NAME_SIZE, "%s", name);
        EXPECT_TRUE(reserveProfiles(created, static_cast<int>(columns.size())));
        int length = 0;
        for (const ProfileColumn& column : columns) {
            created->workProfile[length] = column;
            created->savedProfile[length++] = column;
        }
        created->workLength = created->savedLength = length;
        return created;
    }

    std::string dumpOf(const TreeNode* dumped) {
        ReportCapture report;
        dumpNode(dumped);
        return report.text();
    }

  private:
    std::vector<TreeNode*> nodes_;
};

TEST_F(Dumps, StepOfTheForwardPassLinesUpEveryPositionThroughTheThreeBlocks) {
    maxNameLength = 7;
    TreeNode* parent = node("NODE001", {A, {{0, 0.5, 0, 0}}, G, T});
    TreeNode* a = node("a", {A, C, G, T});
    TreeNode* b = node("b", {A, GAP, G, T});
    b->savedLength = 3;
    ReportCapture report;
    dumpStep(parent, a, b);
    EXPECT_EQ(report.text(), "NODE001  L=4\n"
                             " A: 1 000 0 0\n"
                             " C: 0 500 0 0\n"
                             " G: 0 000 1 0\n"
                             " T: 0 000 0 1\n"
                             "a        L=4(4)\n"
                             " A: 1  0  0 0\n"
                             " C: 0  1  0 0\n"
                             " G: 0  0  1 0\n"
                             " T: 0  0  0 1\n"
                             "b        L=4(3)\n"
                             " A: 1  -  0 0\n"
                             " C: 0  -  0 0\n"
                             " G: 0  -  1 0\n"
                             " T: 0  -  0 1\n"
                             "\n");
    EXPECT_EQ(dumpOf(parent), "NODE001  L=4\n"
                              " A: 1 000 0 0\n"
                              " C: 0 500 0 0\n"
                              " G: 0 000 1 0\n"
                              " T: 0 000 0 1\n");
}

TEST_F(Dumps, StepPositionWithOnlyDefiniteAndGapColumnsStaysNarrow) {
    TreeNode* parent = node("p", {A, C});
    TreeNode* first = node("x", {A, C});
    TreeNode* second = node("y", {GAP, C});
    second->savedLength = 1;
    ReportCapture report;
    dumpStep(parent, first, second);
    EXPECT_EQ(report.text(), "p    L=2\n A: 1 0\n C: 0 1\n G: 0 0\n T: 0 0\n"
                             "x    L=2(2)\n A: 1 0\n C: 0 1\n G: 0 0\n T: 0 0\n"
                             "y    L=2(1)\n A: - 0\n C: - 1\n G: - 0\n T: - 0\n\n");
}

TEST_F(Dumps, NodeDumpShowsTheSavedProfileNotTheWorkingOne) {
    TreeNode* leaf = node("abc", {A, C});
    ASSERT_TRUE(reserveProfiles(leaf, 3));
    leaf->workProfile[1] = GAP;
    leaf->workProfile[2] = C;
    leaf->workLength = 3;
    EXPECT_EQ(dumpOf(leaf), "abc  L=2\n A: 1 0\n C: 0 1\n G: 0 0\n T: 0 0\n");
}

TEST_F(Dumps, EmptyProfileGivesLabelsOnly) {
    EXPECT_EQ(dumpOf(node("abc", {})), "abc  L=0\n A:\n C:\n G:\n T:\n");
}

TEST_F(Dumps, MixedColumnsPrintTruncatedThousandths) {
    const double third = 1.0 / 3.0;
    EXPECT_EQ(
        dumpOf(node("abc", {{{0.5, 0, 0, 0.5}}, {{third, third, 0, third}}, GAP, {{0.9999, 0.0001, 0, 0}}})),
        "abc  L=4\n"
        " A: 500 333 - 999\n"
        " C: 000 333 - 000\n"
        " G: 000 000 - 000\n"
        " T: 500 333 - 000\n");
}

TEST_F(Dumps, ToleranceDecidesBetweenDefiniteGapAndMixed) {
    // 0.999999995 counts as 1; exactly 1e-8 is still a gap, 2e-8 is not;
    // beside a definite weight, 1e-8 shows as a 1
    EXPECT_EQ(
        dumpOf(
            node("abc", {{{0, 0, 0.999999995, 0}}, {{1e-8, 0, 0, 0}}, {{2e-8, 0, 0, 0}}, {{1, 1e-8, 0, 0}}})),
        "abc  L=4\n"
        " A: 0 - 000 1\n"
        " C: 0 - 000 1\n"
        " G: 1 - 000 0\n"
        " T: 0 - 000 0\n");
}

TEST_F(Dumps, NamesArePaddedToTheWidestAndLongerOnesPushTheHeader) {
    maxNameLength = 5;
    EXPECT_EQ(dumpOf(node("ab", {})).substr(0, 11), "ab     L=0\n");
    EXPECT_EQ(dumpOf(node("abcdefg", {})).substr(0, 13), "abcdefg  L=0\n");
}

} // namespace
} // namespace vorbex
