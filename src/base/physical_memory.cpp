#include "base/physical_memory.h"

#include <cmath>
#include <unistd.h>

namespace vorbex {

double physicalMemoryBytes() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return HUGE_VAL;
    return static_cast<double>(pages) * static_cast<double>(pageSize);
}

} // namespace vorbex
