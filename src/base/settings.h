// The run's settings: what the command line sets, read-only once it is parsed.
#pragma once

#include <string>

namespace vorbex {

constexpr const char* VERSION = "1.52";
constexpr int FILE_NAME_SIZE = 256; // 255 characters and the terminator

// Bits of outputMask
constexpr int OUT_INIT = 1;
constexpr int OUT_STEPS = 2;
constexpr int OUT_FINAL = 4;
constexpr int OUT_ALIGN = 8;
constexpr int OUT_VERBOSE = 16;
constexpr int OUT_TREES = 32;

struct RunSettings {
    char inputFileName[FILE_NAME_SIZE];
    char treeFileName[FILE_NAME_SIZE];
    char outputFileName[FILE_NAME_SIZE];
    int appendOutput;
    double absoluteBonus;
    double almostBonus;
    double seriesBonus;
    double gapOpenPenalty;
    double gapExtendPenalty;
    int outputMask;
    double baseWeights[4];
    char gapSymbol;
    int leftTrim;
    int workMode;
};

extern RunSettings runSettings;

enum class AlignmentFormat { FASTA, CLUSTAL, PHYLIP, STOCKHOLM };
enum class RowOrder { INPUT, TREE };

// What the long options set; each is off until asked for.
struct LongOptions {
    std::string alignmentFileName; // the best alignment; empty: none
    AlignmentFormat alignmentFormat;
    RowOrder rowOrder;
    std::string treeFileName;       // the best candidate's tree
    std::string candidatesFileName; // one row per candidate tree
    int processorLimit;             // 0: every processor of the affinity
};

extern LongOptions longOptions;

// Stores every default: the values a run has before its command line.
void storeDefaultSettings();

} // namespace vorbex
