// Reporting: dumps of profiles and of alignment steps into the report file,
// and the result report.
#pragma once

#include "input/input.h"

namespace vorbex {

void dumpNode(const TreeNode* node);
void dumpStep(const TreeNode* parent, const TreeNode* first, const TreeNode* second);

// "RC=n ( WORDS )" on standard output and in the report file.
void writeResultReport(int code);

} // namespace vorbex
