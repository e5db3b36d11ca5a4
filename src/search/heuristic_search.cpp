#include "search/heuristic_search.h"

#include <cmath>
#include <cstddef>
#include <map>
#include <random>

namespace vorbex {

namespace {

std::string keyOf(const CandidateTopologies& candidate) {
    std::string key;
    for (const Topology& topology : candidate) {
        key += topologyKeyOf(topology);
        key += '|';
    }
    return key;
}

class ResolutionSearch {
  public:
    ResolutionSearch(CandidateEvaluator& evaluator, SearchSummary& summary)
        : evaluator_(evaluator), summary_(summary) {}

    // Makes `first` the current candidate, scored now or before
    ResultCode start(const CandidateTopologies& first) {
        std::vector<AlignmentScore> scores;
        if (const ResultCode code = score({first}, scores); code != 0 || spent_)
            return code;
        current_ = first;
        currentScore_ = scores[0];
        evaluator_.adopt(current_);
        return 0;
    }

    // From now on a step that would pass `budget` candidates scored in all
    // ends the search instead
    void limitTo(double budget) { budget_ = budget; }
    bool spent() const { return spent_; }

    // Scores the alternatives for polytomy i, `chunk` at a time (0: all at
    // once), and takes the best of the first chunk that holds one better
    // than the current candidate; `improved` tells whether one did.
    ResultCode step(std::size_t i, const std::vector<Topology>& alternatives, std::size_t chunk,
                    bool& improved) {
        improved = false;
        const std::size_t size = chunk == 0 ? alternatives.size() : chunk;
        for (std::size_t from = 0; from < alternatives.size() && !improved && !spent_; from += size) {
            std::vector<CandidateTopologies> candidates;
            for (std::size_t a = from; a < alternatives.size() && a < from + size; ++a) {
                candidates.push_back(current_);
                candidates.back()[i] = alternatives[a];
            }
            std::vector<AlignmentScore> scores;
            if (const ResultCode code = score(candidates, scores); code != 0 || spent_)
                return code;
            for (std::size_t c = 0; c < candidates.size(); ++c)
                if (evaluator_.isBetter(currentScore_, scores[c])) {
                    current_ = candidates[c];
                    currentScore_ = scores[c];
                    improved = true;
                }
        }
        if (improved)
            evaluator_.adopt(current_);
        return 0;
    }

    const CandidateTopologies& current() const { return current_; }
    const AlignmentScore& currentScore() const { return currentScore_; }

  private:
    // The scores of the candidates, asking the evaluator for those not scored yet
    ResultCode score(const std::vector<CandidateTopologies>& candidates,
                     std::vector<AlignmentScore>& scores) {
        std::vector<CandidateTopologies> fresh;
        for (const CandidateTopologies& candidate : candidates)
            if (known_.find(keyOf(candidate)) == known_.end() && !isListed(fresh, candidate))
                fresh.push_back(candidate);
        if (static_cast<double>(summary_.evaluated) + static_cast<double>(fresh.size()) > budget_) {
            spent_ = true;
            return 0;
        }
        if (!fresh.empty()) {
            std::vector<AlignmentScore> freshScores;
            summary_.evaluated += static_cast<long long>(fresh.size());
            if (const ResultCode code = evaluator_.evaluate(fresh, freshScores); code != 0)
                return code;
            if (freshScores.size() != fresh.size())
                return ERINT;
            for (std::size_t c = 0; c < fresh.size(); ++c)
                known_.emplace(keyOf(fresh[c]), freshScores[c]);
        }
        scores.clear();
        for (const CandidateTopologies& candidate : candidates)
            scores.push_back(known_.at(keyOf(candidate)));
        return 0;
    }

    static bool isListed(const std::vector<CandidateTopologies>& list, const CandidateTopologies& candidate) {
        const std::string key = keyOf(candidate);
        for (const CandidateTopologies& listed : list)
            if (keyOf(listed) == key)
                return true;
        return false;
    }

    CandidateEvaluator& evaluator_;
    SearchSummary& summary_;
    std::map<std::string, AlignmentScore> known_;
    CandidateTopologies current_;
    AlignmentScore currentScore_{};
    double budget_ = HUGE_VAL;
    bool spent_ = false;
};

// Improves the polytomies one at a time from the current candidate until a
// whole round over them changes nothing.
ResultCode climb(ResolutionSearch& search, const std::vector<std::vector<Topology>>& enumerated,
                 SearchSummary& summary) {
    for (bool changed = true; changed;) {
        changed = false;
        for (std::size_t i = 0; i < enumerated.size(); ++i) {
            if (!enumerated[i].empty()) {
                // Every resolution at once: the best of them stands after one step
                bool improved = false;
                ++summary.rounds;
                if (const ResultCode code = search.step(i, enumerated[i], 0, improved); code != 0)
                    return code;
                changed = changed || improved;
                continue;
            }
            for (bool improved = true; improved;) {
                ++summary.rounds;
                if (const ResultCode code = search.step(i, interchangeNeighbours(search.current()[i]),
                                                        INTERCHANGE_CHUNK, improved);
                    code != 0)
                    return code;
                changed = changed || improved;
            }
        }
    }
    return 0;
}

} // namespace

ResultCode searchResolutions(const std::vector<std::vector<Topology>>& starts,
                             const std::vector<std::vector<Topology>>& enumerated, const SearchLimits& limits,
                             CandidateEvaluator& evaluator, SearchSummary& summary) {
    ResolutionSearch search(evaluator, summary);
    bool haveBest = false;
    AlignmentScore bestScore{};
    std::mt19937_64 random(limits.seed);
    const std::size_t polytomies = enumerated.size();
    for (std::size_t round = 0; round < starts.size() + static_cast<std::size_t>(limits.perturbations);
         ++round) {
        // The given starts, then the best so far with a few polytomies resolved at random
        std::vector<Topology> start;
        if (round < starts.size()) {
            start = starts[round];
        } else {
            start = summary.best;
            for (int k = 0; k < PERTURBED_POLYTOMIES && polytomies > 0; ++k) {
                const std::size_t i = static_cast<std::size_t>(random() % polytomies);
                start[i] = randomTopology(start[i].order, random);
            }
        }
        if (start.size() != polytomies)
            return ERINT;
        // The first start runs to its end; the others within the budget
        if (haveBest)
            search.limitTo(limits.budget);
        if (search.spent() || (haveBest && static_cast<double>(summary.evaluated) >= limits.budget))
            break;
        ++summary.starts;
        if (const ResultCode code = search.start(start); code != 0)
            return code;
        if (search.spent())
            break;
        if (const ResultCode code = climb(search, enumerated, summary); code != 0)
            return code;
        if (!haveBest || evaluator.isBetter(bestScore, search.currentScore())) {
            summary.best = search.current();
            bestScore = search.currentScore();
            haveBest = true;
        }
    }
    return 0;
}

} // namespace vorbex
