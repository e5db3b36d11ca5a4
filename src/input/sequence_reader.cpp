#include "input/input.h"

namespace vorbex {

int readSequences() {
    return 0;
} // not yet built

} // namespace vorbex
