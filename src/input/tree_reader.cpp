#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "base/output.h"
#include "base/result_code.h"
#include "base/settings.h"
#include "input/input.h"
#include "input/tree_building.h"

namespace vorbex {
namespace {

struct FreeDeleter {
    void operator()(char* text) const { std::free(text); }
};
using TextBuffer = std::unique_ptr<char, FreeDeleter>;

bool isDelimiter(char c) {
    return c == '(' || c == ')' || c == ',' || c == ':' || c == ';';
}

bool isAsciiLetterOrDigit(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Keeps every character but tabs, line breaks and zero bytes.
ResultCode readTreeText(char* text) {
    const std::size_t limit = treeTextSize();
    std::size_t length = 0;
    int c;
    while ((c = std::getc(treeFile)) != EOF) {
        if (c == '\t' || c == '\n' || c == '\r' || c == '\0')
            continue;
        if (length + 1 >= limit) {
            reportBoth("Maximum tree length exceeded\n");
            return ERTREE;
        }
        text[length++] = static_cast<char>(c);
    }
    if (std::ferror(treeFile))
        return ERIO;
    text[length] = '\0';
    return 0;
}

// A blank stays only between two letters or digits, so that names of several
// words keep one blank and blanks around delimiters vanish.
void dropBlanks(char* text) {
    int kept = 0;
    for (int i = 0; text[i] != '\0'; ++i) {
        if (text[i] == ' ' &&
            !(kept > 0 && isAsciiLetterOrDigit(text[kept - 1]) && isAsciiLetterOrDigit(text[i + 1])))
            continue;
        text[kept++] = text[i];
    }
    text[kept] = '\0';
}

ResultCode parseTree(const char* text) {
    leafCount = 0;
    nodeCount = 0;
    rootNode = nullptr;
    const char* first = std::strchr(text, '(');
    if (first == nullptr)
        return 0;
    TreeNode* currentNode = nullptr;
    int p = static_cast<int>(first - text);
    while (text[p] != '\0' && text[p] != ';') {
        int q = p;
        while (text[q] != '\0' && !isDelimiter(text[q]))
            ++q;
        const char delimiter = text[q];
        const int tokenLength = q - p;

        if (tokenLength == 0 && delimiter == '(') {
            TreeNode* node = createNode();
            if (node == nullptr)
                return ERMEM;
            node->serial = nodeCount;
            if (rootNode == nullptr)
                rootNode = node;
            else if (const ResultCode code = adoptChild(currentNode, node, p); code != 0)
                return code;
            if (const ResultCode code = enterInTable(node); code != 0)
                return code;
            currentNode = node;
            p = q + 1;
        } else if (tokenLength == 0 && delimiter == ')') {
            // An empty group would be an inner node without children, which
            // everything downstream takes for a leaf: an item was expected here
            if (currentNode->childCount == 0) {
                reportBoth("Missing name at pos %d\n", p);
                return ERTREE;
            }
            const int labelStart = p + 1;
            int r = labelStart;
            while (text[r] != '\0' && !isDelimiter(text[r]))
                ++r;
            const int labelLength = r - labelStart;
            if (labelLength > MAX_TREE_NAME_LENGTH) {
                reportBoth("Name too long at pos %d\n", labelStart);
                return ERTREE;
            }
            if (labelLength > 0) {
                std::memcpy(currentNode->name, text + labelStart, labelLength);
                currentNode->name[labelLength] = '\0';
                raiseMaxNameLength(labelLength);
            } else {
                nameInnerNode(currentNode);
                raiseMaxNameLength(6);
            }
            const char behind = text[r];
            if (behind == ';')
                break;
            if (behind != ',' && behind != ')') {
                reportBoth("Tree format error at pos %d after ':'\n", r);
                return ERTREE;
            }
            // The root is closed: there is no node left for further items
            if (currentNode->parent == nullptr) {
                reportBoth("Tree format error at pos %d\n", r);
                return ERTREE;
            }
            p = behind == ',' ? r + 1 : r;
            currentNode = currentNode->parent;
        } else if (tokenLength > 0) {
            if (tokenLength > MAX_TREE_NAME_LENGTH) {
                reportBoth("Name too long at pos %d\n", p);
                return ERTREE;
            }
            raiseMaxNameLength(tokenLength);
            TreeNode* leaf = createNode();
            if (leaf == nullptr)
                return ERMEM;
            leaf->serial = nodeCount;
            std::memcpy(leaf->name, text + p, tokenLength);
            leaf->name[tokenLength] = '\0';
            if (const ResultCode code = adoptChild(currentNode, leaf, p); code != 0)
                return code;
            ++leafCount;
            if (const ResultCode code = enterInTable(leaf); code != 0)
                return code;
            if (delimiter != ',' && delimiter != ')') {
                reportBoth("Tree format error at pos %d\n", q);
                return ERTREE;
            }
            p = delimiter == ',' ? q + 1 : q;
        } else {
            reportBoth("Missing name at pos %d\n", p);
            return ERTREE;
        }
    }
    return 0;
}

} // namespace

void raiseMaxNameLength(int length) {
    if (length > maxNameLength)
        maxNameLength = length;
}

bool appendChild(TreeNode* parent, TreeNode* child) {
    if (parent->manyChildren == nullptr && parent->childCount < MAX_CHILDREN) {
        parent->children[parent->childCount++] = child;
        return true;
    }
    // The room of many children doubles from twice the slots, so that their
    // count tells when it is full
    const std::size_t count = static_cast<std::size_t>(parent->childCount);
    std::size_t room = 2 * CHILD_SLOTS;
    while (room < count)
        room *= 2;
    if (parent->manyChildren == nullptr || count == room) {
        const std::size_t grownRoom = parent->manyChildren == nullptr ? room : 2 * room;
        auto* grown = static_cast<TreeNode**>(std::calloc(grownRoom, sizeof(TreeNode*)));
        if (grown == nullptr)
            return false;
        std::memcpy(grown, childrenOf(parent), count * sizeof(TreeNode*));
        std::free(parent->manyChildren);
        std::memset(parent->children, 0, sizeof parent->children);
        parent->manyChildren = grown;
    }
    parent->manyChildren[parent->childCount++] = child;
    return true;
}

ResultCode adoptChild(TreeNode* parent, TreeNode* child, int position) {
    child->parent = parent;
    // Only the heuristic search resolves a node of more children than its slots
    if (longOptions.search == Search::HEURISTIC)
        return appendChild(parent, child) ? 0 : ERMEM;
    parent->children[parent->childCount++] = child;
    if (parent->childCount > MAX_CHILDREN) {
        reportBoth("Maximum order exceeded at pos %d\n", position);
        return ERTREE;
    }
    return 0;
}

ResultCode enterInTable(TreeNode* node) {
    if (const ResultCode code = checkTableRoom(nodeCount + 1); code != 0)
        return code;
    nodeTable[nodeCount++] = node;
    return 0;
}

namespace {

// Pre-order, children in slot order.
void reportPolytomies() {
    if (rootNode == nullptr)
        return;
    std::vector<const TreeNode*> pending;
    pending.reserve(nodeCount);
    pending.push_back(rootNode);
    while (!pending.empty()) {
        const TreeNode* node = pending.back();
        pending.pop_back();
        if (node->childCount > 2) {
            std::printf("Polytomic(%02d) node \"%s\" found in source tree\n", node->childCount, node->name);
            if (runSettings.outputMask & OUT_VERBOSE)
                reportOnly("Polytomic(%02d) node \"%s\" found in source tree\n", node->childCount,
                           node->name);
        }
        for (int i = node->childCount - 1; i >= 0; --i)
            pending.push_back(childrenOf(node)[i]);
    }
}

} // namespace

int readTree() {
    // Room for the file's text and, once it is parsed, for the echo of any tree
    // that fits the table (generated names can make the echo longer than the text)
    TextBuffer text(static_cast<char*>(std::calloc(std::max(treeTextSize(), newickTextSize()), 1)));
    if (text == nullptr)
        return ERMEM;
    if (const ResultCode code = readTreeText(text.get()); code != 0)
        return code;
    if (longOptions.standardNewick) {
        if (const ResultCode code = parseStandardTree(text.get()); code != 0)
            return code;
    } else {
        dropBlanks(text.get());
        if (const ResultCode code = parseTree(text.get()); code != 0)
            return code;
    }

    std::printf("Source tree read (overall %d nodes, %d leaves)\n", nodeCount, leafCount);
    if (runSettings.outputMask & OUT_VERBOSE) {
        reportOnly("\nSource tree read (overall %d nodes, %d leaves):\n", nodeCount, leafCount);
        if (const ResultCode code = echoTree(rootNode, text.get()); code != 0)
            return code;
    }
    text.reset();

    reportPolytomies();
    sortNodeTable(nodeCount);
    return 0;
}

} // namespace vorbex
