// What the tree passes share with the settled subtrees.
#pragma once

#include "base/result_code.h"
#include "input/input.h"

namespace vorbex {

// Carries the gap columns a node received in its parent's alignment into both
// of its children: into their profiles, or their flags when the node's
// weights are spent. ERMEM after a message when they cannot be given room.
[[nodiscard]] ResultCode widenChildren(TreeNode* parent);

// Under light passes, gives the node's leaf children the profiles of their
// letters before they are aligned; false when memory is exhausted.
[[nodiscard]] bool readyChildren(TreeNode* parent);
// Frees those leaf profiles again, for a node whose alignment was found long
// before it is built: readyChildren makes them anew then.
void setAsideChildren(TreeNode* parent);

} // namespace vorbex
