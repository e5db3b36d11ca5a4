// The heuristic search over the resolutions of the polytomies: one polytomy
// at a time improves while the others stay, in rounds, until a whole round
// changes nothing. A polytomy of a small order has every resolution tried;
// a larger one climbs by nearest-neighbour interchanges from its start.
#pragma once

#include <cmath>
#include <cstddef>
#include <string>
#include <vector>

#include "align/align.h"
#include "base/result_code.h"
#include "search/topology.h"

namespace vorbex {

// One candidate tree: a resolution per polytomic node, in census order.
using CandidateTopologies = std::vector<Topology>;

// What the search asks of the run.
class CandidateEvaluator {
  public:
    virtual ~CandidateEvaluator() = default;
    // Scores the candidates in the order given: 0, or the code that ends the search.
    [[nodiscard]] virtual ResultCode evaluate(const std::vector<CandidateTopologies>& candidates,
                                              std::vector<AlignmentScore>& scores) = 0;
    // True when `score` is strictly better than `best` by the run's criterion.
    virtual bool isBetter(const AlignmentScore& best, const AlignmentScore& score) const = 0;
    // The search goes on from this candidate, scored already: the next
    // steps are its neighbours, which share most of its work.
    virtual void adopt(const CandidateTopologies&) {}
    // A second start made from the alignment of `evaluated`, the candidate
    // scored last; false when there is none.
    virtual bool alignedStart(const CandidateTopologies& /*evaluated*/, CandidateTopologies& /*start*/) {
        return false;
    }
};

struct SearchSummary {
    int starts = 0;
    int rounds = 0;          // steps over all polytomies and starts
    long long evaluated = 0; // candidates scored, the starts included
    CandidateTopologies best;
};

// Searches from each start in turn (a topology per polytomic node, of its
// order); the first start, or the aligned start made from it where that is
// better, runs to its end, the others only while at most `budget`
// candidates (HUGE_VAL: no such bound), and at most `firstStartMultiple`
// times the first start's or `leastBudget`, whichever is more, have been
// scored in all (a step that would pass it ends the search).
//
// `enumerated[i]` holds every resolution of polytomy i when it is to be
// tried in full, else nothing. No candidate is scored twice: a start meets
// the scores of the starts before it. The candidates of one step go to the
// evaluator together, and the best of them (the first among equals) is taken
// when it is better than the current one.
//
// Where one polytomy at a time improves no more, pairs of enumerated
// polytomies of at most `pairCandidates` resolutions together are tried,
// within the budget. After the given starts come up to `perturbations`
// more, each the best candidate so far with PERTURBED_POLYTOMIES polytomies
// (drawn by `seed`) changed at random: an enumerated or small one to a random
// resolution, a larger one by PERTURBED_INTERCHANGES random interchanges.
// No step passes `mostEvaluations` candidates scored in all, the first
// start's included.
struct SearchLimits {
    double budget;
    int perturbations;
    unsigned long long seed;
    double pairCandidates = 0;
    double mostEvaluations = HUGE_VAL;
    double firstStartMultiple = HUGE_VAL;
    double leastBudget = 0;
};
constexpr int PERTURBED_POLYTOMIES = 1;
constexpr int PERTURBED_INTERCHANGES = 3;
// Interchanges are scored this many at a time, the first group that holds a
// better candidate ending the step: most steps of a large polytomy improve
// early, and a fixed group keeps the search the same on any number of workers.
constexpr std::size_t INTERCHANGE_CHUNK = 16;
[[nodiscard]] ResultCode searchResolutions(const std::vector<std::vector<Topology>>& starts,
                                           const std::vector<std::vector<Topology>>& enumerated,
                                           const SearchLimits& limits, CandidateEvaluator& evaluator,
                                           SearchSummary& summary);

} // namespace vorbex
