#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "bench/workload.h"
#include "resolve/resolve.h"
#include "run/run.h"
#include "support/trees.h"

namespace vorbex {
namespace {

using namespace test_support;

class CandidateTrees : public testing::Test {
  protected:
    void TearDown() override { releaseEverything(); }

    // The actual tree of `newick`, its tables built, as the driver leaves it.
    static void prepare(const char* newick) {
        ASSERT_EQ(readTestTree(newick), 0);
        baseSerial = nodeCount;
        testing::internal::CaptureStdout();
        const int pruned = pruneTree();
        testing::internal::GetCapturedStdout();
        ASSERT_EQ(pruned, 0);
        ASSERT_EQ(buildResolutionTables(), 0);
    }

    static std::string topology(int order, int index) {
        char text[TOPOLOGY_TEXT_SIZE];
        return topologyText(order, index, text) ? text : "missing";
    }
};

// What every candidate must offer the tree passes.
void expectCandidateReady() {
    ASSERT_GT(candidateNodeCount, 0);
    std::set<TreeNode*> entries(nodeTable, nodeTable + candidateNodeCount);
    EXPECT_EQ(static_cast<int>(entries.size()), candidateNodeCount);
    EXPECT_EQ(subtreeNodes(rootNode).size(), entries.size());
    EXPECT_EQ(nodeTable[candidateNodeCount - 1], rootNode);
    EXPECT_EQ(rootNode->depth, 0);
    for (int i = 0; i < candidateNodeCount; ++i) {
        const TreeNode* node = nodeTable[i];
        EXPECT_TRUE(entries.count(node->parent) == 1 || node == rootNode);
        if (node != rootNode) {
            EXPECT_EQ(node->depth, node->parent->depth + 1);
        }
        if (i < leafCount) {
            EXPECT_EQ(node->childCount, 0);
            if (i > 0) {
                EXPECT_GT(nodeTable[i - 1]->serial, node->serial);
            }
            EXPECT_STREQ(node->workText, node->sourceText);
            EXPECT_EQ(node->workLength, node->savedLength);
            EXPECT_EQ(
                std::memcmp(node->workProfile, node->savedProfile, sizeof(ProfileColumn) * node->workLength),
                0);
            continue;
        }
        EXPECT_EQ(node->childCount, 2);
        EXPECT_NE(node->workProfile, nullptr);
        EXPECT_NE(node->savedProfile, nullptr);
        EXPECT_EQ(node->workLength, 0);
        EXPECT_EQ(node->savedLength, 0);
        // Children stand earlier, and the order is deeper first, then descending serial
        for (int c = 0; c < 2; ++c)
            EXPECT_LT(std::find(nodeTable, nodeTable + i, node->children[c]) - nodeTable, i);
        if (i > leafCount) {
            const TreeNode* before = nodeTable[i - 1];
            EXPECT_TRUE(before->depth > node->depth ||
                        (before->depth == node->depth && before->serial > node->serial));
        }
    }
}

// A caterpillar of `wrappers` binary levels over one polytomy.
std::string caterpillarOver(int wrappers, const std::string& polytomy) {
    std::string newick = std::string(wrappers, '(') + polytomy;
    for (int i = 1; i <= wrappers; ++i)
        newick += ",l" + std::to_string(i) + ")";
    return newick + ";";
}

TEST_F(CandidateTrees, BinaryTreeIsItsOwnOnlyCandidate) {
    prepare("((a,b),(c,(d,e)));");
    EXPECT_EQ(nextCandidateTree(), 0);
    EXPECT_EQ(candidateNodeCount, 9);
    expectCandidateReady();
    EXPECT_EQ(shape(rootNode), "((a,b),(c,(d,e)))");
    EXPECT_EQ(nextCandidateTree(), -1);
    EXPECT_EQ(shape(rootNode), "((a,b),(c,(d,e)))");
}

TEST_F(CandidateTrees, SingleLeafIsOneCandidateOfOneNode) {
    prepare("((a,_b),_c);");
    std::strcpy(rootNode->workText, "xx");
    rootNode->workLength = 7;
    EXPECT_EQ(nextCandidateTree(), 0);
    EXPECT_EQ(candidateNodeCount, 1);
    EXPECT_EQ(nodeTable[0], rootNode);
    expectCandidateReady();
    EXPECT_EQ(nextCandidateTree(), -1);
}

TEST_F(CandidateTrees, OrderThreeNodeGivesThreeResolutionsWithSerialsAndNames) {
    prepare("((a,b)u,(x,y,z)p);");
    baseSerial = 12;
    const std::vector<std::string> expected = {"((a,b),((x,z),y))", "((a,b),((x,y),z))", "((a,b),(x,(y,z)))"};
    TreeNode* polytomic = polytomicNodes[0];
    for (int call = 0; call < 3; ++call) {
        ASSERT_EQ(nextCandidateTree(), 0);
        expectCandidateReady();
        EXPECT_EQ(shape(rootNode), expected[call]);
        TreeNode* replacement = rootNode->children[1];
        EXPECT_EQ(replacement->twin, polytomic);
        EXPECT_EQ(polytomic->twin, replacement);
        EXPECT_STREQ(replacement->name, "p");
        EXPECT_EQ(replacement->serial, 12);
        TreeNode* group = replacement->children[call == 2 ? 1 : 0];
        EXPECT_EQ(group->serial, 13);
        EXPECT_STREQ(group->name, "NODE013");
        // The polytomic node keeps its own list while it stands outside the candidate
        EXPECT_EQ(shape(polytomic), "(x,y,z)");
        EXPECT_EQ(candidateNodeCount, nodeCount + 1);
    }
    EXPECT_EQ(nextCandidateTree(), -1);
    EXPECT_EQ(rootNode->children[1], polytomic);
    EXPECT_EQ(polytomic->twin, nullptr);
    EXPECT_EQ(nextCandidateTree(), -1);
}

TEST_F(CandidateTrees, TwoPolytomiesGiveFortyFiveCandidatesFirstFastestThenTheActualTree) {
    prepare("((a,b,c),(d,e,f,g));");
    const std::vector<NodeSnapshot> actual = snapshotTree();
    TreeNode* actualRoot = rootNode;
    std::set<std::string> shapes;
    for (int call = 0; call < 45; ++call) {
        ASSERT_EQ(nextCandidateTree(), 0) << call;
        expectCandidateReady();
        const std::string expected = "(" + expandTopology(topology(3, call % 3), {"a", "b", "c"}) + "," +
                                     expandTopology(topology(4, call / 3), {"d", "e", "f", "g"}) + ")";
        EXPECT_EQ(shape(rootNode), expected) << call;
        shapes.insert(shape(rootNode));
        // Serials follow the list order: first subtree's two nodes, then the second's three
        EXPECT_EQ(polytomicNodes[0]->twin->serial, baseSerial);
        EXPECT_EQ(polytomicNodes[1]->twin->serial, baseSerial + 2);
        EXPECT_EQ(candidateNodeCount, nodeCount + 1 + 2);
    }
    EXPECT_EQ(shapes.size(), 45u);
    EXPECT_EQ(nextCandidateTree(), -1);
    EXPECT_EQ(rootNode, actualRoot);
    EXPECT_TRUE(snapshotTree() == actual);
}

TEST_F(CandidateTrees, NestedPolytomyHangsFromTheOuterReplacementAndComesBackIntact) {
    prepare("(a,(b,c,d)inner,e)outer;");
    ASSERT_EQ(polytomicCount, 2);
    TreeNode* outer = polytomicNodes[0];
    TreeNode* inner = polytomicNodes[1];
    ASSERT_EQ(outer, rootNode);
    const std::vector<NodeSnapshot> actual = snapshotTree();
    for (int call = 0; call < 9; ++call) {
        ASSERT_EQ(nextCandidateTree(), 0) << call;
        expectCandidateReady();
        const std::string innerShape = expandTopology(topology(3, call / 3), {"b", "c", "d"});
        EXPECT_EQ(shape(rootNode), expandTopology(topology(3, call % 3), {"a", innerShape, "e"})) << call;
        EXPECT_EQ(rootNode, outer->twin);
        // The inner replacement hangs from a node made for the outer one
        EXPECT_GE(inner->twin->parent->serial, baseSerial);
        EXPECT_EQ(inner->twin->parent, inner->parent);
    }
    EXPECT_EQ(nextCandidateTree(), -1);
    EXPECT_EQ(rootNode, outer);
    EXPECT_TRUE(snapshotTree() == actual);
}

TEST_F(CandidateTrees, LeavesGetTheirSourceDataBackForEveryCandidate) {
    prepare("(a,b,c);");
    ASSERT_EQ(nextCandidateTree(), 0);
    for (int i = 0; i < leafCount; ++i) {
        TreeNode* leaf = nodeTable[i];
        std::strcpy(leaf->workText, "a--c-g");
        leaf->workLength = 6;
        leaf->workProfile[0].weight[BASE_T] = 0.5;
        leaf->workProfile[5].weight[BASE_A] = 1.0;
    }
    nodeTable[leafCount]->workLength = 6;
    ASSERT_EQ(nextCandidateTree(), 0);
    expectCandidateReady();
    for (int i = 0; i < leafCount; ++i)
        EXPECT_EQ(nodeTable[i]->workText, sequenceFor(nodeTable[i]->serial));
}

// Ranks of an MPI run jump to the candidates dealt to them
TEST_F(CandidateTrees, CandidateAtANumberIsTheOneTheSequenceGivesThere) {
    prepare("((a,b,(c,d,e),f),g,(h,i,j,k));");
    std::vector<std::string> inOrder;
    while (nextCandidateTree() == 0)
        inOrder.push_back(shape(rootNode));
    ASSERT_EQ(inOrder.size(), 2025u);
    const std::string actual = shape(rootNode);
    std::vector<int> numbers(inOrder.size());
    for (std::size_t i = 0; i < numbers.size(); ++i)
        numbers[i] = static_cast<int>(i) + 1;
    bench::SplitMix64 random(14);
    for (std::size_t i = numbers.size() - 1; i > 0; --i)
        std::swap(numbers[i], numbers[random.next() % (i + 1)]);
    for (const int number : numbers) {
        ASSERT_EQ(candidateTreeAt(number), 0) << number;
        expectCandidateReady();
        ASSERT_EQ(shape(rootNode), inOrder[number - 1]) << number;
    }
    EXPECT_EQ(candidateTreeAt(2026), NO_MORE_CANDIDATES);
    EXPECT_EQ(candidateTreeAt(0), NO_MORE_CANDIDATES);
    // The sequence goes on from the candidate built last, to the actual tree
    ASSERT_EQ(candidateTreeAt(2023), 0);
    ASSERT_EQ(nextCandidateTree(), 0);
    EXPECT_EQ(shape(rootNode), inOrder[2023]);
    ASSERT_EQ(nextCandidateTree(), 0);
    EXPECT_EQ(nextCandidateTree(), NO_MORE_CANDIDATES);
    EXPECT_EQ(shape(rootNode), actual);
}

TEST_F(CandidateTrees, DeepCaterpillarWithAPolytomyAtTheBottom) {
    // ((((x,y,z),l1),l2),...,l2000): every group stands first, so the walk keeps one
    // pending node per level
    prepare(caterpillarOver(1999, "(x,y,z)").c_str());
    ASSERT_EQ(polytomicCount, 1);
    const std::vector<NodeSnapshot> actual = snapshotTree();
    for (int call = 0; call < 3; ++call) {
        ASSERT_EQ(nextCandidateTree(), 0);
        EXPECT_EQ(candidateNodeCount, 2 * 2002 - 1);
        expectCandidateReady();
        int deepest = 0;
        for (int i = 0; i < leafCount; ++i)
            deepest = std::max(deepest, nodeTable[i]->depth);
        EXPECT_EQ(deepest, 2001);
    }
    EXPECT_EQ(nextCandidateTree(), -1);
    EXPECT_TRUE(snapshotTree() == actual);
}

TEST_F(CandidateTrees, PolytomicRootOfOrderNineYieldsDistinctCandidates) {
    prepare("(a,b,c,d,e,f,g,h,i)r;");
    TreeNode* polytomic = rootNode;
    std::set<std::string> shapes;
    for (int call = 0; call < 300; ++call) {
        ASSERT_EQ(nextCandidateTree(), 0);
        EXPECT_EQ(rootNode, polytomic->twin);
        EXPECT_STREQ(rootNode->name, "r");
        EXPECT_EQ(candidateNodeCount, 17);
        shapes.insert(shape(rootNode));
    }
    expectCandidateReady();
    EXPECT_EQ(shapes.size(), 300u);
    // New nodes: the replacement root first, then the groups, named after their serials
    std::set<int> serials;
    for (int i = leafCount; i < candidateNodeCount; ++i) {
        const TreeNode* node = nodeTable[i];
        serials.insert(node->serial);
        char name[NAME_SIZE];
        std::snprintf(name, NAME_SIZE, "NODE%03d", node->serial);
        EXPECT_STREQ(node->name, node == rootNode ? "r" : name);
    }
    EXPECT_EQ(rootNode->serial, baseSerial);
    EXPECT_EQ(*serials.begin(), baseSerial);
    EXPECT_EQ(*serials.rbegin(), baseSerial + 7);
}

TEST_F(CandidateTrees, CandidateFillingTheTableIsBuilt) {
    prepare(caterpillarOver(2045, "(x,y,z)").c_str());
    ASSERT_EQ(nodeCount, DEFAULT_MAX_NODES - 1);
    ASSERT_EQ(nextCandidateTree(), 0);
    EXPECT_EQ(candidateNodeCount, DEFAULT_MAX_NODES);
    expectCandidateReady();
}

TEST_F(CandidateTrees, CandidateBeyondTheTableIsRefused) {
    prepare(caterpillarOver(2045, "(w,x,y,z)").c_str());
    ASSERT_EQ(nodeCount, DEFAULT_MAX_NODES);
    testing::internal::CaptureStdout();
    EXPECT_EQ(nextCandidateTree(), ERTREE);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Maximum number of tree nodes exceeded (4095)\n");
}

} // namespace
} // namespace vorbex
