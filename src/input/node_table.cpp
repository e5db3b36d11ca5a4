#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <unordered_set>
#include <vector>

#include "base/output.h"
#include "base/result_code.h"
#include "input/input.h"

namespace vorbex {

namespace {
constexpr std::size_t DEFAULT_TREE_TEXT_SIZE = 250000;
// The default table, and a larger one once a tree needs it: plain memory
// that outlives the run, as the nodes it points to do
TreeNode* defaultTable[DEFAULT_MAX_NODES];
std::size_t tableRoom = DEFAULT_MAX_NODES;
} // namespace

TreeNode** nodeTable = defaultTable;
int nodeCount = 0;
int leafCount = 0;
TreeNode* rootNode = nullptr;
int nodeTableGeneration = 0;
int nodeTableOrder = 0;
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
    std::free(node->manyChildren);
    std::free(node->workFlags);
    std::free(node->savedFlags);
    std::free(node);
}

namespace {

// `buffer` from `had` to `count` elements, zero-filled beyond what it held:
// a fresh calloc and a copy, so that pages beyond the copy stay untouched
// until used.
template <typename T> bool growBuffer(T*& buffer, int had, int count) {
    T* grown = static_cast<T*>(std::calloc(static_cast<std::size_t>(count), sizeof(T)));
    if (grown == nullptr)
        return false;
    if (buffer != nullptr && had > 0)
        std::memcpy(static_cast<void*>(grown), buffer, sizeof(T) * static_cast<std::size_t>(had));
    std::free(buffer);
    buffer = grown;
    return true;
}

} // namespace

bool reserveProfiles(TreeNode* node, int columns) {
    const int had = node->columnRoom;
    if (node->workProfile != nullptr && node->savedProfile != nullptr && columns <= had)
        return true;
    const int room = std::max({columns, had, 1});
    for (ProfileColumn** buffer : {&node->workProfile, &node->savedProfile})
        if (*buffer == nullptr ? !growBuffer(*buffer, 0, room)
                               : room > had && !growBuffer(*buffer, had, room))
            return false;
    node->columnRoom = room;
    return true;
}

bool reserveFlags(TreeNode* node, int columns) {
    const int had = node->flagRoom;
    if (node->workFlags != nullptr && node->savedFlags != nullptr && columns <= had)
        return true;
    const int room = std::max({columns, had, 1});
    for (std::uint8_t** buffer : {&node->workFlags, &node->savedFlags})
        if (*buffer == nullptr ? !growBuffer(*buffer, 0, room)
                               : room > had && !growBuffer(*buffer, had, room))
            return false;
    node->flagRoom = room;
    return true;
}

bool spendProfiles(TreeNode* node) {
    if (node->workProfile == nullptr || node->savedProfile == nullptr)
        return true;
    const int columns = std::max(node->workLength, node->savedLength);
    if (!reserveFlags(node, columns))
        return false;
    for (int c = 0; c < node->workLength; ++c)
        node->workFlags[c] = columnFlags(node->workProfile[c]);
    for (int c = 0; c < node->savedLength; ++c)
        node->savedFlags[c] = columnFlags(node->savedProfile[c]);
    releaseProfiles(node);
    return true;
}

void releaseProfiles(TreeNode* node) {
    std::free(node->workProfile);
    std::free(node->savedProfile);
    node->workProfile = node->savedProfile = nullptr;
    node->columnRoom = 0;
}

void releaseFlags(TreeNode* node) {
    std::free(node->workFlags);
    std::free(node->savedFlags);
    node->workFlags = node->savedFlags = nullptr;
    node->flagRoom = 0;
}

bool lightPasses = false;

bool restoreLeafProfiles(TreeNode* leaf) {
    if (leaf->workProfile != nullptr || leaf->workFlags != nullptr || leaf->sourceText == nullptr)
        return true;
    if (!reserveProfiles(leaf, leaf->savedLength))
        return false;
    for (int c = 0; c < leaf->savedLength; ++c) {
        (void)nucleotideColumn(leaf->sourceText[c], leaf->savedProfile[c]);
        leaf->workProfile[c] = leaf->savedProfile[c];
    }
    return true;
}

void resetLeaf(TreeNode* leaf) {
    leaf->workLength = leaf->savedLength;
    if (leaf->workText != nullptr && leaf->sourceText != nullptr)
        std::strcpy(leaf->workText, leaf->sourceText);
    releaseFlags(leaf);
    if (leaf->workProfile != nullptr && leaf->savedProfile != nullptr)
        std::memcpy(leaf->workProfile, leaf->savedProfile, sizeof(ProfileColumn) * leaf->savedLength);
}

bool reserveWorkText(TreeNode* node, int chars) {
    if (node->workText != nullptr && chars <= node->textRoom)
        return true;
    const int had = node->workText != nullptr ? node->textRoom : 0;
    if (!growBuffer(node->workText, had, chars))
        return false;
    node->textRoom = chars;
    return true;
}

int scaledColumnCapacity(int longestSequence, int longestAlignment) {
    const double scaled = longestSequence * 2.5;
    return scaled < longestAlignment ? static_cast<int>(scaled) : longestAlignment;
}

int workTextLength(const TreeNode* node) {
    return static_cast<int>(strnlen(node->workText, static_cast<std::size_t>(node->textRoom)));
}

bool allocateProfiles(TreeNode* node) {
    return reserveProfiles(node, columnCapacity);
}

bool storeTexts(TreeNode* node, const char* text, int length) {
    const std::size_t size = static_cast<std::size_t>(length) + 1;
    node->sourceText = static_cast<char*>(std::malloc(size));
    if (node->sourceText == nullptr || !reserveWorkText(node, length + 1))
        return false;
    if (length > 0)
        std::memcpy(node->sourceText, text, static_cast<std::size_t>(length));
    node->sourceText[length] = '\0';
    std::memcpy(node->workText, node->sourceText, size);
    return true;
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
    ++nodeTableOrder;
    std::sort(nodeTable, nodeTable + count,
              [](const TreeNode* a, const TreeNode* b) { return a != b && compareNodes(a, b) < 0; });
}

int nodeTableSize() {
    return longOptions.maxNodes;
}

std::size_t treeTextSize() {
    const auto nodes = static_cast<std::size_t>(nodeTableSize());
    const std::size_t scaled = (DEFAULT_TREE_TEXT_SIZE * nodes + DEFAULT_MAX_NODES - 1) / DEFAULT_MAX_NODES;
    return std::max(scaled, DEFAULT_TREE_TEXT_SIZE);
}

std::size_t newickTextSize() {
    return static_cast<std::size_t>(nodeTableSize()) * (NAME_SIZE + 3) + 1;
}

int checkTableRoom(int count) {
    if (count > nodeTableSize()) {
        reportBoth("Maximum number of tree nodes exceeded (%d)\n", nodeTableSize());
        return ERTREE;
    }
    if (static_cast<std::size_t>(count) > tableRoom) {
        // Doubling keeps a growing table's copies linear in its size
        const std::size_t room = std::min(std::max(static_cast<std::size_t>(count), 2 * tableRoom),
                                          static_cast<std::size_t>(nodeTableSize()));
        auto* grown = static_cast<TreeNode**>(std::calloc(room, sizeof(TreeNode*)));
        if (grown == nullptr)
            return ERMEM;
        std::memcpy(static_cast<void*>(grown), nodeTable, tableRoom * sizeof(TreeNode*));
        if (nodeTable != defaultTable)
            std::free(nodeTable);
        nodeTable = grown;
        tableRoom = room;
    }
    return 0;
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
        const int slots = node->manyChildren != nullptr ? node->childCount : CHILD_SLOTS;
        for (int i = 0; i < node->childCount && i < slots; ++i)
            if (childrenOf(node)[i] != nullptr)
                pending.push_back(childrenOf(node)[i]);
        if (node->twin != nullptr)
            pending.push_back(node->twin);
    }
    for (TreeNode* node : seen)
        releaseNode(node);
    resetNodeTable();
}

void resetNodeTable() {
    ++nodeTableGeneration;
    ++nodeTableOrder;
    std::fill(nodeTable, nodeTable + tableRoom, nullptr);
    nodeCount = 0;
    leafCount = 0;
    rootNode = nullptr;
    maxNameLength = 3;
    columnCapacity = 0;
    lightPasses = false;
}

} // namespace vorbex
