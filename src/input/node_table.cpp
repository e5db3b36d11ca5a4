#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <unordered_set>
#include <vector>

#include "base/output.h"
#include "base/result_code.h"
#include "input/input.h"

namespace vorbex {

TreeNode* nodeTable[NODE_TABLE_SIZE];
int nodeCount = 0;
int leafCount = 0;
TreeNode* rootNode = nullptr;
int maxNameLength = 3;
int columnCapacity = 0;

TreeNode* createNode() {
    return static_cast<TreeNode*>(std::calloc(1, sizeof(TreeNode)));
}

void releaseNode(TreeNode* node) {
    if (node == nullptr)
        return;
    std::free(node->workText);
    std::free(node->sourceText);
    std::free(node->workProfile);
    std::free(node->savedProfile);
    std::free(node);
}

char* allocateText() {
    return static_cast<char*>(std::calloc(TEXT_SIZE, 1));
}

ProfileColumn* allocateProfile() {
    return static_cast<ProfileColumn*>(std::calloc(MAXSEQLEN, sizeof(ProfileColumn)));
}

bool allocateProfiles(TreeNode* node) {
    if (node->workProfile == nullptr)
        node->workProfile = allocateProfile();
    if (node->savedProfile == nullptr)
        node->savedProfile = allocateProfile();
    return node->workProfile != nullptr && node->savedProfile != nullptr;
}

int compareNodes(const TreeNode* a, const TreeNode* b) {
    const bool aIsLeaf = a->childCount == 0;
    const bool bIsLeaf = b->childCount == 0;
    if (aIsLeaf != bIsLeaf)
        return aIsLeaf ? -1 : 1;
    // Deeper inner nodes first, so that children come before their parents
    if (!aIsLeaf && a->depth != b->depth)
        return a->depth > b->depth ? -1 : 1;
    return a->serial > b->serial ? -1 : 1;
}

void sortNodeTable(int count) {
    std::sort(nodeTable, nodeTable + count,
              [](const TreeNode* a, const TreeNode* b) { return a != b && compareNodes(a, b) < 0; });
}

int checkTableRoom(int count) {
    if (count <= NODE_TABLE_SIZE)
        return 0;
    reportBoth("Maximum number of tree nodes exceeded (%d)\n", NODE_TABLE_SIZE);
    return ERTREE;
}

void nameInnerNode(TreeNode* node) {
    std::snprintf(node->name, NAME_SIZE, "NODE%03d", node->serial);
}

void releaseTree() {
    // The table may still hold candidate nodes already freed: walk the links
    std::unordered_set<TreeNode*> seen;
    std::vector<TreeNode*> pending;
    if (rootNode != nullptr)
        pending.push_back(rootNode);
    while (!pending.empty()) {
        TreeNode* node = pending.back();
        pending.pop_back();
        if (!seen.insert(node).second)
            continue;
        for (int i = 0; i < node->childCount && i < CHILD_SLOTS; ++i)
            if (node->children[i] != nullptr)
                pending.push_back(node->children[i]);
        if (node->twin != nullptr)
            pending.push_back(node->twin);
    }
    for (TreeNode* node : seen)
        releaseNode(node);
    resetNodeTable();
}

void resetNodeTable() {
    std::fill(std::begin(nodeTable), std::end(nodeTable), nullptr);
    nodeCount = 0;
    leafCount = 0;
    rootNode = nullptr;
    maxNameLength = 3;
    columnCapacity = 0;
}

} // namespace vorbex
