// The whole run on a tree and sequences with a small set of options, through
// the driver's phases with sizes bounded so that one input takes milliseconds,
// and every candidate's alignment checked.
//
// Input: one byte of options, the tree text, a byte 0x01, the sequences; no
// tree text before the 0x01 makes the star tree of the sequences.
// The option bits are read by applyOptions.
#include <cmath>
#include <cstring>

#include "fuzz_support.h"
#include "input/input.h"
#include "resolve/resolve.h"
#include "run/parallel_candidates.h"
#include "run/run.h"
#include "support/run_invariants.h"

using namespace vorbex;

namespace {

constexpr int MAX_LEAVES = 24;
constexpr int MAX_STAR_LEAVES = 10; // a star is searched, not enumerated
constexpr int MAX_COLUMNS = 160;    // the longest sequence
constexpr double MAX_CANDIDATES = 120.0;
constexpr int OUTPUT_MASKS[] = {8, 40, 63, 24};

void applyOptions(std::uint8_t options) {
    RunSettings& s = runSettings;
    s.outputMask = OUTPUT_MASKS[options & 3];
    s.leftTrim = (options >> 2) & 1;
    s.workMode = (options & 8) ? 2 : 1;
    s.gapSymbol = (options & 16) ? ' ' : '-';
    if (options & 32)
        s.gapOpenPenalty = -4.0;
    if (options & 64)
        s.baseWeights[BASE_G] = 2.0;
    // Values that no sensible user gives, but the command line takes
    if (options & 128) {
        switch (options & 3) {
        case 0:
            s.gapOpenPenalty = std::nan("");
            break;
        case 1:
            s.gapExtendPenalty = HUGE_VAL;
            break;
        case 2:
            s.baseWeights[BASE_A] = -1.0;
            break;
        default:
            s.absoluteBonus = -HUGE_VAL;
            s.gapOpenPenalty = 1e300;
            break;
        }
    }
}

// The driver's own phases, with the bounds between them.
int runPhases() {
    if (const int code = readInputs(); code != 0)
        return code;
    if (leafCount > (longOptions.starTree ? MAX_STAR_LEAVES : MAX_LEAVES) || columnCapacity > MAX_COLUMNS)
        return 0;
    if (const int code = prepareTree(); code != 0)
        return code;
    if (treesToTry > MAX_CANDIDATES && !longOptions.starTree)
        return 0;
    if (const int code = buildResolutionTables(); code != 0)
        return code;
    // One process, one thread: the fuzzer follows every step of the serial
    // run, which the parallel paths are tested to equal byte for byte
    candidateWorkers = 1;
    return runCandidates();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    fuzz::prepareProcess();
    fuzz::startRun();
    applyOptions(data[0]);
    const std::uint8_t* tree = data + 1;
    const std::uint8_t* split = static_cast<const std::uint8_t*>(std::memchr(tree, 1, size - 1));
    const std::size_t treeSize = split != nullptr ? static_cast<std::size_t>(split - tree) : size - 1;
    // No tree text before the split: the star tree of the sequences, searched
    if (split != nullptr && treeSize == 0) {
        longOptions.starTree = true;
        longOptions.search = Search::HEURISTIC;
    }
    const std::uint8_t* sequences = split != nullptr ? split + 1 : data + size;
    treeFile = fuzz::openBytes(tree, treeSize);
    inputFile = fuzz::openBytes(sequences, static_cast<std::size_t>(data + size - sequences));
    afterCandidate = &test_support::checkCandidate;
    const int status = finishRun(runPhases());
    fuzz::require(status >= 0 && status < 128, "exit status");
    releaseRun();
    return 0;
}
