// Distances between the children of a polytomy, from the words of their
// sequences or from an alignment of them: the starts of the heuristic
// search's resolution.
#pragma once

#include <vector>

#include "input/input.h"

namespace vorbex {

// Letters of a word counted in a sequence's word profile
constexpr int WORD_LENGTH = 4;

// Half the L1 distance between the mean word profiles of the sequences below
// each two children (0: the same words in the same shares, 1: none shared);
// words holding any code but a, c, g and t are left out. Read from the source
// texts of the leaves, so the candidates standing do not matter.
std::vector<std::vector<double>> childDistances(const TreeNode* polytomic);

// Leaves below a child that speak for it in the aligned distances
constexpr int ALIGNED_SAMPLE_LEAVES = 4;

// The same from the alignment of the candidate standing: the mean, over
// leaves below each two children (the first ALIGNED_SAMPLE_LEAVES below
// each), of the share of differing letters in the columns where both leaves
// have one (1 where they share none). Alignment distances come closer to the
// tree than words do, as a second guide tree does after a first alignment.
std::vector<std::vector<double>> alignedChildDistances(const TreeNode* polytomic);

} // namespace vorbex
