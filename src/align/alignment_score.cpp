#include <cmath>
#include <vector>

#include "align/align.h"
#include "base/settings.h"

namespace vorbex {

AlignmentScore scoreAlignment() {
    AlignmentScore score{0, 0, 0, 0.0};
    if (leafCount == 0)
        return score;
    const int longest = longOptions.maxLength;
    const int alignmentLength = nodeTable[0]->workLength < longest ? nodeTable[0]->workLength : longest;
    score.MA_length = alignmentLength - trimPosition;

    // Column sums of the reported columns
    static std::vector<ProfileColumn> columnSum;
    if (columnSum.size() < static_cast<std::size_t>(alignmentLength))
        columnSum.resize(static_cast<std::size_t>(alignmentLength));
    for (int i = trimPosition; i < alignmentLength; ++i)
        columnSum[i] = ProfileColumn{{0.0, 0.0, 0.0, 0.0}};
    for (int entry = 0; entry < leafCount; ++entry) {
        const TreeNode* leaf = nodeTable[entry];
        // Stale characters of an earlier candidate may follow the terminator
        const int textLength = workTextLength(leaf);
        const int end = textLength < alignmentLength ? textLength : alignmentLength;
        for (int i = trimPosition; i < end; ++i) {
            ProfileColumn code;
            if (nucleotideColumn(leaf->workText[i], code) != 0)
                continue;
            for (int base = 0; base < BASE_COUNT; ++base)
                columnSum[i].weight[base] += code.weight[base];
        }
    }

    // Conserved sites, with a bonus for every one that continues a run
    const double n = leafCount;
    bool previousConserved = false;
    for (int i = trimPosition; i < alignmentLength; ++i) {
        const double* w = columnSum[i].weight;
        const double norm = std::sqrt(w[BASE_A] * w[BASE_A] + w[BASE_C] * w[BASE_C] + w[BASE_G] * w[BASE_G] +
                                      w[BASE_T] * w[BASE_T]);
        if (norm >= n - TOLERANCE) {
            ++score.Conserv0;
            score.ConsIndex += runSettings.absoluteBonus;
            if (previousConserved)
                score.ConsIndex += runSettings.seriesBonus;
            previousConserved = true;
        } else {
            if (norm >= (n - 1) - TOLERANCE) {
                ++score.Conserv1;
                score.ConsIndex += runSettings.almostBonus;
            }
            previousConserved = false;
        }
    }
    return score;
}

} // namespace vorbex
