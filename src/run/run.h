// Run control: settings, result codes, start-up and the candidate loop.
#pragma once

#include <cstdio>

namespace vorbex {

constexpr const char* VERSION = "1.52";
constexpr int FILE_NAME_SIZE = 256; // 255 characters and the terminator

// Result codes: a bit set, 0 for success.
using ResultCode = int;
constexpr ResultCode ERARG = 1;
constexpr ResultCode ERMEM = 2;
constexpr ResultCode ERIO = 4;
constexpr ResultCode ERDATA = 8;
constexpr ResultCode ERTREE = 16;
constexpr ResultCode ERINT = 32;
constexpr ResultCode ERSYS = 64;
constexpr int USAGE_SHOWN = 256; // the usage text was printed; no run
constexpr int NO_MORE_CANDIDATES = -1;

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
extern FILE* inputFile;
extern FILE* treeFile;
extern FILE* reportFile;
extern char* treeTextBuffer;

// Writes a line to standard output and, when it is open, to the report file,
// which is then flushed.
[[gnu::format(printf, 1, 2)]] void reportBoth(const char* format, ...);
// Writes to the report file when it is open.
[[gnu::format(printf, 1, 2)]] void reportOnly(const char* format, ...);

[[nodiscard]] ResultCode initialiseRun();
[[nodiscard]] int parseArguments(int argc, char** argv);
void printUsage();
[[noreturn]] void exitWithResult(int code);

// Processors this process may run on (its CPU affinity), at least 1.
int availableProcessors();

// The whole run, from the command line to the exit status; never returns.
[[noreturn]] void runVorbex(int argc, char** argv);
[[nodiscard]] ResultCode runCandidates();

} // namespace vorbex
