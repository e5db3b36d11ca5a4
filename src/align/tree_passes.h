// What the tree passes share with the settled subtrees.
#pragma once

#include "base/result_code.h"
#include "input/input.h"

namespace vorbex {

// Carries the gap columns a node received in its parent's alignment into both
// of its children. ERMEM after a message when they cannot be given room.
[[nodiscard]] ResultCode widenChildren(TreeNode* parent);

} // namespace vorbex
