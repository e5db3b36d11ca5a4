#include <sched.h>

#include "run/run.h"

namespace vorbex {

// Follows the affinity mask, so that `taskset -c 0 vorbex ...` uses one processor.
int availableProcessors() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0)
        return 1;
    int count = CPU_COUNT(&set);
    if (longOptions.processorLimit > 0 && count > longOptions.processorLimit)
        count = longOptions.processorLimit;
    return count > 0 ? count : 1;
}

} // namespace vorbex
