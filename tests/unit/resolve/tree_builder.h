// Small trees in memory for the tree resolution tests.
#pragma once

#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "input/input.h"
#include "resolve/resolve.h"
#include "run/run.h"

namespace vorbex::testing_trees {

// The sequence a leaf of this serial receives: distinct per leaf, a few columns long.
inline std::string sequenceFor(int serial) {
    return std::string("acg") + std::string(serial % 5, "tgca"[serial % 4]);
}

inline void giveSequence(TreeNode* leaf) {
    const std::string text = sequenceFor(leaf->serial);
    leaf->workText = allocateText();
    leaf->sourceText = allocateText();
    if (!allocateProfiles(leaf))
        return;
    std::strcpy(leaf->sourceText, text.c_str());
    std::strcpy(leaf->workText, text.c_str());
    leaf->savedLength = leaf->workLength = static_cast<int>(text.size());
    for (int i = 0; i < leaf->savedLength; ++i) {
        nucleotideColumn(text[i], leaf->savedProfile[i]);
        leaf->workProfile[i] = leaf->savedProfile[i];
    }
}

// Builds the source tree of a NEWICK text as the reader leaves it: serials in
// order of appearance, unnamed inner nodes "NODE%03d", the table sorted. Leaves
// whose name starts with '_' get no sequence, the others a short one.
inline void buildTree(const char* text) {
    resetNodeTable();
    std::vector<TreeNode*> open;
    TreeNode* closed = nullptr;
    int serial = 0;
    auto attach = [&](TreeNode* node) {
        node->serial = serial++;
        nodeTable[nodeCount++] = node;
        if (open.empty()) {
            rootNode = node;
        } else {
            node->parent = open.back();
            open.back()->children[open.back()->childCount++] = node;
        }
    };
    for (const char* c = text; *c != ';' && *c != '\0';) {
        if (*c == '(') {
            TreeNode* node = createNode();
            attach(node);
            std::snprintf(node->name, NAME_SIZE, "%s%03d", "NODE", node->serial);
            open.push_back(node);
            closed = nullptr;
            ++c;
        } else if (*c == ')') {
            closed = open.back();
            open.pop_back();
            ++c;
        } else if (*c == ',') {
            closed = nullptr;
            ++c;
        } else {
            const char* end = c + std::strcspn(c, "(),;");
            const std::string name(c, end);
            if (closed != nullptr) {
                std::snprintf(closed->name, NAME_SIZE, "%s", name.c_str());
            } else {
                TreeNode* leaf = createNode();
                attach(leaf);
                std::snprintf(leaf->name, NAME_SIZE, "%s", name.c_str());
                ++leafCount;
                if (name[0] != '_')
                    giveSequence(leaf);
            }
            c = end;
        }
    }
    sortNodeTable(nodeCount);
}

// Every node below `root`, parents before children.
inline std::vector<TreeNode*> subtreeNodes(TreeNode* root) {
    std::vector<TreeNode*> nodes;
    if (root == nullptr)
        return nodes;
    std::vector<TreeNode*> pending{root};
    while (!pending.empty()) {
        TreeNode* node = pending.back();
        pending.pop_back();
        nodes.push_back(node);
        for (int i = node->childCount - 1; i >= 0; --i)
            pending.push_back(node->children[i]);
    }
    return nodes;
}

// Frees the current tree, a standing candidate's polytomic nodes included,
// and every global that the resolution tests touch.
inline void releaseEverything() {
    releaseTree();
    releaseResolution();
    runSettings.outputMask = 0;
}

// NEWICK-like shape of a subtree (names only, no labels of inner nodes).
inline std::string shape(const TreeNode* node) {
    if (node->childCount == 0)
        return node->name;
    std::string text = "(";
    for (int i = 0; i < node->childCount; ++i)
        text += (i > 0 ? "," : "") + shape(node->children[i]);
    return text + ")";
}

// The shape that a topology string gives over the shapes of the children.
inline std::string expandTopology(const std::string& topology, const std::vector<std::string>& children) {
    std::vector<std::string> items;
    std::vector<size_t> groupStarts;
    for (char c : topology) {
        if (c == '(') {
            groupStarts.push_back(items.size());
        } else if (c == ')') {
            const std::string group = "(" + items[items.size() - 2] + "," + items.back() + ")";
            items.resize(groupStarts.back());
            groupStarts.pop_back();
            items.push_back(group);
        } else {
            items.push_back(children[c - 'A']);
        }
    }
    return "(" + items[0] + "," + items[1] + ")";
}

// Pointers and fields of a node, for checking that the tree comes back exactly.
struct NodeSnapshot {
    TreeNode* node;
    TreeNode* parent;
    TreeNode* twin;
    int childCount;
    int serial;
    std::vector<TreeNode*> children;
    std::string name;
    bool operator==(const NodeSnapshot&) const = default;
};

inline std::vector<NodeSnapshot> snapshotTree() {
    std::vector<NodeSnapshot> snapshot;
    for (TreeNode* node : subtreeNodes(rootNode))
        snapshot.push_back({node, node->parent, node->twin, node->childCount, node->serial,
                            std::vector<TreeNode*>(node->children, node->children + CHILD_SLOTS),
                            node->name});
    return snapshot;
}

} // namespace vorbex::testing_trees
