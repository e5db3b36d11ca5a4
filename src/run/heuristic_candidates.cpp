#include "run/heuristic_candidates.h"

#include <cstdio>

#include "base/output.h"
#include "resolve/resolve.h"
#include "run/mpi_candidates.h"
#include "run/progress.h"
#include "run/run.h"
#include "search/child_distances.h"
#include "search/heuristic_search.h"

namespace vorbex {

namespace {

// Each candidate stands in the tree, is evaluated and reported as in the
// serial loop, and becomes the best when it is better.
class ReportingEvaluator final : public CandidateEvaluator {
  public:
    ReportingEvaluator(BestAlignment& best, bool& candidateFailed) : best_(best), failed_(candidateFailed) {}

    ResultCode evaluate(const std::vector<CandidateTopologies>& candidates,
                        std::vector<AlignmentScore>& scores) override {
        for (const CandidateTopologies& candidate : candidates) {
            if (const int code = candidateTreeOf(candidate); code != 0)
                return code;
            ++candidateNumber;
            AlignmentScore score;
            ResultCode code = evaluateCandidate(candidateNumber, score);
            if (code == 0)
                code = captureEvaluated(vorbex::isBetter(best_, score), capture_);
            if (code != 0) {
                failed_ = true;
                return code;
            }
            takeCandidate(best_, candidateNumber, score, capture_);
            scores.push_back(score);
        }
        return 0;
    }

    bool isBetter(const AlignmentScore& best, const AlignmentScore& score) const override {
        const BestAlignment standing = {1, best.MA_length, best.ConsIndex, best.sumOfPairs};
        return vorbex::isBetter(standing, score);
    }

  private:
    BestAlignment& best_;
    bool& failed_;
    CandidateCapture capture_;
};

// Every resolution of the polytomies of small order, none of the others
std::vector<std::vector<std::string>> enumeratedTopologies() {
    std::vector<std::vector<std::string>> all(polytomicNodes.size());
    for (std::size_t i = 0; i < polytomicNodes.size(); ++i) {
        const int order = polytomicNodes[i]->childCount;
        if (order > MAX_ENUMERATED_ORDER)
            continue;
        char text[TOPOLOGY_TEXT_SIZE];
        for (int index = 0; topologyText(order, index, text); ++index)
            all[i].emplace_back(text);
    }
    return all;
}

} // namespace

bool searchesHeuristically() {
    return longOptions.search == Search::HEURISTIC && treesToTry > HEURISTIC_ENUMERATION_LIMIT;
}

void runHeuristicSearch(BestAlignment& best, int& code, bool& candidateFailed) {
    // The first rank of an MPI job searches alone for now; the others wait at the end
    if (isFollowerRank()) {
        code = NO_MORE_CANDIDATES;
        return;
    }
    // Each polytomy starts from its children joined by their distances
    std::vector<Topology> start;
    for (const TreeNode* polytomic : polytomicNodes)
        start.push_back(averageLinkageTopology(childDistances(polytomic)));
    ReportingEvaluator evaluator(best, candidateFailed);
    SearchSummary summary;
    code = searchResolutions(start, enumeratedTopologies(), evaluator, summary);
    if (code != 0)
        return;
    if (const int restored = restoreActualTree(); restored != 0) {
        code = restored;
        return;
    }
    endProgress();
    reportBoth("Heuristic search: %lld of %g candidate trees evaluated in %d steps\n", summary.evaluated,
               treesToTry, summary.rounds);
    code = NO_MORE_CANDIDATES;
}

} // namespace vorbex
