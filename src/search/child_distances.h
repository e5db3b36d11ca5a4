// Distances between the children of a polytomy, from the words of their
// sequences: the start of the heuristic search's resolution.
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

} // namespace vorbex
