#include <cstring>
#include <vector>

#include "base/output.h"
#include "base/result_code.h"
#include "input/input.h"

namespace vorbex {
namespace {

// An inner node being written and the slot of the child written last.
struct WriteFrame {
    const TreeNode* node;
    int child;
};

// Appends `length` characters when they and the terminator still fit.
bool append(char*& out, const char* end, const char* text, std::size_t length) {
    if (end - out <= static_cast<std::ptrdiff_t>(length))
        return false;
    std::memcpy(out, text, length);
    out += length;
    return true;
}

bool appendName(char*& out, const char* end, const TreeNode* node) {
    return append(out, end, node->name, std::strlen(node->name));
}

} // namespace

char* writeNewick(const TreeNode* node, char* out, const char* end) {
    if (end - out < 1)
        return nullptr;
    // Trees may be thousands of levels deep: walk with a stack of our own
    std::vector<WriteFrame> open;
    open.reserve(64);
    const TreeNode* next = node;
    while (true) {
        // Down the first children to a leaf
        while (next->childCount > 0) {
            if (!append(out, end, "(", 1))
                return nullptr;
            open.push_back({next, 0});
            next = childrenOf(next)[0];
        }
        if (!appendName(out, end, next))
            return nullptr;
        // Up past every node whose children are all written, then on to the next sibling
        next = nullptr;
        while (!open.empty()) {
            WriteFrame& frame = open.back();
            if (++frame.child < frame.node->childCount) {
                if (!append(out, end, ",", 1))
                    return nullptr;
                next = childrenOf(frame.node)[frame.child];
                break;
            }
            if (!append(out, end, ")", 1) || !appendName(out, end, frame.node))
                return nullptr;
            open.pop_back();
        }
        if (next == nullptr)
            break;
    }
    *out = '\0';
    return out;
}

int echoTree(const TreeNode* root, char* text) {
    // Without any "(" there is no tree: the echo is the semicolon alone
    text[0] = '\0';
    if (root != nullptr && writeNewick(root, text, text + newickTextSize()) == nullptr) {
        reportBoth("Tree text buffer exceeded\n");
        return ERINT;
    }
    reportOnly("%s;\n", text);
    return 0;
}

} // namespace vorbex
