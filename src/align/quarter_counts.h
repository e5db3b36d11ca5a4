// Column sums counted in quarters: every code but b, d, h and v weighs whole
// quarters of A, C, G and T, so a column's sum is a whole number of quarters,
// exact in a double in any order of addition. A char's quarters sit in the
// four 16-bit lanes of one word: up to MAX_QUARTER_LEAVES leaves, 4 quarters
// each; more leaves are summed in order.
#pragma once

#include <cstdint>

#include "input/input.h"

namespace vorbex {

constexpr int MAX_QUARTER_LEAVES = 0xffff / 4;

struct QuarterTable {
    std::uint64_t lanes[256];
    std::uint8_t whole[256]; // 0 for a code that weighs thirds
};

// Built once, from the nucleotide codes.
const QuarterTable& quarterTable();

} // namespace vorbex
