#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "base/output.h"
#include "base/physical_memory.h"
#include "base/result_code.h"
#include "base/settings.h"
#include "resolve/resolve.h"

namespace vorbex {

int topologyCount[CHILD_SLOTS];

namespace {

// A table is not held string by string ((2k-3)!! x (3k-1) bytes, 27.5 GB up
// to order 11) but as where each split of the children starts in it. The
// table's order is that of the walk that resolves the splits side by side:
//   1. every split (mask m of the children B, C, ... on the second side), both
//      sides in their first resolution;
//   2. per split, the other resolutions of its first side, then those of its
//      second side (the other side in its first resolution);
//   3. per split with both sides of three or more children: per further
//      resolution of the first side, the further ones of the second.
// So entry i names a split and one entry of each side's smaller table.
struct OrderLayout {
    int splitCount = 0; // 2^(k-1) - 1
    // Per split m (at m-1): where its entries of parts 2 and 3 start, counted
    // from the start of that part
    std::uint32_t* sideStart = nullptr;
    std::uint32_t* nestedStart = nullptr;
    std::uint32_t sidesTotal = 0;
    std::uint32_t nestedTotal = 0;
};

OrderLayout layouts[CHILD_SLOTS];

// Resolutions of a side of `size` children; a side of one or two has one.
std::uint32_t sideCount(int size) {
    return size <= 2 ? 1u : static_cast<std::uint32_t>(topologyCount[size]);
}

int splitCount(int order) {
    return (1 << (order - 1)) - 1;
}

// Size of the second side of split `mask`: the children whose bit is set.
int secondSize(unsigned mask) {
    return std::popcount(mask);
}

ResultCode buildOrder(int order) {
    OrderLayout& layout = layouts[order];
    const double count = resolutionCount(order);
    layout.splitCount = splitCount(order);
    layout.sideStart = static_cast<std::uint32_t*>(std::calloc(2 * layout.splitCount, sizeof(std::uint32_t)));
    if (layout.sideStart == nullptr)
        return ERMEM;
    layout.nestedStart = layout.sideStart + layout.splitCount;
    topologyCount[order] = static_cast<int>(count);
    std::uint64_t sides = 0;
    std::uint64_t nested = 0;
    for (unsigned mask = 1; mask <= static_cast<unsigned>(layout.splitCount); ++mask) {
        const std::uint64_t first = sideCount(order - secondSize(mask));
        const std::uint64_t second = sideCount(secondSize(mask));
        layout.sideStart[mask - 1] = static_cast<std::uint32_t>(sides);
        layout.nestedStart[mask - 1] = static_cast<std::uint32_t>(nested);
        sides += (first - 1) + (second - 1);
        nested += (first - 1) * (second - 1);
    }
    layout.sidesTotal = static_cast<std::uint32_t>(sides);
    layout.nestedTotal = static_cast<std::uint32_t>(nested);
    // Every topology once: the parts must add up to the count
    return static_cast<double>(layout.splitCount + sides + nested) == count ? 0 : ERINT;
}

// The split whose part of the table, starting at `starts`, holds `offset`:
// the last one starting at or before it (splits of no entries share a start
// with the next).
unsigned splitAt(const std::uint32_t* starts, int count, std::uint32_t offset) {
    return static_cast<unsigned>(std::upper_bound(starts, starts + count, offset) - starts);
}

char* writeTopology(int order, std::uint32_t index, const char* letters, char* out);

// One side as one item: a single child bare, more in parentheses.
char* writeSide(const char* letters, int size, std::uint32_t index, char* out) {
    if (size == 1) {
        *out++ = letters[0];
        return out;
    }
    *out++ = '(';
    if (size == 2) {
        *out++ = letters[0];
        *out++ = letters[1];
    } else {
        out = writeTopology(size, index, letters, out);
    }
    *out++ = ')';
    return out;
}

// Entry `index` of order `order`, child x written as letters[x].
char* writeTopology(int order, std::uint32_t index, const char* letters, char* out) {
    const OrderLayout& layout = layouts[order];
    unsigned mask;
    std::uint32_t first = 0;
    std::uint32_t second = 0;
    const std::uint32_t splits = static_cast<std::uint32_t>(layout.splitCount);
    if (index < splits) {
        mask = index + 1;
    } else if (index - splits < layout.sidesTotal) {
        const std::uint32_t offset = index - splits;
        mask = splitAt(layout.sideStart, layout.splitCount, offset);
        const std::uint32_t within = offset - layout.sideStart[mask - 1];
        const std::uint32_t firstOthers = sideCount(order - secondSize(mask)) - 1;
        if (within < firstOthers)
            first = within + 1;
        else
            second = within - firstOthers + 1;
    } else {
        const std::uint32_t offset = index - splits - layout.sidesTotal;
        mask = splitAt(layout.nestedStart, layout.splitCount, offset);
        const std::uint32_t within = offset - layout.nestedStart[mask - 1];
        const std::uint32_t secondOthers = sideCount(secondSize(mask)) - 1;
        first = within / secondOthers + 1;
        second = within % secondOthers + 1;
    }
    // The first child is always on the first side; both sides keep the children's order
    char firstLetters[CHILD_SLOTS];
    char secondLetters[CHILD_SLOTS];
    int firstCount = 0;
    int secondCount = 0;
    firstLetters[firstCount++] = letters[0];
    for (int j = 1; j < order; ++j) {
        if (mask & (1u << (j - 1)))
            secondLetters[secondCount++] = letters[j];
        else
            firstLetters[firstCount++] = letters[j];
    }
    out = writeSide(firstLetters, firstCount, first, out);
    return writeSide(secondLetters, secondCount, second, out);
}

} // namespace

bool isChildLetter(char c) {
    return c >= 'A';
}

bool topologyText(int order, int index, char* text) {
    if (order < 3 || order >= CHILD_SLOTS || layouts[order].sideStart == nullptr || index < 0 ||
        index >= topologyCount[order])
        return false;
    char letters[CHILD_SLOTS];
    for (int x = 0; x < order; ++x)
        letters[x] = static_cast<char>('A' + x);
    *writeTopology(order, static_cast<std::uint32_t>(index), letters, text) = '\0';
    return true;
}

double resolutionTableBytes(int order) {
    double bytes = 0.0;
    for (int k = 3; k <= order; ++k)
        bytes += 2.0 * splitCount(k) * sizeof(std::uint32_t);
    return bytes;
}

int buildResolutionTables(double memoryBytes) {
    // The heuristic search enumerates the small orders only
    const int largest = longOptions.search == Search::HEURISTIC && maxPolytomyOrder > MAX_ENUMERATED_ORDER
                            ? MAX_ENUMERATED_ORDER
                            : maxPolytomyOrder;
    if (largest > MAX_POLYTOMY_ORDER)
        return ERINT;
    // All orders are weighed before the first is built
    const double needed = resolutionTableBytes(largest);
    if (needed > memoryBytes) {
        reportBoth("Resolution tables up to order %d need %.0f bytes, more than the memory (%.0f bytes)\n",
                   largest, needed, memoryBytes);
        return ERMEM;
    }
    // Each order's layout counts the resolutions of the smaller orders
    for (int order = 3; order <= largest; ++order) {
        if (layouts[order].sideStart != nullptr)
            continue;
        if (const ResultCode code = buildOrder(order); code != 0)
            return code;
    }
    return 0;
}

int buildResolutionTables() {
    return buildResolutionTables(physicalMemoryBytes());
}

void releaseResolutionTables() {
    for (int order = 0; order < CHILD_SLOTS; ++order) {
        std::free(layouts[order].sideStart);
        layouts[order] = OrderLayout{};
        topologyCount[order] = 0;
    }
}

} // namespace vorbex
