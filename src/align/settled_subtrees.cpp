#include "align/settled_subtrees.h"

#include <cstring>
#include <unordered_map>
#include <vector>

#include "align/align.h"
#include "align/quarter_counts.h"
#include "align/tree_passes.h"
#include "base/output.h"
#include "base/settings.h"
#include "resolve/resolve.h"

namespace vorbex {
namespace {

constexpr std::uint8_t SETTLED = SETTLED_NODE;
constexpr std::uint8_t TOP = SETTLED_TOP;
constexpr std::uint8_t INSIDE = SETTLED_INSIDE;
constexpr std::uint8_t GATHERED = SETTLED_GATHERED;

// A leaf of a kept subtree: its row in the subtree's own alignment.
struct KeptLeaf {
    TreeNode* leaf;
    int firstBase;         // its first column that is not a gap; -1 when none
    std::vector<char> row; // the gap symbol, then its text
    std::vector<char> gap; // its gap columns
};

struct KeptSubtree {
    bool keepable; // false: walked like any other subtree in every candidate
    SubtreeKey key;
    int savedLength;
    std::vector<KeptLeaf> leaves;
    std::vector<TreeNode*> innerNodes; // below the top, parents first
    // The leaves' quarters of each saved column, and of a gap from above, for
    // the score; false in `wholeQuarters` when a row holds a code weighing thirds
    std::vector<std::uint64_t> quarters;
    std::uint64_t gapQuarters;
    bool wholeQuarters;
    // This candidate: one more than the saved column at each final column, 0
    // where a gap came from above; and the final column of each saved one.
    std::vector<int> source;
    std::vector<int> finalColumn;
    // The same as runs: saved columns copied in a block, or gaps from above
    struct Run {
        int at;     // first final column
        int from;   // its source, 0 for gaps
        int length; // columns
    };
    std::vector<Run> runs;
};

std::unordered_map<const TreeNode*, KeptSubtree> keptSubtrees;
int keptGeneration = -1;                    // the node table they belong to
std::vector<KeptSubtree*> gatheredSubtrees; // this candidate's
std::vector<TreeNode*> walk;

bool has(const TreeNode* node, std::uint8_t role) {
    return (node->settledRole & role) != 0;
}

// The nodes below `top`, parents before children.
void collectBelow(TreeNode* top, KeptSubtree& subtree) {
    subtree.leaves.clear();
    subtree.innerNodes.clear();
    walk.assign(top->children, top->children + 2);
    while (!walk.empty()) {
        TreeNode* node = walk.back();
        walk.pop_back();
        if (node->childCount == 0) {
            subtree.leaves.push_back(KeptLeaf{node, -1, {}, {}});
            continue;
        }
        subtree.innerNodes.push_back(node);
        walk.push_back(node->children[1]);
        walk.push_back(node->children[0]);
    }
}

void markInside(const KeptSubtree& subtree) {
    for (TreeNode* node : subtree.innerNodes)
        node->settledRole |= INSIDE;
    for (const KeptLeaf& kept : subtree.leaves)
        kept.leaf->settledRole |= INSIDE;
}

bool isRegularColumn(const ProfileColumn& column) {
    return hasRealWeight(column) && !isGapColumn(column);
}

// Whether gathering gives what the walk gives: every saved column of an inner
// node has real weight and is no gap column, every leaf column is no gap
// column, and every leaf text holds one letter per column.
bool isKeepable(const TreeNode* top, const KeptSubtree& subtree) {
    auto regular = [](const TreeNode* node) {
        for (int c = 0; c < node->savedLength; ++c)
            if (!isRegularColumn(node->savedProfile[c]))
                return false;
        return true;
    };
    if (!regular(top))
        return false;
    for (const TreeNode* node : subtree.innerNodes)
        if (!regular(node))
            return false;
    for (const KeptLeaf& kept : subtree.leaves) {
        const TreeNode* leaf = kept.leaf;
        if (leaf->sourceText == nullptr || leaf->workText == nullptr ||
            (leaf->savedProfile == nullptr && leaf->savedFlags == nullptr) ||
            std::strlen(leaf->sourceText) != static_cast<std::size_t>(leaf->savedLength))
            return false;
        for (int c = 0; c < leaf->savedLength; ++c)
            if (isSavedGapColumnOf(leaf, c))
                return false;
    }
    return true;
}

void sumQuarters(KeptSubtree& subtree) {
    const QuarterTable& table = quarterTable();
    const auto gap = static_cast<unsigned char>(runSettings.gapSymbol);
    subtree.quarters.assign(static_cast<std::size_t>(subtree.savedLength), 0);
    subtree.gapQuarters = 0;
    std::uint8_t whole = table.whole[gap];
    for (const KeptLeaf& kept : subtree.leaves) {
        subtree.gapQuarters += table.lanes[gap];
        for (int c = 0; c < subtree.savedLength; ++c) {
            const auto code = static_cast<unsigned char>(kept.row[c + 1]);
            subtree.quarters[c] += table.lanes[code];
            whole &= table.whole[code];
        }
    }
    subtree.wholeQuarters = whole != 0;
}

ResultCode noRoomFor(int columns) {
    reportBoth("ERROR: No memory for an alignment of %d columns\n", columns);
    return ERMEM;
}

ResultCode inconsistent() {
    reportBoth("ERROR: Internal error in the backward pass\n");
    return ERINT;
}

// Walks the subtree as if its top were the root, and keeps every leaf's row.
ResultCode keepRows(TreeNode* top, KeptSubtree& subtree) {
    static std::vector<ProfileColumn> final;
    const int width = top->workLength;
    final.assign(top->workProfile, top->workProfile + width);
    std::memcpy(top->workProfile, top->savedProfile, sizeof(ProfileColumn) * top->savedLength);
    top->workLength = top->savedLength;
    ResultCode code = widenChildren(top);
    for (std::size_t k = 0; code == 0 && k < subtree.innerNodes.size(); ++k)
        code = widenChildren(subtree.innerNodes[k]);
    std::memcpy(top->workProfile, final.data(), sizeof(ProfileColumn) * width);
    top->workLength = width;
    if (code != 0)
        return code;
    const int length = top->savedLength;
    for (KeptLeaf& kept : subtree.leaves) {
        const TreeNode* leaf = kept.leaf;
        if (leaf->workLength != length)
            return inconsistent();
        kept.row.resize(static_cast<std::size_t>(length) + 1);
        kept.row[0] = runSettings.gapSymbol;
        kept.gap.resize(static_cast<std::size_t>(length));
        kept.firstBase = -1;
        int next = 0;
        for (int c = 0; c < length; ++c) {
            const bool gap = isGapColumnOf(leaf, c);
            kept.gap[c] = gap;
            if (gap) {
                kept.row[c + 1] = runSettings.gapSymbol;
                continue;
            }
            if (next == leaf->savedLength)
                return inconsistent();
            if (kept.firstBase < 0)
                kept.firstBase = c;
            kept.row[c + 1] = leaf->sourceText[next++];
        }
        if (next != leaf->savedLength)
            return inconsistent();
    }
    subtree.savedLength = length;
    sumQuarters(subtree);
    return 0;
}

// Every leaf's final text from its row and the gaps the top received.
ResultCode gatherRows(TreeNode* top, KeptSubtree& subtree) {
    const int width = top->workLength;
    subtree.source.resize(static_cast<std::size_t>(width));
    subtree.finalColumn.resize(static_cast<std::size_t>(subtree.savedLength));
    int pos = 0;
    for (int c = 0; c < width; ++c) {
        if (isGapColumn(top->workProfile[c])) {
            subtree.source[c] = 0;
            continue;
        }
        if (pos == subtree.savedLength)
            return inconsistent();
        subtree.finalColumn[pos] = c;
        subtree.source[c] = ++pos;
    }
    if (pos != subtree.savedLength)
        return inconsistent();
    subtree.runs.clear();
    for (int c = 0; c < width; ++c) {
        const int from = subtree.source[c];
        KeptSubtree::Run* last = subtree.runs.empty() ? nullptr : &subtree.runs.back();
        if (last != nullptr &&
            (from == 0 ? last->from == 0 : last->from != 0 && last->from + last->length == from))
            ++last->length;
        else
            subtree.runs.push_back({c, from, 1});
    }
    for (KeptLeaf& kept : subtree.leaves) {
        TreeNode* leaf = kept.leaf;
        if (!reserveWorkText(leaf, width + 1))
            return noRoomFor(width);
        char* const text = leaf->workText;
        for (const KeptSubtree::Run& run : subtree.runs) {
            if (run.from == 0)
                std::memset(text + run.at, runSettings.gapSymbol, static_cast<std::size_t>(run.length));
            else
                std::memcpy(text + run.at, kept.row.data() + run.from, static_cast<std::size_t>(run.length));
        }
        text[width] = '\0';
        leaf->workLength = width;
        leaf->settledRole |= GATHERED;
        leaf->firstBaseColumn = kept.firstBase < 0 ? -1 : subtree.finalColumn[kept.firstBase];
    }
    gatheredSubtrees.push_back(&subtree);
    return 0;
}

// A spent leaf's final flags: its letters' where the row has them.
bool completeLeafFlags(const KeptLeaf& kept, const KeptSubtree& subtree, int width) {
    TreeNode* leaf = kept.leaf;
    if (!reserveFlags(leaf, width))
        return false;
    const std::uint8_t gapFlags = columnFlags(ProfileColumn{});
    ProfileColumn column{};
    for (int c = 0; c < width; ++c) {
        const int s = subtree.source[c];
        if (s == 0 || kept.gap[s - 1]) {
            leaf->workFlags[c] = gapFlags;
            continue;
        }
        (void)nucleotideColumn(kept.row[s], column);
        leaf->workFlags[c] = columnFlags(column);
    }
    return true;
}

} // namespace

void forgetSettledSubtrees() {
    // Leaves inside kept subtrees were left as the passes had them: back to
    // their source data, as every other leaf is for each candidate
    if (keptGeneration == nodeTableGeneration)
        for (auto& [top, subtree] : keptSubtrees)
            for (const KeptLeaf& kept : subtree.leaves) {
                kept.leaf->settledRole = 0;
                resetLeaf(kept.leaf);
            }
    keptSubtrees.clear();
    gatheredSubtrees.clear();
    keptGeneration = nodeTableGeneration;
}

bool prepareSettledSubtrees() {
    if (keptGeneration != nodeTableGeneration)
        forgetSettledSubtrees();
    gatheredSubtrees.clear();
    for (int idx = 0; idx < candidateNodeCount; ++idx)
        nodeTable[idx]->settledRole = 0;
    if (mainWorkspace().choices.plain || polytomicCount == 0 ||
        (runSettings.outputMask & (OUT_INIT | OUT_STEPS | OUT_FINAL)) != 0)
        return false;
    // Children come before their parents in the table
    for (int idx = 0; idx < candidateNodeCount; ++idx) {
        TreeNode* node = nodeTable[idx];
        const bool settled =
            node->childCount == 0 || (node->childCount == 2 && node->serial < baseSerial &&
                                      has(node->children[0], SETTLED) && has(node->children[1], SETTLED));
        if (settled)
            node->settledRole |= SETTLED;
    }
    for (int idx = leafCount; idx < candidateNodeCount; ++idx) {
        TreeNode* node = nodeTable[idx];
        if (!has(node, SETTLED) || (node->parent != nullptr && has(node->parent, SETTLED)))
            continue;
        node->settledRole |= TOP;
        const auto found = keptSubtrees.find(node);
        if (found == keptSubtrees.end() || !found->second.keepable)
            continue;
        // Its built profile, as the forward pass left it when it was kept
        const KeptSubtree& kept = found->second;
        node->savedLength = kept.savedLength;
        node->workLength = kept.savedLength;
        std::memcpy(node->workProfile, node->savedProfile, sizeof(ProfileColumn) * kept.savedLength);
        markInside(kept);
        sharingCounters.nodesKept += 1 + static_cast<long long>(kept.innerNodes.size());
    }
    return true;
}

bool keptSubtreeKey(const TreeNode* node, SubtreeKey& key) {
    if (!has(node, TOP))
        return false;
    const auto found = keptSubtrees.find(node);
    if (found == keptSubtrees.end() || !found->second.keepable)
        return false;
    key = found->second.key;
    return true;
}

bool isInsideSettledSubtree(const TreeNode* node) {
    return has(node, INSIDE);
}

bool isSettledTop(const TreeNode* node) {
    return has(node, TOP);
}

ResultCode finishSettledSubtree(TreeNode* top, SubtreeKey key) {
    auto found = keptSubtrees.find(top);
    if (found == keptSubtrees.end()) {
        KeptSubtree subtree{};
        collectBelow(top, subtree);
        subtree.keepable = key != NO_SUBTREE_KEY && isKeepable(top, subtree);
        if (subtree.keepable) {
            subtree.key = key;
            if (const ResultCode code = keepRows(top, subtree); code != 0)
                return code;
        } else {
            subtree.leaves.clear();
            subtree.innerNodes.clear();
        }
        found = keptSubtrees.emplace(top, std::move(subtree)).first;
        if (found->second.keepable) {
            markInside(found->second);
            // Its rows and its top's profile are all later candidates read
            if (lightPasses)
                for (TreeNode* node : found->second.innerNodes)
                    releaseProfiles(node);
        }
    }
    if (!found->second.keepable)
        return widenChildren(top);
    return gatherRows(top, found->second);
}

bool isGatheredLeaf(const TreeNode* leaf, int& firstBaseColumn) {
    if (!has(leaf, GATHERED))
        return false;
    firstBaseColumn = leaf->firstBaseColumn;
    return true;
}

bool addGatheredQuarters(std::uint64_t* quarters, int from, int end) {
    bool whole = true;
    for (const KeptSubtree* subtree : gatheredSubtrees) {
        const int width = static_cast<int>(subtree->source.size());
        const int stop = end < width ? end : width;
        for (int c = from; c < stop; ++c) {
            const int s = subtree->source[c];
            quarters[c] += s == 0 ? subtree->gapQuarters : subtree->quarters[s - 1];
        }
        whole = whole && subtree->wholeQuarters;
    }
    return whole;
}

ResultCode completeLeafProfiles() {
    if (keptGeneration != nodeTableGeneration)
        return 0;
    const ProfileColumn gapColumn{};
    for (const KeptSubtree* subtree : gatheredSubtrees) {
        const int width = static_cast<int>(subtree->source.size());
        for (const KeptLeaf& kept : subtree->leaves) {
            TreeNode* leaf = kept.leaf;
            if (leaf->savedProfile == nullptr) {
                if (!completeLeafFlags(kept, *subtree, width))
                    return noRoomFor(width);
                continue;
            }
            if (!reserveProfiles(leaf, width))
                return noRoomFor(width);
            int next = 0;
            for (int c = 0; c < width; ++c) {
                const int s = subtree->source[c];
                leaf->workProfile[c] = s == 0 || kept.gap[s - 1] ? gapColumn : leaf->savedProfile[next++];
            }
        }
    }
    return 0;
}

} // namespace vorbex
