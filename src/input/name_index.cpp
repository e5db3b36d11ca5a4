#include "input/name_index.h"

#include <string>
#include <unordered_map>

namespace vorbex {

namespace {

std::string foldedName(const char* name) {
    std::string folded(name);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

// The table's first node of each folded name, over its first `indexed`
// entries, for one table in one order
struct NameIndex {
    int generation = -1;
    int order = -1;
    int indexed = 0;
    std::unordered_map<std::string, TreeNode*> first;
};

NameIndex index;

} // namespace

TreeNode* findNode(const char* name) {
    // A new table, a sorted one or one that lost entries is indexed afresh;
    // entries appended since the last lookup are added
    if (index.generation != nodeTableGeneration || index.order != nodeTableOrder ||
        index.indexed > nodeCount) {
        index.first.clear();
        index.indexed = 0;
        index.generation = nodeTableGeneration;
        index.order = nodeTableOrder;
    }
    for (; index.indexed < nodeCount; ++index.indexed) {
        TreeNode* node = nodeTable[index.indexed];
        index.first.emplace(foldedName(node->name), node);
    }
    const auto found = index.first.find(foldedName(name));
    return found != index.first.end() ? found->second : nullptr;
}

} // namespace vorbex
