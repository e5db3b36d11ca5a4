// The inner nodes of one tree built on two threads: while subtrees apart from
// each other wait to be built, a pool thread finds the alignment of one while
// the calling thread finds another's, and the calling thread gives the found
// alignments to the nodes in the order one thread alone would build them, so
// that every node, message and failure is the same.
#pragma once

#include <vector>

#include "align/align.h"

namespace vorbex {

struct TwoThreadResult {
    ResultCode code; // of the first node that failed to be built
    int built;       // nodes of the order built
};

// Builds nodes of `order` (inner nodes, every one after those of its children
// that need building) with `build`, which must do with a found alignment what
// it does without one. Stops when only a chain is left, each node waiting for
// the one before (one alignment at a time, which can share its own threads),
// or at the first failure. With fewer than two threads, builds nothing.
TwoThreadResult buildOnTwoThreads(const std::vector<TreeNode*>& order,
                                  ResultCode (*build)(TreeNode* node, const FoundAlignment* found));

} // namespace vorbex
