#include "report/report.h"

namespace vorbex {

void dumpNode(const TreeNode*) {}                                   // not yet built
void dumpStep(const TreeNode*, const TreeNode*, const TreeNode*) {} // not yet built

} // namespace vorbex
