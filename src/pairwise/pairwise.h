// The pairwise DP: one profile against another, by the specified DP or by
// the weighted sum of pairs, in a workspace that keeps the last alignment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/result_code.h"
#include "input/input.h"
#include "pairwise/workspace.h"

namespace vorbex {

constexpr double RUN_BONUS = 0.00001;

// Trace flags of one DP cell
constexpr std::uint8_t TRACE_UP = 1;
constexpr std::uint8_t TRACE_LEFT = 2;
constexpr std::uint8_t TRACE_DIAG = 4;

double columnSimilarity(const ProfileColumn& a, const ProfileColumn& b);
// Aligns the working profiles of both nodes in place and gives the score.
// ERINT after the message when the alignment would pass the longest allowed
// (--max-length), ERMEM after one when its work storage or the nodes' room
// cannot be had; the nodes are then as they were.
[[nodiscard]] ResultCode alignProfiles(PairwiseWorkspace& work, TreeNode* first, TreeNode* second,
                                       double& score);
// The same in the main workspace.
[[nodiscard]] ResultCode alignProfiles(TreeNode* first, TreeNode* second, double& score);

// An alignment found apart from the nodes, to be given them later: its score
// and its steps from the first.
struct FoundAlignment {
    double score;
    std::vector<std::uint8_t> steps;
};
// Finds the alignment of the two nodes' working profiles, as alignProfiles
// would, in the workspace, on this thread alone and without a message; false
// when it cannot (alignProfiles then says why). Touches neither node.
bool findAlignment(PairwiseWorkspace& work, const TreeNode* first, const TreeNode* second,
                   FoundAlignment& found);
// Gives both nodes a found alignment of their working profiles, as
// alignProfiles would give them; the same results.
[[nodiscard]] ResultCode keepFoundAlignment(PairwiseWorkspace& work, TreeNode* first, TreeNode* second,
                                            const FoundAlignment& found, double& score);

} // namespace vorbex
