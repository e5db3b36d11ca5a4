#include <cstdlib>
#include <ctime>

#include "align/align.h"
#include "report/report.h"
#include "resolve/resolve.h"
#include "run/candidate_loop.h"
#include "run/parallel_candidates.h"
#include "run/progress.h"
#include "run/run.h"

namespace vorbex {

int candidateNumber = 0;

bool takeIfBetter(BestAlignment& best, int number, int length, double consIndex) {
    if (length < best.length) {
        best = {number, length, consIndex};
        return true;
    }
    // A tie on both keeps the earlier candidate
    if (length == best.length && consIndex > best.ConsIndex) {
        best.number = number;
        best.ConsIndex = consIndex;
        return true;
    }
    return false;
}

namespace {

void echoCandidateTree() {
    if (treeTextBuffer == nullptr || rootNode == nullptr)
        return;
    if (writeNewick(rootNode, treeTextBuffer, treeTextBuffer + NEWICK_TEXT_SIZE) != nullptr)
        reportOnly("%s;\n", treeTextBuffer);
}

void dumpLeaves() {
    reportOnly("*** Initial vectors ***\n");
    for (int entry = 0; entry < leafCount; ++entry)
        dumpNode(nodeTable[entry]);
    reportOnly("\n");
}

} // namespace

AlignmentScore evaluateCandidate(int number) {
    if (polytomicCount != 0 && (runSettings.outputMask & OUT_TREES))
        echoCandidateTree();
    if (runSettings.outputMask & OUT_INIT)
        dumpLeaves();
    traceForward();
    traceBackward();
    insertGapSymbols();
    const AlignmentScore score = scoreAlignment();
    writeCandidateSummary(number, score);
    return score;
}

void takeCandidate(BestAlignment& best, int number, const AlignmentScore& score) {
    takeIfBetter(best, number, score.MA_length, score.ConsIndex);
    if (reportFile != nullptr)
        std::fflush(reportFile);
    showProgress(number);
}

ResultCode runCandidates() {
    candidateNumber = 0;
    BestAlignment best = NO_BEST_ALIGNMENT;
    const std::time_t start = std::time(nullptr);
    startProgress(treesToTry);

    int code = 0;
    const int workers = candidateWorkerCount();
    if (workers <= 1 || !runCandidatesInWorkers(workers, best, code)) {
        code = nextCandidateTree();
        while (code == 0) {
            ++candidateNumber;
            takeCandidate(best, candidateNumber, evaluateCandidate(candidateNumber));
            code = nextCandidateTree();
        }
    }

    endProgress();
    const std::time_t end = std::time(nullptr);
    reportBoth("Best multiple alignment #%d: Length=%d ConsIndex=%.2f\n", best.number, best.length,
               best.ConsIndex);
    std::printf("Elapsed time: %.0f s\n", std::difftime(end, start));
    if (code == NO_MORE_CANDIDATES)
        code = 0;
    std::free(treeTextBuffer);
    treeTextBuffer = nullptr;
    return code;
}

} // namespace vorbex
