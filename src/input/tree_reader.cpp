#include "input/input.h"

namespace vorbex {

int readTree() {
    return 0;
} // not yet built

} // namespace vorbex
