// The subtree cache: work shared between candidate trees.
#pragma once

#include <cstddef>
#include <cstdint>

#include "input/input.h"

namespace vorbex {

// Work shared between candidate trees. A node's built profile, its similarity
// and its children's aligned profiles depend only on the ordered subtree below
// it, so an alignment is kept under an exact key of that subtree and a node
// that meets the same subtree again is rebuilt from the kept path.
using SubtreeKey = std::uint32_t;
constexpr SubtreeKey NO_SUBTREE_KEY = 0; // not kept, never looked up

struct CachedAlignment {
    double similarity;
    int firstLength;                // columns of the first child before the alignment
    int secondLength;               // and of the second
    int length;                     // columns of the alignment
    const std::uint8_t* packedPath; // four steps a byte, first step in the low bits
};

// Pairwise alignments the forward pass ran, and nodes it built from kept ones;
// benchmarks read them, the tool's outputs never show them.
struct SharingCounters {
    long long alignmentsComputed;
    long long alignmentsReused;
    long long nodesKept; // inner nodes of settled subtrees, left as built
};
extern SharingCounters sharingCounters;

// Default budget: 512 MiB or an eighth of physical memory, the smaller.
std::size_t defaultSubtreeCacheBudget();
// Bytes the cache may hold: keys and kept alignments together. A smaller
// budget than the current use drops the least recently used alignments.
void setSubtreeCacheBudget(std::size_t bytes);
std::size_t subtreeCacheBytes();
int subtreeCacheEntries();
// Forgets every key and alignment (a new run: the leaves are new).
void clearSubtreeCache();

SubtreeKey leafSubtreeKey(const TreeNode* leaf);
// The key of the ordered pair (first, second); NO_SUBTREE_KEY when either is.
SubtreeKey pairSubtreeKey(SubtreeKey first, SubtreeKey second);
// True, with the alignment, when the key has one kept; it becomes the most recently used.
bool findCachedAlignment(SubtreeKey key, CachedAlignment& found);
// Keeps the alignment just computed, its `length` steps as a workspace's
// alignmentPath holds them, when the budget has room for it, making room by
// dropping the least recently used.
void storeAlignment(SubtreeKey key, double similarity, int firstLength, int secondLength,
                    const std::uint8_t* steps, int length);
// Gives both children the working profiles the kept alignment produced, from
// their saved profiles.
void rebuildAlignedChildren(const CachedAlignment& alignment, TreeNode* first, TreeNode* second);

} // namespace vorbex
