#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "align/align.h"
#include "input/input.h"
#include "resolve/resolve.h"
#include "run/run.h"

namespace vorbex {

char* treeTextBuffer = nullptr;

namespace {

constexpr const char* BANNER = "Multiple alignment of base sequences over a tree  v.%s  Kalvexa, 2008\n";

void printSettingsLine(FILE* out) {
    const RunSettings& s = runSettings;
    std::fprintf(out, " d=%g  g=%g  o=%d  s='%c'  t=%d  w=%d\n", s.gapOpenPenalty, s.gapExtendPenalty,
                 s.outputMask, s.gapSymbol, s.leftTrim, s.workMode);
}

// Opens a file to read; a directory is refused like a missing file.
FILE* openForReading(const char* name) {
    FILE* file = std::fopen(name, "r");
    struct stat status;
    if (file != nullptr && (fstat(fileno(file), &status) != 0 || S_ISDIR(status.st_mode))) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

bool isSameFile(const char* name, FILE* open) {
    struct stat named, opened;
    return stat(name, &named) == 0 && fstat(fileno(open), &opened) == 0 && named.st_dev == opened.st_dev &&
           named.st_ino == opened.st_ino;
}

void openFiles() {
    const RunSettings& s = runSettings;
    inputFile = openForReading(s.inputFileName);
    if (inputFile == nullptr) {
        std::printf("ERROR: Cannot open input file \"%s\"", s.inputFileName);
        exitWithResult(ERIO);
    }
    treeFile = openForReading(s.treeFileName);
    if (treeFile == nullptr) {
        std::printf("ERROR: Cannot open tree file \"%s\"", s.treeFileName);
        exitWithResult(ERIO);
    }
    // Opening the report would truncate an input that is the same file
    if (isSameFile(s.outputFileName, inputFile) || isSameFile(s.outputFileName, treeFile)) {
        std::printf("ERROR: Output file \"%s\" is an input file", s.outputFileName);
        exitWithResult(ERIO);
    }
    reportFile = std::fopen(s.outputFileName, s.appendOutput ? "a" : "w");
    if (reportFile == nullptr) {
        std::printf("ERROR: Cannot open output file \"%s\"", s.outputFileName);
        exitWithResult(ERIO);
    }
}

void echoCommandLine(int argc, char** argv) {
    for (int i = 0; i < argc; ++i)
        std::fprintf(reportFile, std::strchr(argv[i], ' ') != nullptr ? "\"%s\" " : "%s ", argv[i]);
    std::fprintf(reportFile, "\n\n");
    std::fprintf(reportFile, BANNER, VERSION);
    printSettingsLine(reportFile);
    std::fflush(reportFile);
}

void stopOnFailure(ResultCode code) {
    if (code != 0)
        exitWithResult(code);
}

} // namespace

ResultCode initialiseRun() {
    if (!allocateAlignmentStorage())
        return ERMEM;
    RunSettings& s = runSettings;
    s.inputFileName[0] = s.treeFileName[0] = s.outputFileName[0] = '\0';
    inputFile = treeFile = reportFile = nullptr;
    resetNodeTable();
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
    return 0;
}

void runVorbex(int argc, char** argv) {
    if (const ResultCode code = initialiseRun(); code != 0) {
        std::printf("ERROR: Initialization (%d)\n", code);
        exitWithResult(ERINT);
    }
    stopOnFailure(parseArguments(argc, argv));
    alignmentThreads = usePlainImplementation ? 1 : availableProcessors();

    std::printf("\n");
    std::printf(BANNER, VERSION);
    printSettingsLine(stdout);
    openFiles();
    if (runSettings.outputMask & OUT_VERBOSE)
        echoCommandLine(argc, argv);

    stopOnFailure(readTree());
    stopOnFailure(readSequences());
    columnCapacity = static_cast<int>(columnCapacity * 2.5);
    if (columnCapacity > MAXSEQLEN)
        columnCapacity = MAXSEQLEN;
    baseSerial = nodeCount;
    stopOnFailure(pruneTree());
    if (rootNode == nullptr) {
        reportBoth("No leaf of the tree has a sequence\n");
        exitWithResult(ERDATA);
    }
    treeTextBuffer = static_cast<char*>(std::calloc(NEWICK_TEXT_SIZE, 1));
    if (treeTextBuffer == nullptr)
        exitWithResult(ERMEM);
    stopOnFailure(buildResolutionTables());
    exitWithResult(runCandidates());
}

} // namespace vorbex
