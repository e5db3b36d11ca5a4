// Settled subtrees: the parts of a candidate tree that no polytomy reaches.
//
// They are the same in every candidate, so both passes can leave them alone:
// the forward pass keeps the built profile of a settled subtree's top node,
// and the backward pass, instead of walking the subtree again, gives each of
// its leaves the final text in one gather from the row it has in the
// subtree's own alignment. Exact, because a node whose saved columns all have
// real weight hands each gap column it receives straight down to its children,
// so the gaps a settled top node receives reach its leaves unchanged.
#pragma once

#include <cstdint>

#include "align/subtree_cache.h"
#include "base/result_code.h"
#include "input/input.h"

namespace vorbex {

// Forgets every kept subtree (a new run). A new node table does too.
void forgetSettledSubtrees();

// Readies the current candidate before the forward pass: which nodes are
// settled, and the kept top nodes put back to their built profiles. False
// when the passes must run on the whole tree (dumps, the plain reference).
bool prepareSettledSubtrees();
// A kept top node of the current candidate and its key; false for any other node.
bool keptSubtreeKey(const TreeNode* node, SubtreeKey& key);
// A node below a kept top node (or one the backward pass has just kept):
// neither pass touches it.
bool isInsideSettledSubtree(const TreeNode* node);
// True for the top node of a settled subtree that the backward pass finishes
// with finishSettledSubtree instead of widening its children.
bool isSettledTop(const TreeNode* node);
// The backward pass at a settled top node whose working profile is final:
// keeps the subtree when it is new, then gives every leaf below it its final
// text. ERMEM after a message when a text cannot be given room.
[[nodiscard]] ResultCode finishSettledSubtree(TreeNode* top, SubtreeKey key);
// A leaf whose final text finishSettledSubtree wrote, with its first column
// that is not a gap (-1 when none); false for other leaves.
bool isGatheredLeaf(const TreeNode* leaf, int& firstBaseColumn);
// Adds the quarter counts of every gathered leaf's columns from `from` up to
// `end` to `quarters`, from sums kept per subtree; false when a gathered leaf
// holds a code weighing thirds.
bool addGatheredQuarters(std::uint64_t* quarters, int from, int end);
// Gives the gathered leaves their final working profiles too, for readers of
// the aligned profiles (the alignment file). ERMEM when room cannot be had.
[[nodiscard]] ResultCode completeLeafProfiles();

} // namespace vorbex
