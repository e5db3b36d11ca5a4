// The tree of --star-tree: every sequence of the file hangs from one root,
// which the heuristic search resolves. The leaves are made as the sequence
// reader meets their names.
#include <cstdlib>
#include <cstring>

#include "base/output.h"
#include "base/settings.h"
#include "input/input.h"
#include "input/tree_building.h"

namespace vorbex {

namespace {

// Room of the root's many children, once they pass its slots
std::size_t manyChildrenRoom = 0;

// Appends the leaf to the root, from its slots into many children when they
// are full; false when memory is exhausted. Every leaf hangs from the root at
// once, so that a run ended early frees it with the tree.
bool appendToRoot(TreeNode* root, TreeNode* leaf) {
    if (root->manyChildren == nullptr && root->childCount < MAX_CHILDREN) {
        root->children[root->childCount++] = leaf;
        return true;
    }
    const std::size_t count = static_cast<std::size_t>(root->childCount);
    if (root->manyChildren == nullptr || count == manyChildrenRoom) {
        const std::size_t room = count < CHILD_SLOTS ? 2 * CHILD_SLOTS : 2 * count;
        auto* grown = static_cast<TreeNode**>(std::calloc(room, sizeof(TreeNode*)));
        if (grown == nullptr)
            return false;
        std::memcpy(grown, childrenOf(root), count * sizeof(TreeNode*));
        std::free(root->manyChildren);
        std::memset(root->children, 0, sizeof root->children);
        root->manyChildren = grown;
        manyChildrenRoom = room;
    }
    root->manyChildren[root->childCount++] = leaf;
    return true;
}

} // namespace

int startStarTree() {
    leafCount = 0;
    nodeCount = 0;
    manyChildrenRoom = 0;
    TreeNode* root = createNode();
    if (root == nullptr)
        return ERMEM;
    root->serial = 0;
    nameInnerNode(root);
    raiseMaxNameLength(static_cast<int>(std::strlen(root->name)));
    rootNode = root;
    return enterInTable(root);
}

TreeNode* addStarLeaf(const char* name, int& code) {
    code = 0;
    TreeNode* leaf = createNode();
    if (leaf == nullptr) {
        code = ERMEM;
        return nullptr;
    }
    if (code = enterInTable(leaf); code != 0) {
        releaseNode(leaf);
        return nullptr;
    }
    if (!appendToRoot(rootNode, leaf)) {
        // The table's last entry goes with it
        --nodeCount;
        releaseNode(leaf);
        code = ERMEM;
        return nullptr;
    }
    leaf->serial = nodeCount - 1;
    std::strncpy(leaf->name, name, NAME_SIZE - 1);
    raiseMaxNameLength(static_cast<int>(std::strlen(leaf->name)));
    leaf->parent = rootNode;
    ++leafCount;
    return leaf;
}

int finishStarTree() {
    if (leafCount < 2) {
        reportBoth("A star tree needs at least 2 sequences, the sequence file has %d\n", leafCount);
        return ERTREE;
    }
    std::printf("Star tree built (overall %d nodes, %d leaves)\n", nodeCount, leafCount);
    if (runSettings.outputMask & OUT_VERBOSE)
        reportOnly("\nStar tree built (overall %d nodes, %d leaves)\n", nodeCount, leafCount);
    sortNodeTable(nodeCount);
    return 0;
}

} // namespace vorbex
