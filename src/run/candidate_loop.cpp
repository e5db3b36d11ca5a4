#include "run/candidate_loop.h"

#include <cstdlib>
#include <ctime>

#include "align/refinement.h"
#include "align/settled_subtrees.h"
#include "report/report.h"
#include "resolve/resolve.h"
#include "run/heuristic_candidates.h"
#include "run/mpi_candidates.h"
#include "run/parallel_candidates.h"
#include "run/progress.h"
#include "run/run.h"

namespace vorbex {

void (*afterCandidate)(int number, const AlignmentScore& score) = nullptr;

bool isBetter(const BestAlignment& best, const AlignmentScore& score) {
    // The first candidate wins at any length, also past the 8188 shown before it.
    // A tie keeps the earlier candidate
    if (best.number < 0)
        return true;
    if (longOptions.scoring == Scoring::SUM_OF_PAIRS)
        return score.sumOfPairs > best.sumOfPairs;
    return score.MA_length < best.length ||
           (score.MA_length == best.length && score.ConsIndex > best.ConsIndex);
}

bool takeIfBetter(BestAlignment& best, int number, const AlignmentScore& score) {
    if (!isBetter(best, score))
        return false;
    best = {number, score.MA_length, score.ConsIndex, score.sumOfPairs};
    return true;
}

namespace {

void dumpLeaves() {
    reportOnly("*** Initial vectors ***\n");
    for (int entry = 0; entry < leafCount; ++entry)
        dumpNode(nodeTable[entry]);
    reportOnly("\n");
}

// The candidates one after the other in this process.
ResultCode runSerially(BestAlignment& best, bool& candidateFailed) {
    CandidateCapture capture;
    int code = nextCandidateTree();
    while (code == 0) {
        ++candidateNumber;
        AlignmentScore score;
        if (const ResultCode failed = evaluateCandidate(candidateNumber, score); failed != 0) {
            candidateFailed = true;
            return failed;
        }
        if (const ResultCode failed = captureEvaluated(isBetter(best, score), capture); failed != 0) {
            candidateFailed = true;
            return failed;
        }
        takeCandidate(best, candidateNumber, score, capture);
        code = nextCandidateTree();
    }
    return code;
}

} // namespace

ResultCode evaluateCandidate(int number, AlignmentScore& score) {
    if (polytomicCount != 0 && (runSettings.outputMask & OUT_TREES) && treeTextBuffer != nullptr)
        if (const ResultCode code = echoTree(rootNode, treeTextBuffer); code != 0)
            return code;
    if (runSettings.outputMask & OUT_INIT)
        dumpLeaves();
    if (const ResultCode code = traceForward(); code != 0)
        return code;
    if (const ResultCode code = traceBackward(); code != 0)
        return code;
    insertGapSymbols();
    writeAlignedSequences(trimPosition);
    // The sum of pairs reads every leaf's aligned profile
    if (longOptions.scoring == Scoring::SUM_OF_PAIRS)
        if (const ResultCode code = completeLeafProfiles(); code != 0)
            return code;
    score = scoreAlignment();
    writeCandidateSummary(number, polytomicCount != 0, score.MA_length, score.Conserv0, score.Conserv1,
                          score.ConsIndex, score.sumOfPairs);
    if (afterCandidate != nullptr)
        afterCandidate(number, score);
    return 0;
}

ResultCode captureEvaluated(bool mayBeBest, CandidateCapture& capture) {
    // The rows of the alignment file come from the leaves' aligned profiles
    if (mayBeBest)
        if (const ResultCode code = completeLeafProfiles(); code != 0)
            return code;
    captureCandidate(trimPosition, mayBeBest, capture);
    return 0;
}

void takeCandidate(BestAlignment& best, int number, const AlignmentScore& score,
                   const CandidateCapture& capture) {
    const bool isBest = takeIfBetter(best, number, score);
    recordCandidate(number, score.MA_length, score.Conserv0, score.Conserv1, score.ConsIndex,
                    score.sumOfPairs, isBest, capture);
    if (reportFile != nullptr)
        std::fflush(reportFile);
    showProgress(number);
}

// --refine: the best alignment refined over its tree's edges; the alignment
// file then holds the refined one.
ResultCode refineBest() {
    std::vector<std::string> rows = bestAlignmentRows();
    RefinementResult result;
    if (const ResultCode code = refineAlignment(rows, bestAlignmentShape(), longOptions.refineRounds, result))
        return code;
    const int length = replaceBestAlignment(rows, result.sumOfPairs);
    reportBoth("Refined alignment: Length=%d SP=%.4f, %d of %d realignments kept in %d rounds\n", length,
               result.sumOfPairs, result.kept, result.realigned, result.rounds);
    return 0;
}

ResultCode runCandidates() {
    candidateNumber = 0;
    BestAlignment best = NO_BEST_ALIGNMENT;
    const std::time_t start = std::time(nullptr);
    const bool searching = searchesHeuristically();
    startProgress(treesToTry, searching);

    int code = 0;
    bool candidateFailed = false;
    if (searching) {
        runHeuristicSearch(best, code, candidateFailed);
    } else if (!runCandidatesOverRanks(best, code, candidateFailed)) {
        const int workers = candidateWorkerCount();
        if (workers <= 1 || !runCandidatesInWorkers(workers, best, code, candidateFailed))
            code = runSerially(best, candidateFailed);
    }

    endProgress();
    std::free(treeTextBuffer);
    treeTextBuffer = nullptr;
    // An alignment that overflowed leaves no best alignment to report
    if (candidateFailed)
        return code;
    if (longOptions.scoring == Scoring::SUM_OF_PAIRS)
        reportBoth("Best multiple alignment #%d: Length=%d ConsIndex=%.2f SP=%.4f\n", best.number,
                   best.length, best.ConsIndex, best.sumOfPairs);
    else
        reportBoth("Best multiple alignment #%d: Length=%d ConsIndex=%.2f\n", best.number, best.length,
                   best.ConsIndex);
    if (longOptions.refineRounds > 0 && best.number > 0)
        if (const ResultCode refined = refineBest())
            return refined;
    const std::time_t end = std::time(nullptr);
    std::printf("Elapsed time: %.0f s\n", std::difftime(end, start));
    return code == NO_MORE_CANDIDATES ? 0 : code;
}

} // namespace vorbex
