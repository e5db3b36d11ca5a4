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

int startStarTree() {
    leafCount = 0;
    nodeCount = 0;
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
    if (!appendChild(rootNode, leaf)) {
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
