#include <cstring>

#include "align/align.h"
#include "base/settings.h"

namespace vorbex {

int trimPosition = 0;

int insertGapSymbols() {
    int firstCommonColumn = 0;
    for (int entry = 0; entry < leafCount; ++entry) {
        TreeNode* leaf = nodeTable[entry];
        char* text = leaf->workText;
        int textLength = leaf->savedLength;
        bool started = false;
        const int columns = leaf->workLength < MAXSEQLEN ? leaf->workLength : MAXSEQLEN;
        for (int i = 0; i < columns; ++i) {
            if (!isGapColumn(leaf->workProfile[i])) {
                // The trimmed alignment starts where the last leaf to begin has begun
                if (!started) {
                    started = true;
                    if (i > firstCommonColumn)
                        firstCommonColumn = i;
                }
                continue;
            }
            // Shift the rest of the text with its terminator; never past the buffer
            if (i > textLength || textLength + 1 >= TEXT_SIZE)
                continue;
            std::memmove(text + i + 1, text + i, static_cast<std::size_t>(textLength - i) + 1);
            text[i] = runSettings.gapSymbol;
            ++textLength;
        }
    }
    trimPosition = runSettings.leftTrim ? firstCommonColumn : 0;
    return firstCommonColumn;
}

} // namespace vorbex
