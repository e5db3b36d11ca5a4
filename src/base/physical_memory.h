// What the machine holds, for the checks before large allocations.
#pragma once

namespace vorbex {

// Bytes of physical memory; HUGE_VAL when the system does not say.
double physicalMemoryBytes();

} // namespace vorbex
