// Column sums counted in quarters: every code but b, d, h and v weighs whole
// quarters of A, C, G and T, so a column's sum is a whole number of quarters,
// exact in a double in any order of addition. A char's quarters sit in the
// four 16-bit lanes of one word (4095 leaves give at most 16380).
#pragma once

#include <cstdint>

#include "input/input.h"

namespace vorbex {

static_assert(4 * NODE_TABLE_SIZE < 0x10000, "a column's quarters fit a lane");

struct QuarterTable {
    std::uint64_t lanes[256];
    std::uint8_t whole[256]; // 0 for a code that weighs thirds
};

// Built once, from the nucleotide codes.
const QuarterTable& quarterTable();

} // namespace vorbex
