// A candidate's alignment in the report: its aligned sequences and summary line.
#include <cstdio>
#include <cstring>

#include "base/output.h"
#include "base/settings.h"
#include "report/report.h"

namespace vorbex {

void writeAlignedSequences(int trimPosition) {
    if (!(runSettings.outputMask & OUT_ALIGN))
        return;
    if (reportFile == nullptr)
        return;
    // ">%s\n%s\n" for every leaf, written without a format: the texts are known
    // to their length, and these lines are most of a report's bytes
    for (int entry = 0; entry < leafCount; ++entry) {
        const TreeNode* leaf = nodeTable[entry];
        // Stale characters of an earlier candidate may follow the terminator
        const int textLength = workTextLength(leaf);
        std::fputc('>', reportFile);
        std::fputs(leaf->name, reportFile);
        std::fputc('\n', reportFile);
        if (trimPosition < textLength)
            std::fwrite(leaf->workText + trimPosition, 1, static_cast<std::size_t>(textLength - trimPosition),
                        reportFile);
        std::fputc('\n', reportFile);
    }
}

void writeCandidateSummary(int candidateNumber, bool polytomic, int length, int conserv0, int conserv1,
                           double consIndex, double sumOfPairs) {
    if (!polytomic && !(runSettings.outputMask & OUT_VERBOSE))
        return;
    if (longOptions.scoring == Scoring::SUM_OF_PAIRS)
        reportOnly("#%d: MA_length=%d Conserv0=%d Conserv1=%d ConsIndex=%.2f SP=%.4f\n\n", candidateNumber,
                   length, conserv0, conserv1, consIndex, sumOfPairs);
    else
        reportOnly("#%d: MA_length=%d Conserv0=%d Conserv1=%d ConsIndex=%.2f\n\n", candidateNumber, length,
                   conserv0, conserv1, consIndex);
}

} // namespace vorbex
