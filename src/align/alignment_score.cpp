#include <cmath>
#include <cstdint>
#include <vector>

#include "align/align.h"
#include "align/quarter_counts.h"
#include "align/settled_subtrees.h"
#include "base/settings.h"

namespace vorbex {

const QuarterTable& quarterTable() {
    static const QuarterTable table = [] {
        QuarterTable built{};
        for (int c = 0; c < 256; ++c) {
            ProfileColumn code;
            built.whole[c] = 1;
            if (nucleotideColumn(static_cast<char>(c), code) != 0)
                continue;
            for (int base = 0; base < BASE_COUNT; ++base) {
                const double quarters = code.weight[base] * 4.0;
                if (quarters != std::floor(quarters)) {
                    built.whole[c] = 0;
                    built.lanes[c] = 0;
                    break;
                }
                built.lanes[c] |= static_cast<std::uint64_t>(quarters) << (16 * base);
            }
        }
        return built;
    }();
    return table;
}

namespace {

// The end of a leaf's scored columns: stale characters of an earlier
// candidate may follow its text's terminator.
int scoredEnd(const TreeNode* leaf, int alignmentLength) {
    const int textLength = workTextLength(leaf);
    return textLength < alignmentLength ? textLength : alignmentLength;
}

// The sums leaf by leaf in the table's order, as the weights are defined.
void sumInOrder(int alignmentLength, std::vector<ProfileColumn>& columnSum) {
    for (int i = trimPosition; i < alignmentLength; ++i)
        columnSum[i] = ProfileColumn{{0.0, 0.0, 0.0, 0.0}};
    for (int entry = 0; entry < leafCount; ++entry) {
        const TreeNode* leaf = nodeTable[entry];
        const int end = scoredEnd(leaf, alignmentLength);
        for (int i = trimPosition; i < end; ++i) {
            ProfileColumn code;
            if (nucleotideColumn(leaf->workText[i], code) != 0)
                continue;
            for (int base = 0; base < BASE_COUNT; ++base)
                columnSum[i].weight[base] += code.weight[base];
        }
    }
}

// The same sums counted in quarters; false when a text holds a code that
// weighs thirds, whose sums depend on the order.
bool sumByQuarters(int alignmentLength, std::vector<ProfileColumn>& columnSum) {
    if (leafCount > MAX_QUARTER_LEAVES)
        return false;
    const QuarterTable& table = quarterTable();
    static std::vector<std::uint64_t> quarters;
    quarters.assign(static_cast<std::size_t>(alignmentLength), 0);
    // Leaves of settled subtrees come as their subtrees' sums
    std::uint8_t whole = addGatheredQuarters(quarters.data(), trimPosition, alignmentLength);
    for (int entry = 0; entry < leafCount; ++entry) {
        const TreeNode* leaf = nodeTable[entry];
        if (int firstBase; isGatheredLeaf(leaf, firstBase))
            continue;
        const int end = scoredEnd(leaf, alignmentLength);
        const unsigned char* const text = reinterpret_cast<const unsigned char*>(leaf->workText);
        for (int i = trimPosition; i < end; ++i) {
            quarters[i] += table.lanes[text[i]];
            whole &= table.whole[text[i]];
        }
    }
    if (!whole)
        return false;
    for (int i = trimPosition; i < alignmentLength; ++i)
        for (int base = 0; base < BASE_COUNT; ++base)
            columnSum[i].weight[base] = static_cast<double>((quarters[i] >> (16 * base)) & 0xffff) * 0.25;
    return true;
}

} // namespace

AlignmentScore scoreAlignment() {
    AlignmentScore score{0, 0, 0, 0.0, 0.0};
    if (leafCount == 0)
        return score;
    const int longest = longOptions.maxLength;
    const int alignmentLength = nodeTable[0]->workLength < longest ? nodeTable[0]->workLength : longest;
    score.MA_length = alignmentLength - trimPosition;

    // Column sums of the reported columns
    static std::vector<ProfileColumn> columnSum;
    if (columnSum.size() < static_cast<std::size_t>(alignmentLength))
        columnSum.resize(static_cast<std::size_t>(alignmentLength));
    if (mainWorkspace().choices.plain || !sumByQuarters(alignmentLength, columnSum))
        sumInOrder(alignmentLength, columnSum);

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
    if (longOptions.scoring == Scoring::SUM_OF_PAIRS)
        score.sumOfPairs = alignmentSumOfPairs();
    return score;
}

} // namespace vorbex
