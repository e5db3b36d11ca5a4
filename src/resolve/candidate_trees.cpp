#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/result_code.h"
#include "resolve/resolve.h"

namespace vorbex {

int baseSerial = 0;
int candidateNodeCount = 0;

namespace {

int firstCandidate = 1;
bool exhausted = false;
std::vector<int> variantIndex;
// Resolutions of a candidate given whole (candidateTreeOf); empty otherwise
std::vector<Topology> givenTopologies;
int newNodeCount = 0;
// Pending nodes of the index and teardown walks; a candidate of any depth fits.
std::vector<TreeNode*> walkStack;
// Replacement nodes of earlier candidates, kept with their profiles: every
// candidate needs as many, and zeroing fresh profiles showed in the profile.
std::vector<TreeNode*> spareNodes;
constexpr std::size_t MAX_SPARE_NODES = 4096;

// A replacement node goes back to the spares, or is freed when they are full.
void retireNode(TreeNode* node) {
    if (spareNodes.size() < MAX_SPARE_NODES) {
        spareNodes.push_back(node);
        return;
    }
    releaseNode(node);
}

// A spare node as createNode gives it, but for its profiles: what they hold
// is stale, as a profile's columns beyond its length always are.
TreeNode* takeSpareNode() {
    TreeNode* node = spareNodes.back();
    spareNodes.pop_back();
    ProfileColumn* const work = node->workProfile;
    ProfileColumn* const saved = node->savedProfile;
    const int room = node->columnRoom;
    std::free(node->workText);
    std::free(node->sourceText);
    std::free(node->workFlags);
    std::free(node->savedFlags);
    std::memset(static_cast<void*>(node), 0, sizeof *node);
    node->workProfile = work;
    node->savedProfile = saved;
    node->columnRoom = room;
    return node;
}

// Slot of `node` among the children of `parent`; -1 when it is not there.
int findChild(const TreeNode* parent, const TreeNode* node) {
    TreeNode* const* children = childrenOf(parent);
    for (int i = 0; i < parent->childCount; ++i)
        if (children[i] == node)
            return i;
    return -1;
}

bool isChildOf(const TreeNode* node, const TreeNode* parent) {
    return findChild(parent, node) >= 0;
}

// A replacement node: binary, with its serial and full-size profiles; nullptr without memory.
TreeNode* makeReplacementNode(TreeNode* parent) {
    TreeNode* node = spareNodes.empty() ? createNode() : takeSpareNode();
    if (node == nullptr)
        return nullptr;
    node->parent = parent;
    node->serial = baseSerial + newNodeCount++;
    node->childCount = 2;
    if (!allocateProfiles(node)) {
        releaseNode(node);
        return nullptr;
    }
    return node;
}

// The first empty one of the two child slots; nullptr when both are filled.
TreeNode** emptySlot(TreeNode* node) {
    if (node->children[0] == nullptr)
        return &node->children[0];
    if (node->children[1] == nullptr)
        return &node->children[1];
    return nullptr;
}

// The top node of a replacement, in the polytomic node's place and twinned
// with it; nullptr with the code when it cannot be made.
TreeNode* placeReplacement(TreeNode* polytomic, ResultCode& code) {
    TreeNode* parent = polytomic->parent;
    int slot = -1;
    if (parent != nullptr && (slot = findChild(parent, polytomic)) < 0) {
        code = ERINT;
        return nullptr;
    }
    TreeNode* replacement = makeReplacementNode(parent);
    if (replacement == nullptr) {
        code = ERMEM;
        return nullptr;
    }
    std::memcpy(replacement->name, polytomic->name, NAME_SIZE);
    replacement->twin = polytomic;
    polytomic->twin = replacement;
    if (parent != nullptr)
        childrenOf(parent)[slot] = replacement;
    else
        rootNode = replacement;
    return replacement;
}

// Puts the subtree of `topology` in place of the polytomic node.
ResultCode buildReplacement(TreeNode* polytomic, const char* topology) {
    ResultCode code = 0;
    TreeNode* replacement = placeReplacement(polytomic, code);
    if (replacement == nullptr)
        return code;

    TreeNode* current = replacement;
    for (const char* c = topology; *c != '\0'; ++c) {
        if (*c == ')') {
            if (current->children[1] == nullptr || current->parent == nullptr)
                return ERINT;
            current = current->parent;
            continue;
        }
        TreeNode** target = emptySlot(current);
        if (target == nullptr)
            return ERINT;
        if (isChildLetter(*c)) {
            const int index = *c - 'A';
            if (index >= polytomic->childCount)
                return ERINT;
            TreeNode* child = childrenOf(polytomic)[index];
            *target = child;
            child->parent = current;
        } else if (*c == '(') {
            TreeNode* group = makeReplacementNode(current);
            if (group == nullptr)
                return ERMEM;
            nameInnerNode(group);
            *target = group;
            current = group;
        } else {
            return ERINT;
        }
    }
    return current == replacement && current->children[1] != nullptr ? 0 : ERINT;
}

// The lowest child below node `at` of the topology
int lowestChild(const Topology& t, int at, std::vector<int>& lowest) {
    if (at < t.order)
        return at;
    int& known = lowest[static_cast<std::size_t>(at - t.order)];
    if (known < 0)
        known = std::min(lowestChild(t, t.left[static_cast<std::size_t>(at - t.order)], lowest),
                         lowestChild(t, t.right[static_cast<std::size_t>(at - t.order)], lowest));
    return known;
}

// True when every node but the top is a side of exactly one inner node and
// the top of none: then the sides from the top make a tree of every node.
bool isResolutionOf(const Topology& t, int order) {
    if (t.order != order || order < 2 || t.left.size() != static_cast<std::size_t>(order - 1) ||
        t.right.size() != t.left.size())
        return false;
    std::vector<int> uses(static_cast<std::size_t>(2 * order - 1), 0);
    for (std::size_t j = 0; j < t.left.size(); ++j)
        for (const int side : {t.left[j], t.right[j]}) {
            if (side < 0 || side >= 2 * order - 2)
                return false;
            ++uses[static_cast<std::size_t>(side)];
        }
    for (int node = 0; node < 2 * order - 2; ++node)
        if (uses[static_cast<std::size_t>(node)] != 1)
            return false;
    return true;
}

// Puts the subtree of the resolution in place of the polytomic node: as
// buildReplacement does for the same resolution's text, node for node.
ResultCode buildReplacementOf(TreeNode* polytomic, const Topology& t) {
    const int order = polytomic->childCount;
    if (!isResolutionOf(t, order))
        return ERINT;
    ResultCode code = 0;
    TreeNode* replacement = placeReplacement(polytomic, code);
    if (replacement == nullptr)
        return code;
    std::vector<int> lowest(static_cast<std::size_t>(order - 1), -1);
    std::vector<bool> placed(static_cast<std::size_t>(order), false);
    const auto inRange = [&](int at) { return at >= 0 && at <= 2 * order - 2; };
    // The sides of a topology node, the one holding the lowest child first
    const auto sidesOf = [&](int at, int(&sides)[2]) {
        const std::size_t join = static_cast<std::size_t>(at - order);
        sides[0] = t.left[join];
        sides[1] = t.right[join];
        if (!inRange(sides[0]) || !inRange(sides[1]))
            return false;
        if (lowestChild(t, sides[1], lowest) < lowestChild(t, sides[0], lowest))
            std::swap(sides[0], sides[1]);
        return true;
    };
    // Preorder, the first side whole before the second, as the text is read
    struct Frame {
        TreeNode* node;
        int sides[2];
        int next;
    };
    std::vector<Frame> open(1, Frame{replacement, {0, 0}, 0});
    int innerNodes = 1;
    if (!sidesOf(2 * order - 2, open[0].sides))
        return ERINT;
    while (!open.empty()) {
        if (open.back().next == 2) {
            open.pop_back();
            continue;
        }
        TreeNode* node = open.back().node;
        const int slot = open.back().next++;
        const int side = open.back().sides[slot];
        if (side < order) {
            if (placed[static_cast<std::size_t>(side)])
                return ERINT;
            placed[static_cast<std::size_t>(side)] = true;
            TreeNode* child = childrenOf(polytomic)[side];
            node->children[slot] = child;
            child->parent = node;
            continue;
        }
        // A topology that names an inner node twice would never end
        if (++innerNodes > order - 1)
            return ERINT;
        TreeNode* group = makeReplacementNode(node);
        if (group == nullptr)
            return ERMEM;
        nameInnerNode(group);
        node->children[slot] = group;
        Frame frame{group, {0, 0}, 0};
        if (!sidesOf(side, frame.sides))
            return ERINT;
        open.push_back(frame);
    }
    return innerNodes == order - 1 ? 0 : ERINT;
}

// Puts the polytomic node back in place of its replacement and frees the
// replacement nodes; its own children hang from it again.
ResultCode tearDownReplacement(TreeNode* polytomic) {
    TreeNode* replacement = polytomic->twin;
    if (replacement == nullptr)
        return ERINT;
    polytomic->twin = nullptr;
    TreeNode* parent = polytomic->parent;
    if (parent != nullptr) {
        const int slot = findChild(parent, replacement);
        if (slot < 0)
            return ERINT;
        childrenOf(parent)[slot] = polytomic;
    } else {
        rootNode = polytomic;
    }
    walkStack.clear();
    walkStack.push_back(replacement->children[1]);
    TreeNode* node = replacement->children[0];
    retireNode(replacement);
    while (true) {
        if (node != nullptr && !isChildOf(node, polytomic)) {
            walkStack.push_back(node->children[1]);
            TreeNode* next = node->children[0];
            retireNode(node);
            node = next;
            continue;
        }
        if (node != nullptr)
            node->parent = polytomic;
        if (walkStack.empty())
            return 0;
        node = walkStack.back();
        walkStack.pop_back();
    }
}

// Later subtrees may hang from replacement nodes of earlier ones: last built, first gone.
ResultCode tearDownCandidate() {
    for (int i = polytomicCount - 1; i >= 0; --i)
        if (const ResultCode code = tearDownReplacement(polytomicNodes[i]); code != 0)
            return code;
    return 0;
}

// True when every index went back to 0: all combinations were tried.
bool advanceOdometer() {
    for (int i = 0; i < polytomicCount; ++i) {
        if (variantIndex[i] < polytomicNodes[i]->variantCount - 1) {
            ++variantIndex[i];
            return false;
        }
        variantIndex[i] = 0;
    }
    return true;
}

ResultCode buildCandidate() {
    newNodeCount = 0;
    for (int i = 0; i < polytomicCount; ++i) {
        TreeNode* polytomic = polytomicNodes[i];
        const int order = polytomic->childCount;
        if (!givenTopologies.empty()) {
            if (const ResultCode code =
                    buildReplacementOf(polytomic, givenTopologies[static_cast<std::size_t>(i)]);
                code != 0)
                return code;
            continue;
        }
        char topology[TOPOLOGY_TEXT_SIZE];
        if (!topologyText(order, variantIndex[i], topology))
            return ERINT;
        if (const ResultCode code = buildReplacement(polytomic, topology); code != 0)
            return code;
    }
    return 0;
}

// Enters the candidate into the table depth first, first child before second,
// giving every child its parent's depth plus 1.
ResultCode indexCandidate() {
    candidateNodeCount = nodeCount - polytomicCount + newNodeCount;
    if (const ResultCode code = checkTableRoom(candidateNodeCount); code != 0)
        return code;
    if (rootNode == nullptr)
        return ERINT;
    walkStack.clear();
    walkStack.reserve(candidateNodeCount);
    int entered = 0;
    TreeNode* node = rootNode;
    while (true) {
        if (entered == candidateNodeCount)
            return ERINT;
        nodeTable[entered++] = node;
        if (node->childCount == 2) {
            node->children[0]->depth = node->depth + 1;
            node->children[1]->depth = node->depth + 1;
            walkStack.push_back(node->children[1]);
            node = node->children[0];
        } else if (node->childCount == 0) {
            if (walkStack.empty())
                break;
            node = walkStack.back();
            walkStack.pop_back();
        } else {
            return ERINT;
        }
    }
    return entered == candidateNodeCount ? 0 : ERINT;
}

// Leaves back to their source data; inner nodes empty, for the passes to fill.
// A leaf inside a kept settled subtree is the passes' own: they give it its
// text without reading its profile.
void resetWorkingState() {
    for (int i = 0; i < leafCount; ++i) {
        TreeNode* leaf = nodeTable[i];
        if (leaf->settledRole & SETTLED_INSIDE)
            continue;
        resetLeaf(leaf);
    }
    for (int i = leafCount; i < candidateNodeCount; ++i) {
        TreeNode* node = nodeTable[i];
        node->savedLength = 0;
        node->workLength = 0;
        // Flags a failed candidate left: a node is built from its profiles
        if (!(node->settledRole & SETTLED_INSIDE))
            releaseFlags(node);
    }
}

// Builds the candidate of the current variant indexes and readies it for the passes.
ResultCode standCandidate() {
    if (const ResultCode code = buildCandidate(); code != 0)
        return code;
    if (const ResultCode code = indexCandidate(); code != 0)
        return code;
    sortNodeTable(candidateNodeCount);
    resetWorkingState();
    return 0;
}

} // namespace

int nextCandidateTree() {
    if (exhausted)
        return NO_MORE_CANDIDATES;
    givenTopologies.clear();
    if (firstCandidate) {
        firstCandidate = 0;
        variantIndex.assign(static_cast<std::size_t>(polytomicCount), 0);
    } else {
        if (const ResultCode code = tearDownCandidate(); code != 0)
            return code;
        if (advanceOdometer()) {
            exhausted = true;
            return NO_MORE_CANDIDATES;
        }
    }
    return standCandidate();
}

int candidateTreeAt(int number) {
    if (number < 1 || number > treesToTry)
        return NO_MORE_CANDIDATES;
    if (!firstCandidate && !exhausted)
        if (const ResultCode code = tearDownCandidate(); code != 0)
            return code;
    firstCandidate = 0;
    exhausted = false;
    givenTopologies.clear();
    variantIndex.assign(static_cast<std::size_t>(polytomicCount), 0);
    // The candidate's number less one, in the mixed radix of the variant
    // counts, the first polytomic node's digit varying fastest
    int rest = number - 1;
    for (int i = 0; i < polytomicCount; ++i) {
        variantIndex[i] = rest % polytomicNodes[i]->variantCount;
        rest /= polytomicNodes[i]->variantCount;
    }
    return standCandidate();
}

int candidateTreeOf(const std::vector<Topology>& topologies) {
    if (topologies.size() != static_cast<std::size_t>(polytomicCount) || polytomicCount == 0)
        return ERINT;
    if (!firstCandidate && !exhausted)
        if (const ResultCode code = tearDownCandidate(); code != 0)
            return code;
    firstCandidate = 0;
    exhausted = false;
    givenTopologies = topologies;
    return standCandidate();
}

int restoreActualTree() {
    if (firstCandidate || exhausted)
        return 0;
    exhausted = true;
    return tearDownCandidate();
}

void resetCandidateBuilder() {
    firstCandidate = 1;
    exhausted = false;
    variantIndex.clear();
    givenTopologies.clear();
    newNodeCount = 0;
    candidateNodeCount = 0;
}

void releaseResolution() {
    resetCandidateBuilder();
    for (TreeNode* node : spareNodes)
        releaseNode(node);
    spareNodes.clear();
    releaseResolutionTables();
    polytomicCount = 0;
    maxPolytomyOrder = 0;
    treesToTry = 1.0;
    baseSerial = 0;
}

} // namespace vorbex
