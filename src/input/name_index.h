// Finds a tree node by name as the walk over the node table would, without
// walking it for every record: names of many thousands of leaves.
#pragma once

#include "input/input.h"

namespace vorbex {

// The first node in table order whose name equals `name` but for the case
// of ASCII letters (strcasecmp in the C locale); nullptr when none does.
// Nodes entered after the last lookup are found too.
TreeNode* findNode(const char* name);

} // namespace vorbex
