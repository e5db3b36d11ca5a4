// The tree of --star-tree: every sequence of the file hangs from one root,
// which the heuristic search resolves. The leaves are made as the sequence
// reader meets their names.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/output.h"
#include "base/settings.h"
#include "input/input.h"
#include "input/tree_building.h"

namespace vorbex {

namespace {

// The leaves in the order read; moved into the root's slots when they fit
std::vector<TreeNode*> starLeaves;

} // namespace

int startStarTree() {
    leafCount = 0;
    nodeCount = 0;
    starLeaves.clear();
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
    leaf->serial = nodeCount - 1;
    std::strncpy(leaf->name, name, NAME_SIZE - 1);
    raiseMaxNameLength(static_cast<int>(std::strlen(leaf->name)));
    leaf->parent = rootNode;
    ++leafCount;
    starLeaves.push_back(leaf);
    return leaf;
}

int finishStarTree() {
    TreeNode* root = rootNode;
    const int count = static_cast<int>(starLeaves.size());
    if (count < 2) {
        reportBoth("A star tree needs at least 2 sequences, the sequence file has %d\n", count);
        return ERTREE;
    }
    root->childCount = count;
    if (count <= MAX_CHILDREN) {
        for (int i = 0; i < count; ++i)
            root->children[i] = starLeaves[static_cast<std::size_t>(i)];
    } else {
        root->manyChildren =
            static_cast<TreeNode**>(std::calloc(static_cast<std::size_t>(count), sizeof(TreeNode*)));
        if (root->manyChildren == nullptr)
            return ERMEM;
        std::memcpy(root->manyChildren, starLeaves.data(), sizeof(TreeNode*) * starLeaves.size());
    }
    starLeaves.clear();
    std::printf("Star tree built (overall %d nodes, %d leaves)\n", nodeCount, leafCount);
    if (runSettings.outputMask & OUT_VERBOSE)
        reportOnly("\nStar tree built (overall %d nodes, %d leaves)\n", nodeCount, leafCount);
    sortNodeTable(nodeCount);
    return 0;
}

} // namespace vorbex
