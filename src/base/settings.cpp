#include "base/settings.h"

namespace vorbex {

RunSettings runSettings;
LongOptions longOptions;

void storeDefaultSettings() {
    RunSettings& s = runSettings;
    s.inputFileName[0] = s.treeFileName[0] = s.outputFileName[0] = '\0';
    s.appendOutput = 0;
    s.leftTrim = 0;
    s.gapOpenPenalty = -2.0;
    s.gapExtendPenalty = -0.2;
    s.outputMask = 40;
    s.workMode = 1;
    s.gapSymbol = '-';
    for (double& weight : s.baseWeights)
        weight = 1.0;
    s.absoluteBonus = 1.0;
    s.almostBonus = 0.1;
    s.seriesBonus = 0.2;
    longOptions = LongOptions{"", AlignmentFormat::FASTA, RowOrder::INPUT, "", "", 0};
}

} // namespace vorbex
