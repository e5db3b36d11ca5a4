// Test nodes with definite profiles written as strings, and the reverse view.
#pragma once

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "input/input.h"

namespace vorbex::testing_support {

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

    // A node with both profiles allocated and nothing in them.
    TreeNode* empty() {
        TreeNode* node = createNode();
        if (node != nullptr && !allocateProfiles(node)) {
            releaseNode(node);
            node = nullptr;
        }
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
        const ProfileColumn& column = columns[c];
        char letter = '?';
        if (isGapColumn(column)) {
            letter = '-';
        } else {
            for (int x = 0; x < BASE_COUNT; ++x)
                if (column.weight[x] == 1.0)
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

} // namespace vorbex::testing_support
