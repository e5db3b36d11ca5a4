#include "run/heuristic_candidates.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <random>

#include "base/output.h"
#include "resolve/resolve.h"
#include "run/candidate_messages.h"
#include "run/mpi_candidates.h"
#include "run/parallel_candidates.h"
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
        // A step's candidates side by side in MPI ranks or worker processes, written in order
        standing_.clear();
        const CandidateBatch batch = {static_cast<int>(candidates.size()), candidateNumber + 1, [&](int c) {
                                          return candidateTreeOf(candidates[static_cast<std::size_t>(c)]);
                                      }};
        if (ranksShareSearch()) {
            int code = 0;
            evaluateBatchOverRanks(batch, best_, scores, code, failed_);
            return code;
        }
        if (workers_ > 1 && candidates.size() >= MIN_WORKER_BATCH) {
            int code = 0;
            if (evaluateBatchInWorkers(workers_, batch, best_, scores, code, failed_))
                return code;
        }
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
        if (!candidates.empty())
            standing_ = candidates.back();
        return 0;
    }

    // Workers start from this process's subtree cache, which holds only what
    // it aligned itself: it aligns the candidate the search goes on from, so
    // that the workers' next candidates find its subtrees. Each MPI rank
    // aligns it too, having scored only its own slices.
    void adopt(const CandidateTopologies& current) override {
        if (workers_ > 1 || ranksShareSearch())
            (void)standHere(current);
    }

    // Made from the evaluated candidate's alignment, standing in this process
    bool alignedStart(const CandidateTopologies& evaluated, CandidateTopologies& start) override {
        // Every rank of an MPI job makes it, and all go on from it or none
        if (!trueOnEveryRank(standHere(evaluated)))
            return false;
        start.clear();
        for (const TreeNode* polytomic : polytomicNodes)
            start.push_back(averageLinkageTopology(alignedChildDistances(polytomic)));
        return true;
    }

    bool isBetter(const AlignmentScore& best, const AlignmentScore& score) const override {
        const BestAlignment standing = {1, best.MA_length, best.ConsIndex, best.sumOfPairs};
        return vorbex::isBetter(standing, score);
    }

  private:
    // Aligns the candidate here (unless it stands here already), its texts
    // thrown away; false when it cannot be.
    bool standHere(const CandidateTopologies& candidate) {
        if (candidate == standing_)
            return true;
        if (candidateTreeOf(candidate) != 0 || !beginCandidateCapture())
            return false;
        standing_ = candidate;
        const auto hook = afterCandidate;
        afterCandidate = nullptr;
        AlignmentScore score;
        const ResultCode code = evaluateCandidate(candidateNumber, score);
        afterCandidate = hook;
        (void)packCandidateMessage(CANDIDATE_DONE, candidateNumber, 0, score);
        return code == 0;
    }

    BestAlignment& best_;
    bool& failed_;
    CandidateCapture capture_;
    const int workers_ = ranksShareSearch() ? 1 : candidateWorkerCount();
    CandidateTopologies standing_; // the candidate whose work this process holds
};

// The starts of the search: the children joined by their distances, each
// polytomy's first resolution (as the exhaustive search's first candidate,
// the children in input order), then random resolutions of a fixed seed
std::vector<std::vector<Topology>> searchStarts() {
    std::vector<std::vector<Topology>> starts(SEARCH_STARTS);
    std::mt19937_64 random(SEARCH_SEED);
    for (const TreeNode* polytomic : polytomicNodes) {
        const int order = polytomic->childCount;
        starts[0].push_back(averageLinkageTopology(childDistances(polytomic)));
        Topology inputOrder;
        inputOrder.order = order;
        for (int j = 0; j + 2 <= order; ++j) {
            inputOrder.left.push_back(j == 0 ? 0 : order + j - 1);
            inputOrder.right.push_back(j + 1);
        }
        char text[TOPOLOGY_TEXT_SIZE];
        starts[1].push_back(order <= MAX_ENUMERATED_ORDER && topologyText(order, 0, text)
                                ? topologyFromText(text, order)
                                : inputOrder);
        for (std::size_t s = 2; s < starts.size(); ++s)
            starts[s].push_back(randomTopology(order, random));
    }
    return starts;
}

// A candidate costs about its letters: the search of a large tree ends
// after SEARCH_LETTER_BUDGET of them in all, its time so bounded whatever
// the number of its polytomies
double mostEvaluations() {
    double letters = 0.0;
    for (int entry = 0; entry < leafCount; ++entry)
        letters += nodeTable[entry]->savedLength;
    return std::max(MIN_SEARCH_EVALUATIONS, SEARCH_LETTER_BUDGET / std::max(letters, 1.0));
}

} // namespace

std::vector<std::vector<Topology>> enumeratedTopologies(double mostEvaluations) {
    std::vector<std::vector<Topology>> all(polytomicNodes.size());
    for (std::size_t i = 0; i < polytomicNodes.size(); ++i) {
        const int order = polytomicNodes[i]->childCount;
        // In a small space of candidates one polytomy's resolutions would be
        // most of it; in a large tree's few evaluations, one step would take
        // what the other polytomies need
        const double count = resolutionCount(order);
        if (order > MAX_ENUMERATED_ORDER || count > ENUMERATED_SHARE * treesToTry ||
            count > ENUMERATED_SHARE * mostEvaluations)
            continue;
        char text[TOPOLOGY_TEXT_SIZE];
        for (int index = 0; topologyText(order, index, text); ++index)
            all[i].push_back(topologyFromText(text, order));
    }
    return all;
}

bool searchesHeuristically() {
    return longOptions.search == Search::HEURISTIC && treesToTry > HEURISTIC_ENUMERATION_LIMIT;
}

void runHeuristicSearch(BestAlignment& best, int& code, bool& candidateFailed) {
    // Every rank of an MPI job runs the same search; a follower keeps its own
    // copy of the best, and ends the run with none, as in the candidate loop
    BestAlignment followersBest = NO_BEST_ALIGNMENT;
    ReportingEvaluator evaluator(isFollowerRank() ? followersBest : best, candidateFailed);
    SearchSummary summary;
    // A space too large for a share of it: the first start alone, then starts
    // from the best with a few interchanges made at random, for a multiple of
    // its candidates; random starts would be far from any good candidate
    const bool large = treesToTry > EXTRA_STARTS_LIMIT;
    const SearchLimits limits = {large ? HUGE_VAL : SEARCH_BUDGET_SHARE * treesToTry,
                                 SEARCH_PERTURBATIONS,
                                 SEARCH_SEED + 1,
                                 large ? 0.0 : std::min(ENUMERATED_SHARE * treesToTry, MAX_PAIR_CANDIDATES),
                                 mostEvaluations(),
                                 large ? LARGE_SEARCH_MULTIPLE : SEARCH_MULTIPLE,
                                 large ? 0.0 : MIN_SEARCH_BUDGET};
    std::vector<std::vector<Topology>> starts = searchStarts();
    if (large)
        starts.resize(1);
    code = runSearchOverRanks([&] {
        return searchResolutions(starts, enumeratedTopologies(limits.mostEvaluations), limits, evaluator,
                                 summary);
    });
    if (code != 0)
        return;
    if (const int restored = restoreActualTree(); restored != 0) {
        code = restored;
        return;
    }
    endProgress();
    reportBoth("Heuristic search: %lld of %g candidate trees evaluated in %d steps from %d start(s)\n",
               summary.evaluated, treesToTry, summary.rounds, summary.starts);
    code = NO_MORE_CANDIDATES;
}

} // namespace vorbex
