#include <cstring>

#include "align/align.h"
#include "base/settings.h"

namespace vorbex {

int trimPosition = 0;

namespace {

// The plain walk: shifts the rest of the text with its terminator once per
// gap column; never past the buffer.
void insertByShifting(TreeNode* leaf, int columns) {
    char* text = leaf->workText;
    int textLength = leaf->savedLength;
    for (int i = 0; i < columns; ++i) {
        if (!isGapColumn(leaf->workProfile[i]))
            continue;
        if (i > textLength || textLength + 1 >= TEXT_SIZE)
            continue;
        std::memmove(text + i + 1, text + i, static_cast<std::size_t>(textLength - i) + 1);
        text[i] = runSettings.gapSymbol;
        ++textLength;
    }
}

// The same in one pass, for a text that holds exactly one letter per base
// column: the plain walk then never reaches its guards. False, with nothing
// changed, otherwise.
bool insertByMerging(TreeNode* leaf, int columns, const bool* gaps) {
    static char merged[TEXT_SIZE];
    const char* text = leaf->workText;
    if (strnlen(text, TEXT_SIZE) != static_cast<std::size_t>(leaf->savedLength))
        return false;
    int next = 0;
    for (int i = 0; i < columns; ++i) {
        if (gaps[i]) {
            merged[i] = runSettings.gapSymbol;
        } else {
            if (next == leaf->savedLength)
                return false;
            merged[i] = text[next++];
        }
    }
    if (next != leaf->savedLength)
        return false;
    std::memcpy(leaf->workText, merged, static_cast<std::size_t>(columns));
    leaf->workText[columns] = '\0';
    return true;
}

} // namespace

int insertGapSymbols() {
    static bool gaps[MAXSEQLEN];
    int firstCommonColumn = 0;
    for (int entry = 0; entry < leafCount; ++entry) {
        TreeNode* leaf = nodeTable[entry];
        const int columns = leaf->workLength < MAXSEQLEN ? leaf->workLength : MAXSEQLEN;
        bool started = false;
        for (int i = 0; i < columns; ++i) {
            gaps[i] = isGapColumn(leaf->workProfile[i]);
            // The trimmed alignment starts where the last leaf to begin has begun
            if (!gaps[i] && !started) {
                started = true;
                if (i > firstCommonColumn)
                    firstCommonColumn = i;
            }
        }
        if (usePlainImplementation || !insertByMerging(leaf, columns, gaps))
            insertByShifting(leaf, columns);
    }
    trimPosition = runSettings.leftTrim ? firstCommonColumn : 0;
    return firstCommonColumn;
}

} // namespace vorbex
