#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

#include "align/align.h"
#include "input/input.h"
#include "report/result_files.h"
#include "resolve/resolve.h"
#include "run/mpi_candidates.h"
#include "run/run.h"

namespace vorbex {

char* treeTextBuffer = nullptr;

namespace {

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

ResultCode openFiles() {
    const RunSettings& s = runSettings;
    inputFile = openForReading(s.inputFileName);
    if (inputFile == nullptr) {
        std::printf("ERROR: Cannot open input file \"%s\"", s.inputFileName);
        return ERIO;
    }
    treeFile = longOptions.starTree ? nullptr : openForReading(s.treeFileName);
    if (treeFile == nullptr && !longOptions.starTree) {
        std::printf("ERROR: Cannot open tree file \"%s\"", s.treeFileName);
        return ERIO;
    }
    // In an MPI run the first rank alone writes
    if (isFollowerRank()) {
        reportFile = std::fopen("/dev/null", "w");
        return reportFile != nullptr ? 0 : ERIO;
    }
    // Opening the report would truncate an input that is the same file
    if (isSameFile(s.outputFileName, inputFile) || isSameFile(s.outputFileName, treeFile)) {
        std::printf("ERROR: Output file \"%s\" is an input file", s.outputFileName);
        return ERIO;
    }
    if (const ResultCode code = checkResultTargets(); code != 0)
        return code;
    reportFile = std::fopen(s.outputFileName, s.appendOutput ? "a" : "w");
    if (reportFile == nullptr) {
        std::printf("ERROR: Cannot open output file \"%s\"", s.outputFileName);
        return ERIO;
    }
    return openResultFiles();
}

void echoCommandLine(int argc, char** argv) {
    for (int i = 0; i < argc; ++i)
        std::fprintf(reportFile, std::strchr(argv[i], ' ') != nullptr ? "\"%s\" " : "%s ", argv[i]);
    std::fprintf(reportFile, "\n\n");
    std::fprintf(reportFile, BANNER, VERSION);
    printSettingsLine(reportFile);
    std::fflush(reportFile);
}

ResultCode preparePhases(int argc, char** argv, const PairwiseChoices& choices) {
    if (const ResultCode code = startRun(argc, argv, choices); code != 0)
        return code;
    if (const ResultCode code = readInputs(); code != 0)
        return code;
    if (const ResultCode code = prepareTree(); code != 0)
        return code;
    return buildResolutionTables();
}

ResultCode runPhases(int argc, char** argv, const PairwiseChoices& choices) {
    // The ranks of an MPI run go on together or end together
    if (const ResultCode code = agreeOnStart(preparePhases(argc, argv, choices)); code != 0)
        return code;
    return runCandidates();
}

} // namespace

ResultCode initialiseRun(const PairwiseChoices& choices) {
    inputFile = treeFile = reportFile = nullptr;
    resetNodeTable();
    storeDefaultSettings();
    mainWorkspace().choices = choices;
    return 0;
}

ResultCode startRun(int argc, char** argv, const PairwiseChoices& choices) {
    if (const ResultCode code = initialiseRun(choices); code != 0) {
        std::printf("ERROR: Initialization (%d)\n", code);
        return ERINT;
    }
    if (const int code = parseArguments(argc, argv); code != 0)
        return code;
    PairwiseChoices& chosen = mainWorkspace().choices;
    chosen.threads = chosen.plain ? 1 : availableProcessors();

    std::printf("\n");
    std::printf(BANNER, VERSION);
    printSettingsLine(stdout);
    if (const ResultCode code = openFiles(); code != 0)
        return code;
    if (runSettings.outputMask & OUT_VERBOSE)
        echoCommandLine(argc, argv);
    return 0;
}

ResultCode readInputs() {
    const PairwiseChoices& choices = mainWorkspace().choices;
    lightPasses = !choices.plain && !choices.wholeProfiles &&
                  (runSettings.outputMask & (OUT_INIT | OUT_STEPS | OUT_FINAL)) == 0;
    if (longOptions.starTree) {
        if (const ResultCode code = startStarTree(); code != 0)
            return code;
        if (const ResultCode code = readSequences(); code != 0)
            return code;
        if (const ResultCode code = finishStarTree(); code != 0)
            return code;
    } else {
        if (const ResultCode code = readTree(); code != 0)
            return code;
        if (const ResultCode code = readSequences(); code != 0)
            return code;
    }
    columnCapacity = scaledColumnCapacity(columnCapacity, longOptions.maxLength);
    baseSerial = nodeCount;
    return 0;
}

ResultCode prepareTree() {
    if (const ResultCode code = pruneTree(); code != 0)
        return code;
    if (rootNode == nullptr) {
        reportBoth("No leaf of the tree has a sequence\n");
        return ERDATA;
    }
    if (const ResultCode code = checkResultNames(); code != 0)
        return code;
    treeTextBuffer = static_cast<char*>(std::calloc(newickTextSize(), 1));
    return treeTextBuffer == nullptr ? ERMEM : 0;
}

int runVorbex(int argc, char** argv, const PairwiseChoices& choices) {
    return finishRun(runPhases(argc, argv, choices));
}

void releaseRun() {
    releaseTree();
    releaseResolution();
    sequenceRecords.clear();
    std::free(treeTextBuffer);
    treeTextBuffer = nullptr;
}

} // namespace vorbex
