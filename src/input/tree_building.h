// What the two tree readers share to build the source tree.
#pragma once

#include "base/result_code.h"
#include "input/input.h"

namespace vorbex {

void raiseMaxNameLength(int length);
// Appends `child` to `parent`, from its slots into many children once they
// are full; false when memory is exhausted.
[[nodiscard]] bool appendChild(TreeNode* parent, TreeNode* child);
// Appends `child` to `parent`; under the heuristic search any number of
// them (ERMEM without memory), otherwise ERTREE after a message at `position` when that
// makes more than MAX_CHILDREN children.
[[nodiscard]] ResultCode adoptChild(TreeNode* parent, TreeNode* child, int position);
// ERTREE after a message when the table is full.
[[nodiscard]] ResultCode enterInTable(TreeNode* node);
// The NEWICK that phylogenetics programs write, from the text with its tabs
// and line breaks removed; positions in messages count in that text.
[[nodiscard]] ResultCode parseStandardTree(const char* text);

} // namespace vorbex
