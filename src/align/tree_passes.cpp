#include "align/align.h"

namespace vorbex {

void traceForward() {}  // not yet built
void traceBackward() {} // not yet built

} // namespace vorbex
