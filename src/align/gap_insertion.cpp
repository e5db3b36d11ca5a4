#include <algorithm>
#include <cstring>
#include <vector>

#include "align/align.h"
#include "align/settled_subtrees.h"
#include "base/output.h"
#include "base/settings.h"

namespace vorbex {

int trimPosition = 0;

namespace {

// Columns of the leaf's working profile that gap insertion reads.
int profileColumns(const TreeNode* leaf) {
    return std::min(leaf->workLength, workColumnRoom(leaf));
}

// Chars the text can reach: one per column, or for a text that is not the
// saved one, one more per gap, never past the longest alignment; and its terminator.
int textRoomNeeded(const TreeNode* leaf) {
    const long most = static_cast<long>(leaf->savedLength) + profileColumns(leaf);
    return static_cast<int>(most < longOptions.maxLength ? most : longOptions.maxLength) + 1;
}

// The plain walk: shifts the rest of the text with its terminator once per
// gap column; never past the longest alignment, nor the buffer.
void insertByShifting(TreeNode* leaf, int columns) {
    char* text = leaf->workText;
    int textLength = leaf->savedLength;
    const int longest =
        leaf->textRoom - 1 < longOptions.maxLength ? leaf->textRoom - 1 : longOptions.maxLength;
    for (int i = 0; i < columns; ++i) {
        if (!isGapColumnOf(leaf, i))
            continue;
        if (i > textLength || textLength + 1 > longest)
            continue;
        std::memmove(text + i + 1, text + i, static_cast<std::size_t>(textLength - i) + 1);
        text[i] = runSettings.gapSymbol;
        ++textLength;
    }
}

// The same in one pass, for a text that holds exactly one letter per base
// column: the plain walk then never reaches its guards. False, with nothing
// changed, otherwise.
bool insertByMerging(TreeNode* leaf, int columns, const std::vector<char>& gaps) {
    static std::vector<char> merged;
    const char* text = leaf->workText;
    if (columns + 1 > leaf->textRoom || strnlen(text, static_cast<std::size_t>(leaf->textRoom)) !=
                                            static_cast<std::size_t>(leaf->savedLength))
        return false;
    if (merged.size() < static_cast<std::size_t>(columns))
        merged.resize(static_cast<std::size_t>(columns));
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
    std::memcpy(leaf->workText, merged.data(), static_cast<std::size_t>(columns));
    leaf->workText[columns] = '\0';
    return true;
}

} // namespace

ResultCode reserveLeafTexts() {
    for (int entry = 0; entry < leafCount; ++entry) {
        TreeNode* leaf = nodeTable[entry];
        if (leaf->workText == nullptr)
            continue;
        if (const int chars = textRoomNeeded(leaf); !reserveWorkText(leaf, chars)) {
            reportBoth("ERROR: No memory for an alignment of %d columns\n", chars - 1);
            return ERMEM;
        }
    }
    return 0;
}

int insertGapSymbols() {
    static std::vector<char> gaps;
    int firstCommonColumn = 0;
    for (int entry = 0; entry < leafCount; ++entry) {
        TreeNode* leaf = nodeTable[entry];
        if (int firstBase; isGatheredLeaf(leaf, firstBase)) {
            // Its final text is written already
            if (firstBase > firstCommonColumn)
                firstCommonColumn = firstBase;
            continue;
        }
        const int columns = profileColumns(leaf);
        if (gaps.size() < static_cast<std::size_t>(columns))
            gaps.resize(static_cast<std::size_t>(columns));
        bool started = false;
        for (int i = 0; i < columns; ++i) {
            gaps[i] = isGapColumnOf(leaf, i);
            // The trimmed alignment starts where the last leaf to begin has begun
            if (!gaps[i] && !started) {
                started = true;
                if (i > firstCommonColumn)
                    firstCommonColumn = i;
            }
        }
        if (mainWorkspace().choices.plain || !insertByMerging(leaf, columns, gaps))
            insertByShifting(leaf, columns);
    }
    trimPosition = runSettings.leftTrim ? firstCommonColumn : 0;
    return firstCommonColumn;
}

} // namespace vorbex
