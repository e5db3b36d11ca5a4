#include "resolve/resolve.h"

namespace vorbex {

int baseSerial = 0;
int candidateNodeCount = 0;

int nextCandidateTree() {
    return -1;
} // not yet built

} // namespace vorbex
