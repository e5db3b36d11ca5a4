// Trees and sequences read by the tool's own readers, and views of a tree for
// the tests of the readers and of the tree resolution.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "input/input.h"
#include "resolve/resolve.h"
#include "run/run.h"
#include "support/files.h"

namespace vorbex::test_support {

// The sequence that readTestTree gives a leaf of this serial: distinct per leaf, a few columns long.
inline std::string sequenceFor(int serial) {
    return std::string("acg") + std::string(serial % 5, "tgca"[serial % 4]);
}

// Reads `newick` with the tree reader, standard output kept quiet. With
// `sequences`, the sequence reader then gives every leaf whose name does not
// start with '_' its sequenceFor. 0, or the first reader's code.
inline int readTestTree(const std::string& newick, bool sequences = true) {
    resetNodeTable();
    treeFile = fileWith(newick);
    ::testing::internal::CaptureStdout();
    int code = readTree();
    if (code == 0 && sequences) {
        std::string fasta;
        for (int i = 0; i < leafCount; ++i) {
            const TreeNode* leaf = nodeTable[i];
            if (leaf->name[0] != '_')
                fasta += ">" + std::string(leaf->name) + "\n" + sequenceFor(leaf->serial) + "\n";
        }
        inputFile = fileWith(fasta);
        code = readSequences();
        std::fclose(inputFile);
        inputFile = nullptr;
    }
    ::testing::internal::GetCapturedStdout();
    std::fclose(treeFile);
    treeFile = nullptr;
    return code;
}

// Every node below `root`, parents before children.
inline std::vector<TreeNode*> subtreeNodes(TreeNode* root) {
    std::vector<TreeNode*> nodes;
    std::vector<TreeNode*> pending;
    if (root != nullptr)
        pending.push_back(root);
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

// The readers' tests: tree and sequence files, the report captured, and every
// node read released.
class InputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        savedMask = runSettings.outputMask;
        runSettings.outputMask = 0;
        longOptions = LongOptions{};
        resetNodeTable();
    }

    void TearDown() override {
        releaseTree();
        replaceFile(treeFile, nullptr);
        replaceFile(inputFile, nullptr);
        runSettings.outputMask = savedMask;
    }

    static void replaceFile(FILE*& file, FILE* with) {
        if (file != nullptr)
            std::fclose(file);
        file = with;
    }

    void setTree(const std::string& text) { replaceFile(treeFile, fileWith(text)); }
    void setSequences(const std::string& text) { replaceFile(inputFile, fileWith(text)); }

    TreeNode* nodeNamed(const char* name) const {
        for (int i = 0; i < nodeCount; ++i)
            if (std::string(nodeTable[i]->name) == name)
                return nodeTable[i];
        return nullptr;
    }

    ReportCapture report;

  private:
    int savedMask = 0;
};

} // namespace vorbex::test_support
