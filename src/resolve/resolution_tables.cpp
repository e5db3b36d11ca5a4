#include "resolve/resolve.h"

namespace vorbex {

int topologyCount[CHILD_SLOTS];
char** resolutionTable[CHILD_SLOTS];

int buildResolutionTables() {
    return 0;
} // not yet built

} // namespace vorbex
