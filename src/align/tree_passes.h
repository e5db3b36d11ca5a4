// What the tree passes share with the settled subtrees.
#pragma once

#include "base/result_code.h"
#include "input/input.h"

namespace vorbex {

// A weight above the tolerance: a column the backward pass keeps even where
// a gap column of the parent meets it.
bool hasRealWeight(const ProfileColumn& column);

// Carries the gap columns a node received in its parent's alignment into both
// of its children. ERMEM after a message when they cannot be given room.
[[nodiscard]] ResultCode widenChildren(TreeNode* parent);

} // namespace vorbex
