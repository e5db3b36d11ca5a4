#include <array>
#include <cmath>

#include "input/input.h"

namespace vorbex {
namespace {

struct CodeEntry {
    bool isCode;
    ProfileColumn column;
};

using CodeTable = std::array<CodeEntry, 256>;

constexpr CodeTable buildCodeTable() {
    const double half = 0.5;
    const double third = 1.0 / 3.0;
    const double quarter = 0.25;
    struct Code {
        char letter;
        double a, c, g, t;
    };
    const Code codes[] = {
        {'a', 1, 0, 0, 0},
        {'c', 0, 1, 0, 0},
        {'g', 0, 0, 1, 0},
        {'t', 0, 0, 0, 1},
        {'u', 0, 0, 0, 1},
        {'r', half, 0, half, 0},
        {'y', 0, half, 0, half},
        {'k', 0, 0, half, half},
        {'m', half, half, 0, 0},
        {'s', 0, half, half, 0},
        {'w', half, 0, 0, half},
        {'b', 0, third, third, third},
        {'d', third, 0, third, third},
        {'h', third, third, 0, third},
        {'v', third, third, third, 0},
        {'n', quarter, quarter, quarter, quarter},
    };
    CodeTable table{};
    for (const Code& code : codes)
        table[static_cast<unsigned char>(code.letter)] = {true, {{code.a, code.c, code.g, code.t}}};
    return table;
}

constexpr CodeTable codeTable = buildCodeTable();

} // namespace

int nucleotideColumn(char c, ProfileColumn& column) {
    const CodeEntry& entry = codeTable[static_cast<unsigned char>(c)];
    column = entry.column;
    return entry.isCode ? 0 : -1;
}

bool isGapColumn(const ProfileColumn& column) {
    for (double weight : column.weight)
        if (!(weight < TOLERANCE))
            return false;
    return true;
}

bool hasRealWeight(const ProfileColumn& column) {
    for (double weight : column.weight)
        if (weight > TOLERANCE)
            return true;
    return false;
}

std::uint8_t columnFlags(const ProfileColumn& column) {
    return static_cast<std::uint8_t>((isGapColumn(column) ? COLUMN_GAP : 0) |
                                     (hasRealWeight(column) ? COLUMN_REAL : 0));
}

bool isDefiniteColumn(const ProfileColumn& column) {
    for (double weight : column.weight)
        if (std::fabs(1.0 - weight) < TOLERANCE)
            return true;
    return false;
}

} // namespace vorbex
