// Test nodes whose profiles are written as strings, and the reverse view.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "input/input.h"
#include "run/run.h"

namespace vorbex::test_support {

// A node with both profiles of the default longest alignment and nothing in
// them; nullptr without memory.
inline TreeNode* emptyNode() {
    TreeNode* node = createNode();
    if (node != nullptr && !reserveProfiles(node, MAXSEQLEN)) {
        releaseNode(node);
        node = nullptr;
    }
    return node;
}

// Owns the nodes a test makes and releases them at the end of the test.
class NodePool {
  public:
    NodePool() = default;
    NodePool(const NodePool&) = delete;
    NodePool& operator=(const NodePool&) = delete;
    ~NodePool() {
        for (TreeNode* node : nodes_)
            releaseNode(node);
    }

    TreeNode* empty() {
        TreeNode* node = emptyNode();
        if (node != nullptr)
            nodes_.push_back(node);
        return node;
    }

    // A leaf whose working and saved profiles hold one column per letter of
    // `bases` (IUPAC codes in either case; '-' gives a gap column).
    TreeNode* leaf(const char* bases) {
        TreeNode* node = empty();
        const int length = static_cast<int>(std::strlen(bases));
        for (int c = 0; c < length; ++c) {
            const char code = static_cast<char>(std::tolower(static_cast<unsigned char>(bases[c])));
            if (code != '-')
                nucleotideColumn(code, node->workProfile[c]);
            node->savedProfile[c] = node->workProfile[c];
        }
        node->workLength = node->savedLength = length;
        return node;
    }

    // An inner node over two children, not yet built.
    TreeNode* inner(TreeNode* first, TreeNode* second) {
        TreeNode* node = empty();
        node->childCount = 2;
        node->children[0] = first;
        node->children[1] = second;
        first->parent = second->parent = node;
        return node;
    }

  private:
    std::vector<TreeNode*> nodes_;
};

// One character per column: the base of a definite column, '-' for a gap
// column, '?' for anything else.
inline std::string columnsText(const ProfileColumn* columns, int length) {
    std::string text;
    for (int c = 0; c < length; ++c) {
        char letter = '-';
        if (!isGapColumn(columns[c])) {
            letter = '?';
            for (int x = 0; x < BASE_COUNT; ++x)
                if (columns[c].weight[x] == 1.0)
                    letter = "ACGT"[x];
        }
        text += letter;
    }
    return text;
}

inline std::string workText(const TreeNode* node) {
    return columnsText(node->workProfile, node->workLength);
}

inline std::string savedText(const TreeNode* node) {
    return columnsText(node->savedProfile, node->savedLength);
}

// Fresh settings and a table of leaves s1, s2, ... as the backward pass leaves
// them: working profiles one column per aligned position ('-' a gap column),
// texts and saved profiles the sequences without gaps.
inline void setUpLeaves(const std::vector<std::string>& alignedTexts) {
    if (initialiseRun() != 0)
        return;
    // Tables above the default's size as --max-nodes allows them
    longOptions.maxNodes = std::max(DEFAULT_MAX_NODES, static_cast<int>(alignedTexts.size()));
    for (const std::string& aligned : alignedTexts) {
        if (checkTableRoom(leafCount + 1) != 0)
            return;
        TreeNode* leaf = emptyNode();
        nodeTable[leafCount++] = leaf;
        std::snprintf(leaf->name, NAME_SIZE, "s%d", leafCount);
        if (!reserveWorkText(leaf, MAXSEQLEN + 1))
            return;
        leaf->sourceText = static_cast<char*>(std::calloc(MAXSEQLEN + 1, 1));
        for (std::size_t i = 0; i < aligned.size(); ++i) {
            if (aligned[i] == '-')
                continue; // the profile column stays all zero
            nucleotideColumn(aligned[i], leaf->workProfile[i]);
            leaf->savedProfile[leaf->savedLength] = leaf->workProfile[i];
            leaf->sourceText[leaf->savedLength] = leaf->workText[leaf->savedLength] = aligned[i];
            ++leaf->savedLength;
        }
        leaf->workLength = static_cast<int>(aligned.size());
    }
    nodeCount = leafCount;
}

inline void releaseLeaves() {
    for (int i = 0; i < nodeCount; ++i)
        releaseNode(nodeTable[i]);
    resetNodeTable();
}

} // namespace vorbex::test_support
