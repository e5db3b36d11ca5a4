// The two passes over a candidate tree: profiles built upwards by pairwise
// alignment, then the gap columns carried back down to the leaves.
#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "align/align.h"
#include "align/settled_subtrees.h"
#include "align/subtree_threads.h"
#include "align/tree_passes.h"
#include "base/output.h"
#include "base/settings.h"
#include "report/report.h"
#include "resolve/resolve.h"

namespace vorbex {

namespace {

// Key of a node's subtree in the current candidate, and the number of
// replacement subtrees within it.
struct NodeMark {
    SubtreeKey key;
    int replacements;
};

std::unordered_map<const TreeNode*, NodeMark> candidateMarks;

NodeMark markOf(const TreeNode* node) {
    if (node->childCount == 0)
        return {leafSubtreeKey(node), 0};
    const auto found = candidateMarks.find(node);
    return found != candidateMarks.end() ? found->second : NodeMark{NO_SUBTREE_KEY, polytomicCount};
}

// A subtree that holds every replacement subtree tells the candidate apart
// from all others and never comes again: it gets no key.
SubtreeKey keySubtree(const TreeNode* parent) {
    const NodeMark first = markOf(parent->children[0]);
    const NodeMark second = markOf(parent->children[1]);
    NodeMark mark{NO_SUBTREE_KEY,
                  first.replacements + second.replacements + (parent->twin != nullptr ? 1 : 0)};
    if (mark.replacements < polytomicCount)
        mark.key = pairSubtreeKey(first.key, second.key);
    candidateMarks[parent] = mark;
    return mark.key;
}

ResultCode noRoomFor(int columns) {
    reportBoth("ERROR: No memory for an alignment of %d columns\n", columns);
    return ERMEM;
}

// Aligns the two children, or rebuilds their kept alignment, or gives them
// the one found, and gives the similarity.
ResultCode alignChildren(TreeNode* first, TreeNode* second, SubtreeKey key, const FoundAlignment* found,
                         double& similarity) {
    CachedAlignment kept;
    if (findCachedAlignment(key, kept) && kept.firstLength == first->savedLength &&
        kept.firstLength == first->workLength && kept.secondLength == second->savedLength &&
        kept.secondLength == second->workLength) {
        if (!reserveProfiles(first, kept.length) || !reserveProfiles(second, kept.length))
            return noRoomFor(kept.length);
        rebuildAlignedChildren(kept, first, second);
        ++sharingCounters.alignmentsReused;
        similarity = kept.similarity;
        return 0;
    }
    const int firstLength = first->workLength;
    const int secondLength = second->workLength;
    PairwiseWorkspace& work = mainWorkspace();
    if (const ResultCode code = found != nullptr ? keepFoundAlignment(work, first, second, *found, similarity)
                                                 : alignProfiles(work, first, second, similarity);
        code != 0)
        return code;
    ++sharingCounters.alignmentsComputed;
    storeAlignment(key, similarity, firstLength, secondLength, work.alignmentPath, first->workLength);
    return 0;
}

// Leaves below the node, walked without recursion: a caterpillar may be
// thousands of levels deep.
int sequencesBelow(const TreeNode* node) {
    static std::vector<const TreeNode*> stack;
    stack.assign(1, node);
    int count = 0;
    while (!stack.empty()) {
        const TreeNode* at = stack.back();
        stack.pop_back();
        count += at->childCount == 0;
        for (int c = 0; c < at->childCount; ++c)
            stack.push_back(childrenOf(at)[c]);
    }
    return count;
}

// Under light passes a built node's child has given all it had to give,
// unless it is an inner node of a settled subtree: later candidates start
// from a settled top's profile, and the subtree is kept from its nodes'.
bool spendChild(TreeNode* child) {
    if (child->childCount != 0 && (child->settledRole & SETTLED_NODE) != 0)
        return true;
    return spendProfiles(child);
}

// Builds an inner node from its two children; they keep their aligned
// profiles, or under light passes only their flags.
ResultCode buildInnerNode(TreeNode* parent, bool sharing, const FoundAlignment* found = nullptr) {
    TreeNode* first = parent->children[0];
    TreeNode* second = parent->children[1];
    if (!readyChildren(parent))
        return noRoomFor(std::max(first->savedLength, second->savedLength));
    double similarity;
    const SubtreeKey key = sharing ? keySubtree(parent) : NO_SUBTREE_KEY;
    if (const ResultCode code = alignChildren(first, second, key, found, similarity); code != 0)
        return code;
    const int length = first->workLength;
    if (!reserveProfiles(parent, length))
        return noRoomFor(length);
    // Nodes made later start with room for the longest alignment met
    if (length > columnCapacity)
        columnCapacity = length;
    parent->workLength = length;
    parent->savedLength = length;
    if (longOptions.scoring == Scoring::SUM_OF_PAIRS) {
        // Every sequence weighs the same: the children's means weighted by their sequences
        const double a = sequencesBelow(first);
        const double b = sequencesBelow(second);
        for (int c = 0; c < length; ++c)
            for (int x = 0; x < BASE_COUNT; ++x)
                parent->workProfile[c].weight[x] =
                    (first->workProfile[c].weight[x] * a + second->workProfile[c].weight[x] * b) / (a + b);
    } else {
        // Mean of the aligned children; a column against a gap is halved, not renormalised
        for (int c = 0; c < length; ++c)
            for (int x = 0; x < BASE_COUNT; ++x)
                parent->workProfile[c].weight[x] =
                    (second->workProfile[c].weight[x] + first->workProfile[c].weight[x]) * 0.5;
    }
    std::memcpy(parent->savedProfile, parent->workProfile, sizeof(ProfileColumn) * length);
    if (runSettings.outputMask & OUT_STEPS) {
        reportOnly("Similarity=%.6f\n", similarity);
        dumpStep(parent, first, second);
    }
    if (lightPasses && (!spendChild(first) || !spendChild(second)))
        return noRoomFor(length);
    return 0;
}

ResultCode buildUnshared(TreeNode* parent, const FoundAlignment* found) {
    return buildInnerNode(parent, false, found);
}

// The nodes the sweeps below build, in their order, when nothing fails: the
// order the two threads keep.
std::vector<TreeNode*> buildOrder() {
    std::vector<TreeNode*> order;
    std::unordered_map<const TreeNode*, bool> built;
    const auto isBuilt = [&](const TreeNode* node) {
        const auto at = built.find(node);
        return at != built.end() ? at->second : node->workLength != 0;
    };
    for (bool changed = true; changed;) {
        changed = false;
        for (int idx = leafCount; idx < candidateNodeCount; ++idx) {
            TreeNode* node = nodeTable[idx];
            if (isBuilt(node) || !isBuilt(node->children[0]) || !isBuilt(node->children[1]) ||
                isInsideSettledSubtree(node))
                continue;
            order.push_back(node);
            built[node] = true;
            changed = true;
        }
    }
    return order;
}

// The columns the backward pass reads and moves: whole profiles, or their
// flags once the weights are spent (light passes).
struct WholeColumns {
    using Column = ProfileColumn;
    static Column* work(TreeNode* node) { return node->workProfile; }
    static const Column* saved(const TreeNode* node) { return node->savedProfile; }
    static bool isGap(const Column& column) { return isGapColumn(column); }
    static bool isReal(const Column& column) { return hasRealWeight(column); }
    static Column gap() { return Column{}; }
};

struct FlagColumns {
    using Column = std::uint8_t;
    static Column* work(TreeNode* node) { return node->workFlags; }
    static const Column* saved(const TreeNode* node) { return node->savedFlags; }
    static bool isGap(Column column) { return (column & COLUMN_GAP) != 0; }
    static bool isReal(Column column) { return (column & COLUMN_REAL) != 0; }
    static Column gap() { return COLUMN_GAP; }
};

// A child's columns are of its own kind, whatever its parent's are: a node
// whose profile later candidates reuse keeps it while its parent is spent,
// and a spent leaf may hang from a node that keeps its profile.
template <typename Columns> void openGapColumnIn(TreeNode* child, int c, int tail) {
    typename Columns::Column* const columns = Columns::work(child);
    std::memmove(columns + c + 1, columns + c, sizeof(typename Columns::Column) * tail);
    columns[c] = Columns::gap();
    ++child->workLength;
}

// Opens a gap column at c in a child whose columns from c on are the parent's
// still unmatched saved columns, `tail` of them.
void openGapColumn(TreeNode* child, int c, int tail) {
    if (child->workFlags != nullptr)
        openGapColumnIn<FlagColumns>(child, c, tail);
    else
        openGapColumnIn<WholeColumns>(child, c, tail);
}

// Moves each of the child's columns to where `source` says, from the right end.
template <typename Columns> void moveColumns(TreeNode* child, const std::vector<int>& source, int width) {
    typename Columns::Column* const columns = Columns::work(child);
    for (int c = width - 1; c >= 0 && source[c] != c; --c)
        columns[c] = source[c] < 0 ? Columns::gap() : columns[source[c]];
    child->workLength = width;
}

// The plain walk: carries the gap columns the node received in its parent's
// alignment into both of its children, shifting their tails once per gap.
template <typename Columns> void widenChildrenByShifting(TreeNode* parent) {
    TreeNode* first = parent->children[0];
    TreeNode* second = parent->children[1];
    const int width = parent->workLength;
    const int savedLength = parent->savedLength;
    const typename Columns::Column* const work = Columns::work(parent);
    const typename Columns::Column* const saved = Columns::saved(parent);
    int pos = 0;
    for (int c = 0; c < width; ++c) {
        if (!Columns::isGap(work[c])) {
            ++pos;
            continue;
        }
        if (pos >= savedLength) {
            // Saved columns used up: the gap goes at the end, nothing to shift
            openGapColumn(first, c, 0);
            openGapColumn(second, c, 0);
        } else if (Columns::isReal(saved[pos])) {
            const int tail = savedLength - pos;
            // Holds whenever the working profile is the saved one with gap
            // columns inserted, as the pairwise alignment leaves it; a node
            // built any other way must still not pass the longest alignment.
            if (c + tail >= longOptions.maxLength)
                continue;
            openGapColumn(first, c, tail);
            openGapColumn(second, c, tail);
        } else {
            // The built profile had a gap column here: matched, nothing inserted
            ++pos;
        }
    }
}

// The same in one pass per child, in place: where each widened column comes
// from is found first, then the columns move from the right end leftwards,
// every one at most once (a column only ever moves right). False, with
// nothing changed, for a node the plain walk would not leave as the parent's
// width (built otherwise than by the pairwise alignment, or near the buffer's
// end), which it then widens.
template <typename Columns> bool widenChildrenByMerging(TreeNode* parent) {
    static std::vector<int> source; // the child column that lands at each column; -1 an inserted gap
    TreeNode* first = parent->children[0];
    TreeNode* second = parent->children[1];
    const int width = parent->workLength;
    const int savedLength = parent->savedLength;
    if (first->workLength != savedLength || second->workLength != savedLength ||
        width > longOptions.maxLength)
        return false;
    if (source.size() < static_cast<std::size_t>(width))
        source.resize(static_cast<std::size_t>(width));
    const typename Columns::Column* const work = Columns::work(parent);
    const typename Columns::Column* const saved = Columns::saved(parent);
    int pos = 0;
    for (int c = 0; c < width; ++c) {
        const bool inserted = Columns::isGap(work[c]) && (pos >= savedLength || Columns::isReal(saved[pos]));
        if (!inserted) {
            // A column of the children, or a gap column they both had
            if (pos >= savedLength)
                return false;
            source[c] = pos++;
            continue;
        }
        // Where the plain walk would skip the shift past the longest alignment
        if (pos < savedLength && c + (savedLength - pos) >= longOptions.maxLength)
            return false;
        source[c] = -1;
    }
    if (pos != savedLength)
        return false;
    for (TreeNode* child : {first, second}) {
        if (child->workFlags != nullptr)
            moveColumns<FlagColumns>(child, source, width);
        else
            moveColumns<WholeColumns>(child, source, width);
    }
    return true;
}

// Room in both children: the parent's width for the merge; for the plain
// walk on a node built otherwise, one more column per gap column, up to the
// longest alignment.
ResultCode reserveChildren(TreeNode* parent, int columns) {
    for (int k = 0; k < 2; ++k) {
        TreeNode* child = parent->children[k];
        if (!(child->workFlags != nullptr ? reserveFlags(child, columns) : reserveProfiles(child, columns)))
            return noRoomFor(columns);
    }
    return 0;
}

template <typename Columns> ResultCode widenChildrenOf(TreeNode* parent) {
    if (const ResultCode code = reserveChildren(parent, parent->workLength); code != 0)
        return code;
    if (!mainWorkspace().choices.plain && widenChildrenByMerging<Columns>(parent))
        return 0;
    const long most = static_cast<long>(parent->workLength) + parent->savedLength;
    if (const ResultCode code = reserveChildren(
            parent, static_cast<int>(most < longOptions.maxLength ? most : longOptions.maxLength));
        code != 0)
        return code;
    widenChildrenByShifting<Columns>(parent);
    return 0;
}

} // namespace

ResultCode widenChildren(TreeNode* parent) {
    return parent->workFlags != nullptr ? widenChildrenOf<FlagColumns>(parent)
                                        : widenChildrenOf<WholeColumns>(parent);
}

bool readyChildren(TreeNode* parent) {
    if (lightPasses)
        for (int k = 0; k < 2; ++k)
            if (parent->children[k]->childCount == 0 && !restoreLeafProfiles(parent->children[k]))
                return false;
    return true;
}

void setAsideChildren(TreeNode* parent) {
    if (lightPasses)
        for (int k = 0; k < 2; ++k)
            if (parent->children[k]->childCount == 0 && parent->children[k]->workFlags == nullptr)
                releaseProfiles(parent->children[k]);
}

ResultCode traceForward() {
    const bool steps = (runSettings.outputMask & OUT_STEPS) != 0;
    if (steps)
        reportOnly("*** Trace forward ***\n\n");
    // Candidates share work only within one run: the first starts afresh.
    // One tree alone has nothing to share.
    PairwiseWorkspace& work = mainWorkspace();
    const bool sharing = !work.choices.plain && polytomicCount > 0;
    if (sharing) {
        if (candidateNumber <= 1) {
            clearSubtreeCache();
            forgetSettledSubtrees();
        }
        candidateMarks.clear();
    }
    // Kept subtrees are built already: their tops stand as built, under their keys
    if (prepareSettledSubtrees() && sharing)
        for (int idx = leafCount; idx < candidateNodeCount; ++idx)
            if (SubtreeKey key; keptSubtreeKey(nodeTable[idx], key))
                candidateMarks[nodeTable[idx]] = NodeMark{key, 0};
    // One tree on several threads: apart subtrees side by side, then the
    // chain to the root by the sweeps, its alignments sharing their threads
    if (!sharing && work.choices.threads > 1 && !work.choices.plain && leafCount < candidateNodeCount)
        if (const ResultCode code =
                buildOnThreads(work, buildOrder(), buildUnshared, work.choices.threads).code;
            code != 0)
            return code;
    // Sweep until a sweep builds nothing: a node whose child stays unbuilt is
    // never built, and neither are its ancestors.
    bool changed = true;
    while (changed && leafCount < candidateNodeCount) {
        changed = false;
        for (int idx = leafCount; idx < candidateNodeCount; ++idx) {
            TreeNode* node = nodeTable[idx];
            if (node->workLength != 0 || node->children[0]->workLength == 0 ||
                node->children[1]->workLength == 0 || isInsideSettledSubtree(node))
                continue;
            if (const ResultCode code = buildInnerNode(node, sharing); code != 0)
                return code;
            changed = true;
        }
    }
    if (runSettings.outputMask & OUT_FINAL) {
        reportOnly("*** Tracing forward finished ***\n\n");
        for (int idx = candidateNodeCount - 1; idx >= 0; --idx)
            dumpNode(nodeTable[idx]);
        reportOnly("\n");
    }
    // The root's weights are spent too; a lone leaf is its letters' profile
    if (lightPasses && rootNode != nullptr) {
        const bool ready =
            rootNode->childCount == 0 ? restoreLeafProfiles(rootNode) : spendProfiles(rootNode);
        if (!ready)
            return noRoomFor(rootNode->workLength);
    }
    return 0;
}

ResultCode traceBackward() {
    const bool steps = (runSettings.outputMask & OUT_STEPS) != 0;
    if (steps)
        reportOnly("*** Trace backward ***\n\n");
    for (int idx = candidateNodeCount - 1; idx >= leafCount; --idx) {
        TreeNode* node = nodeTable[idx];
        if (isInsideSettledSubtree(node))
            continue;
        const ResultCode code =
            isSettledTop(node) ? finishSettledSubtree(node, markOf(node).key) : widenChildren(node);
        if (code != 0)
            return code;
        if (steps)
            dumpStep(node, node->children[0], node->children[1]);
        // Its children hold all it had to give
        if (lightPasses)
            releaseFlags(node);
    }
    if (steps)
        reportOnly("*** Tracing backward finished ***\n\n");
    return reserveLeafTexts();
}

} // namespace vorbex
