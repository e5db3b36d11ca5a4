// The inner nodes of one tree built on several threads: while subtrees apart
// from each other wait to be built, pool threads find the alignments of some
// while the calling thread finds another's, and the calling thread gives the
// found alignments to the nodes in the order one thread alone builds them, so
// that every node, message and failure is the same.
#pragma once

#include <vector>

#include "align/align.h"

namespace vorbex {

struct SubtreeThreadsResult {
    ResultCode code; // of the first node that failed to be built
    int built;       // nodes of the order built
    int foundByPool; // of them, with an alignment a pool thread found
};

// Builds nodes of `order` (inner nodes, every one after those of its children
// that need building) with `build`, which must do with a found alignment what
// it does without one, on up to `threads` threads. Stops when only a chain is
// left, each node waiting for the one before (one alignment at a time, which
// can share its own threads), or at the first failure. With fewer than two
// threads, builds nothing. The calling thread finds in `work`, each pool
// thread in a workspace of its own with the same choices, and takes only
// alignments whose work storage (a whole matrix's) is at most
// `poolThreadBytes`; their cells are counted in `work`.
SubtreeThreadsResult buildOnThreads(PairwiseWorkspace& work, const std::vector<TreeNode*>& order,
                                    ResultCode (*build)(TreeNode* node, const FoundAlignment* found),
                                    int threads, double poolThreadBytes);
// The same with a quarter of the machine's memory shared out over the threads.
SubtreeThreadsResult buildOnThreads(PairwiseWorkspace& work, const std::vector<TreeNode*>& order,
                                    ResultCode (*build)(TreeNode* node, const FoundAlignment* found),
                                    int threads);

} // namespace vorbex
