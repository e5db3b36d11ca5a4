#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "base/output.h"
#include "base/result_code.h"
#include "resolve/resolve.h"

namespace vorbex {

int topologyCount[CHILD_SLOTS];
char** resolutionTable[CHILD_SLOTS];

namespace {

// Room of one string of order k: 3k-4 characters and the terminator.
int slotSize(int order) {
    return 3 * order - 1;
}

double physicalMemory() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    // Unknown: leave the limit to the allocator
    if (pages <= 0 || pageSize <= 0)
        return HUGE_VAL;
    return static_cast<double>(pages) * static_cast<double>(pageSize);
}

// Group of letters written as one item: a single letter bare, more in parentheses.
char* writeGroup(char* out, const char* letters, int count) {
    if (count > 1)
        *out++ = '(';
    std::memcpy(out, letters, count);
    out += count;
    if (count > 1)
        *out++ = ')';
    return out;
}

// Every split of the letters into two sides, A always on the first one.
void writeBipartitions(int order, char** strings) {
    char first[CHILD_SLOTS];
    char second[CHILD_SLOTS];
    for (unsigned mask = 1; mask < (1u << (order - 1)); ++mask) {
        int firstCount = 0;
        int secondCount = 0;
        first[firstCount++] = 'A';
        for (int j = 1; j < order; ++j) {
            const char letter = static_cast<char>('A' + j);
            if (mask & (1u << (j - 1)))
                second[secondCount++] = letter;
            else
                first[firstCount++] = letter;
        }
        char* out = writeGroup(strings[mask - 1], first, firstCount);
        writeGroup(out, second, secondCount);
    }
}

// Writes prefix, the topology with its letters mapped onto the run, and suffix.
// False when the result would not fit the slot.
bool composeString(char* slot, int size, const char* prefix, int prefixLength, const char* topology,
                   const char* run, const char* suffix) {
    const int topologyLength = static_cast<int>(std::strlen(topology));
    const int suffixLength = static_cast<int>(std::strlen(suffix));
    if (prefixLength + topologyLength + suffixLength >= size)
        return false;
    char* out = slot;
    std::memcpy(out, prefix, prefixLength);
    out += prefixLength;
    for (int i = 0; i < topologyLength; ++i)
        *out++ = isChildLetter(topology[i]) ? run[topology[i] - 'A'] : topology[i];
    std::memcpy(out, suffix, suffixLength);
    out[suffixLength] = '\0';
    return true;
}

// Resolves every side of more than two letters with the smaller orders' tables,
// appending the other resolutions and rewriting the string with the first one.
ResultCode expandSides(int order, char** strings, int count) {
    const int size = slotSize(order);
    char original[3 * CHILD_SLOTS];
    int written = (1 << (order - 1)) - 1;
    for (int d = 0; d < written; ++d) {
        int runStart = 0;
        int runLength = 0;
        for (int position = 0; position < size && strings[d][position] != '\0'; ++position) {
            const char c = strings[d][position];
            if (isChildLetter(c)) {
                if (runLength == 0)
                    runStart = position;
                ++runLength;
                continue;
            }
            const int sideOrder = runLength;
            runLength = 0;
            if (sideOrder <= 2)
                continue;
            std::strcpy(original, strings[d]);
            const char* run = original + runStart;
            const char* suffix = original + position;
            char** side = resolutionTable[sideOrder];
            for (int t = 1; t < topologyCount[sideOrder]; ++t) {
                if (written == count)
                    return ERINT;
                if (!composeString(strings[written], size, original, runStart, side[t], run, suffix))
                    return ERINT;
                ++written;
            }
            if (!composeString(strings[d], size, original, runStart, side[0], run, suffix))
                return ERINT;
            // Go on from the suffix's first character, with the run length back at 0
            position = runStart + 3 * sideOrder - 4 - 1;
        }
    }
    return written == count ? 0 : ERINT;
}

ResultCode buildOrder(int order) {
    const int count = static_cast<int>(resolutionCount(order));
    const int size = slotSize(order);
    char** strings = static_cast<char**>(std::calloc(count, sizeof(char*)));
    if (strings == nullptr)
        return ERMEM;
    char* block = static_cast<char*>(std::calloc(static_cast<size_t>(count), size));
    if (block == nullptr) {
        std::free(strings);
        return ERMEM;
    }
    for (int j = 0; j < count; ++j)
        strings[j] = block + static_cast<size_t>(j) * size;
    topologyCount[order] = count;
    resolutionTable[order] = strings;
    writeBipartitions(order, strings);
    return expandSides(order, strings, count);
}

} // namespace

bool isChildLetter(char c) {
    return c >= 'A';
}

double resolutionTableBytes(int order) {
    double bytes = 0.0;
    for (int k = 3; k <= order; ++k)
        bytes += resolutionCount(k) * (slotSize(k) + static_cast<double>(sizeof(char*)));
    return bytes;
}

int buildResolutionTables(double memoryBytes) {
    if (maxPolytomyOrder > MAX_POLYTOMY_ORDER)
        return ERINT;
    // All orders are weighed before the first is built: a refusal costs
    // neither the time nor the memory of the smaller orders
    const double needed = resolutionTableBytes(maxPolytomyOrder);
    if (needed > memoryBytes) {
        reportBoth("Resolution tables up to order %d need %.0f bytes, more than the memory (%.0f bytes)\n",
                   maxPolytomyOrder, needed, memoryBytes);
        return ERMEM;
    }
    for (int order = 3; order <= maxPolytomyOrder; ++order) {
        if (resolutionTable[order] != nullptr)
            continue;
        if (const ResultCode code = buildOrder(order); code != 0)
            return code;
    }
    return 0;
}

int buildResolutionTables() {
    return buildResolutionTables(physicalMemory());
}

void releaseResolutionTables() {
    for (int order = 0; order < CHILD_SLOTS; ++order) {
        if (resolutionTable[order] != nullptr) {
            std::free(resolutionTable[order][0]);
            std::free(resolutionTable[order]);
        }
        resolutionTable[order] = nullptr;
        topologyCount[order] = 0;
    }
}

} // namespace vorbex
