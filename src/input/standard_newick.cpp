// The NEWICK of phylogenetics programs: branch lengths, support values or
// other labels on inner nodes, quoted labels, comments in brackets and blanks
// between tokens. Lengths and comments are read past; labels become names.
// The tree is built as the names-only reader builds it, node for node.
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/output.h"
#include "input/tree_building.h"

namespace vorbex {
namespace {

bool endsUnquotedLabel(char c) {
    return c == '\0' || std::strchr(" ()[]':;,", c) != nullptr;
}

struct Scanner {
    const char* text;
    int pos = 0;

    // Past blanks and comments; ERTREE at an unclosed comment.
    ResultCode skipSpace() {
        while (text[pos] == ' ' || text[pos] == '[') {
            if (text[pos] == ' ') {
                ++pos;
                continue;
            }
            const char* close = std::strchr(text + pos, ']');
            if (close == nullptr) {
                reportBoth("Unclosed comment at pos %d\n", pos);
                return ERTREE;
            }
            pos = static_cast<int>(close - text) + 1;
        }
        return 0;
    }

    // A quoted label ('' stands for a quote) or an unquoted one, maybe empty.
    ResultCode readLabel(std::string& label) {
        label.clear();
        if (text[pos] != '\'') {
            while (!endsUnquotedLabel(text[pos]))
                label += text[pos++];
            return 0;
        }
        const int open = pos++;
        while (true) {
            if (text[pos] == '\0') {
                reportBoth("Unclosed quote at pos %d\n", open);
                return ERTREE;
            }
            if (text[pos] == '\'' && text[pos + 1] != '\'') {
                ++pos;
                return 0;
            }
            if (text[pos] == '\'')
                ++pos;
            label += text[pos++];
        }
    }

    // An optional ":" and the number behind it, in any C notation.
    ResultCode skipLength() {
        if (const ResultCode code = skipSpace(); code != 0)
            return code;
        if (text[pos] != ':')
            return 0;
        ++pos;
        if (const ResultCode code = skipSpace(); code != 0)
            return code;
        char* end = nullptr;
        std::strtod(text + pos, &end);
        if (end == text + pos) {
            reportBoth("Missing branch length at pos %d\n", pos);
            return ERTREE;
        }
        pos = static_cast<int>(end - text);
        return skipSpace();
    }

    ResultCode formatError() const {
        reportBoth("Tree format error at pos %d\n", pos);
        return ERTREE;
    }
};

ResultCode takeName(TreeNode* node, const std::string& label, int position) {
    if (static_cast<int>(label.size()) > MAX_TREE_NAME_LENGTH) {
        reportBoth("Name too long at pos %d\n", position);
        return ERTREE;
    }
    std::memcpy(node->name, label.c_str(), label.size() + 1);
    raiseMaxNameLength(static_cast<int>(label.size()));
    return 0;
}

// A new node in the table, as the first child or the root.
ResultCode addNode(TreeNode* parent, int position, TreeNode*& node) {
    node = createNode();
    if (node == nullptr)
        return ERMEM;
    node->serial = nodeCount;
    if (parent == nullptr)
        rootNode = node;
    else if (const ResultCode code = adoptChild(parent, node, position); code != 0)
        return code;
    return enterInTable(node);
}

} // namespace

ResultCode parseStandardTree(const char* text) {
    leafCount = 0;
    nodeCount = 0;
    rootNode = nullptr;
    Scanner in{text};
    if (const ResultCode code = in.skipSpace(); code != 0)
        return code;
    if (text[in.pos] == '\0')
        return 0; // no tree, as the names-only reader has it
    if (text[in.pos] != '(')
        return in.formatError();
    std::string label;
    TreeNode* group = nullptr; // the open group that takes the next item
    while (true) {
        // An item: a group opens, or a leaf
        if (const ResultCode code = in.skipSpace(); code != 0)
            return code;
        if (text[in.pos] == '(') {
            if (const ResultCode code = addNode(group, in.pos, group); code != 0)
                return code;
            ++in.pos;
            continue;
        }
        const int start = in.pos;
        if (const ResultCode code = in.readLabel(label); code != 0)
            return code;
        if (label.empty()) {
            reportBoth("Missing name at pos %d\n", start);
            return ERTREE;
        }
        TreeNode* leaf;
        if (const ResultCode code = addNode(group, start, leaf); code != 0)
            return code;
        ++leafCount;
        if (const ResultCode code = takeName(leaf, label, start); code != 0)
            return code;
        if (const ResultCode code = in.skipLength(); code != 0)
            return code;
        // Behind an item: the next one, or the end of groups
        while (text[in.pos] != ',') {
            if (text[in.pos] != ')')
                return in.formatError();
            ++in.pos;
            if (const ResultCode code = in.skipSpace(); code != 0)
                return code;
            const int labelStart = in.pos;
            if (const ResultCode code = in.readLabel(label); code != 0)
                return code;
            if (!label.empty()) {
                if (const ResultCode code = takeName(group, label, labelStart); code != 0)
                    return code;
            } else {
                nameInnerNode(group);
                raiseMaxNameLength(6);
            }
            if (const ResultCode code = in.skipLength(); code != 0)
                return code;
            if (group->parent == nullptr) {
                // The root is closed: a ";" may follow, then nothing
                if (text[in.pos] == ';') {
                    ++in.pos;
                    if (const ResultCode code = in.skipSpace(); code != 0)
                        return code;
                }
                return text[in.pos] == '\0' ? 0 : in.formatError();
            }
            group = group->parent;
        }
        ++in.pos;
    }
}

} // namespace vorbex
