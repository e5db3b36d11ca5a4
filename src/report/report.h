// Reporting: dumps of profiles and of alignment steps into the report file.
#pragma once

#include "input/input.h"

namespace vorbex {

void dumpNode(const TreeNode* node);
void dumpStep(const TreeNode* parent, const TreeNode* first, const TreeNode* second);

} // namespace vorbex
