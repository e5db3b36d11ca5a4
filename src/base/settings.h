// The run's settings: what the command line sets, read-only once it is parsed.
#pragma once

#include <string>

namespace vorbex {

constexpr const char* VERSION = "1.52";
// A slot for a name or a file name: up to 255 characters and the terminator.
constexpr int NAME_SIZE = 256;
constexpr int MAX_NAME_LENGTH = NAME_SIZE - 1;

// Bits of outputMask
constexpr int OUT_INIT = 1;
constexpr int OUT_STEPS = 2;
constexpr int OUT_FINAL = 4;
constexpr int OUT_ALIGN = 8;
constexpr int OUT_VERBOSE = 16;
constexpr int OUT_TREES = 32;

struct RunSettings {
    char inputFileName[NAME_SIZE];
    char treeFileName[NAME_SIZE];
    char outputFileName[NAME_SIZE];
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

// Columns of the longest sequence and alignment unless --max-length says otherwise
constexpr int MAXSEQLEN = 2047;
// Entries of the node table unless --max-nodes says otherwise
constexpr int DEFAULT_MAX_NODES = 4095;

enum class AlignmentFormat { FASTA, CLUSTAL, PHYLIP, STOCKHOLM };
enum class RowOrder { INPUT, TREE };

// What the long options set; each is off until asked for.
// How profiles are aligned and candidates compared: as specified, or by the
// weighted sum of pairs.
enum class Scoring { CLASSIC, SUM_OF_PAIRS };

// Which resolutions of the polytomies are tried: every one, or those a
// search by rearrangements reaches from a start built from distances.
enum class Search { EXHAUSTIVE, HEURISTIC };

// When the progress line shows: on a terminal, or also on a pipe (mpirun
// forwards the first rank's standard error through one), or never.
enum class ProgressLine { TERMINAL, ALWAYS, NEVER };

struct LongOptions {
    std::string alignmentFileName; // the best alignment; empty: none
    AlignmentFormat alignmentFormat = AlignmentFormat::FASTA;
    RowOrder rowOrder = RowOrder::INPUT;
    std::string treeFileName;          // the best candidate's tree
    std::string candidatesFileName;    // one row per candidate tree
    int processorLimit = 0;            // 0: every processor of the affinity
    bool standardNewick = false;       // branch lengths, quotes, comments: the NEWICK of other programs
    bool firstWordNames = false;       // a FASTA name ends at its first blank
    bool ignoreExtraSequences = false; // records of names not in the tree are passed over
    int maxLength = MAXSEQLEN;         // the longest sequence and alignment, in columns
    int maxNodes = DEFAULT_MAX_NODES;  // entries of the node table
    ProgressLine progressLine = ProgressLine::TERMINAL;
    Scoring scoring = Scoring::CLASSIC;
    int refineRounds = 0; // rounds of refining the best alignment (--scoring=sp only)
    Search search = Search::EXHAUSTIVE;
    bool starTree = false; // no tree file: every sequence under one root
};

extern LongOptions longOptions;

// The values a run has before its command line, shown by the usage text.
constexpr RunSettings DEFAULT_SETTINGS = {
    "", "", "", 0, 1.0, 0.1, 0.2, -2.0, -0.2, 40, {1.0, 1.0, 1.0, 1.0}, '-', 0, 1,
};

// Stores every default.
void storeDefaultSettings();

} // namespace vorbex
