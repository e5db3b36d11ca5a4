#include "run/run.h"

namespace vorbex {

ResultCode runCandidates() {
    return 0;
} // not yet built

} // namespace vorbex
