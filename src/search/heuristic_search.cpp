#include "search/heuristic_search.h"

#include <algorithm>
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
    ResolutionSearch(CandidateEvaluator& evaluator, SearchSummary& summary, double most)
        : evaluator_(evaluator), summary_(summary), most_(most), budget_(most) {}

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
    void limitTo(double budget) { budget_ = std::min(budget, most_); }
    bool spent() const { return spent_; }

    // Scores the alternatives for polytomy i, `chunk` at a time (0: all at
    // once), and takes the best of the first chunk that holds one better
    // than the current candidate; `improved` tells whether one did.
    ResultCode step(std::size_t i, const std::vector<Topology>& alternatives, std::size_t chunk,
                    bool& improved) {
        std::vector<CandidateTopologies> candidates;
        for (const Topology& alternative : alternatives) {
            candidates.push_back(current_);
            candidates.back()[i] = alternative;
        }
        return stepTo(candidates, chunk, improved);
    }

    // The same for polytomies i and j together: every pair of their resolutions
    ResultCode stepPair(std::size_t i, const std::vector<Topology>& first, std::size_t j,
                        const std::vector<Topology>& second, bool& improved) {
        std::vector<CandidateTopologies> candidates;
        for (const Topology& a : first)
            for (const Topology& b : second) {
                candidates.push_back(current_);
                candidates.back()[i] = a;
                candidates.back()[j] = b;
            }
        return stepTo(candidates, 0, improved);
    }

    // Scores the candidate and goes on from it when it is better
    ResultCode offer(const CandidateTopologies& candidate, bool& improved) {
        return stepTo({candidate}, 0, improved);
    }

    const CandidateTopologies& current() const { return current_; }
    const AlignmentScore& currentScore() const { return currentScore_; }

  private:
    ResultCode stepTo(const std::vector<CandidateTopologies>& candidates, std::size_t chunk, bool& improved) {
        improved = false;
        const std::size_t size = chunk == 0 ? candidates.size() : chunk;
        for (std::size_t from = 0; from < candidates.size() && !improved && !spent_; from += size) {
            const std::vector<CandidateTopologies> group(
                candidates.begin() + static_cast<std::ptrdiff_t>(from),
                candidates.begin() + static_cast<std::ptrdiff_t>(std::min(candidates.size(), from + size)));
            std::vector<AlignmentScore> scores;
            if (const ResultCode code = score(group, scores); code != 0 || spent_)
                return code;
            for (std::size_t c = 0; c < group.size(); ++c)
                if (evaluator_.isBetter(currentScore_, scores[c])) {
                    current_ = group[c];
                    currentScore_ = scores[c];
                    improved = true;
                }
        }
        if (improved)
            evaluator_.adopt(current_);
        return 0;
    }

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
    double most_;
    double budget_;
    bool spent_ = false;
};

// Improves the polytomies one at a time from the current candidate until a
// whole round over them changes nothing.
ResultCode climbSingly(ResolutionSearch& search, const std::vector<std::vector<Topology>>& enumerated,
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

// Climbs one polytomy at a time; where that ends, tries two polytomies
// together (both enumerated, their product at most `limits.pairCandidates`),
// within the budget, and climbs again from the first pair that improves.
ResultCode climb(ResolutionSearch& search, const std::vector<std::vector<Topology>>& enumerated,
                 const SearchLimits& limits, SearchSummary& summary) {
    for (bool improved = true; improved && !search.spent();) {
        if (const ResultCode code = climbSingly(search, enumerated, summary); code != 0)
            return code;
        search.limitTo(limits.budget);
        improved = false;
        for (std::size_t i = 0; i < enumerated.size() && !improved && !search.spent(); ++i)
            for (std::size_t j = i + 1; j < enumerated.size() && !improved && !search.spent(); ++j) {
                // A pair holds the resolutions of each alone, scored already
                const double pairs = static_cast<double>(enumerated[i].size() * enumerated[j].size());
                const double fresh =
                    pairs - static_cast<double>(enumerated[i].size() + enumerated[j].size() - 1);
                if (pairs == 0 || pairs > limits.pairCandidates ||
                    static_cast<double>(summary.evaluated) + fresh > limits.budget)
                    continue;
                ++summary.rounds;
                if (const ResultCode code = search.stepPair(i, enumerated[i], j, enumerated[j], improved);
                    code != 0)
                    return code;
            }
    }
    return 0;
}

// The best so far with PERTURBED_POLYTOMIES polytomies moved away: an
// enumerated or small one to a random resolution, a large one by a few
// interchanges, as a random resolution of it would be far from any good one
CandidateTopologies perturbed(CandidateTopologies start, const std::vector<std::vector<Topology>>& enumerated,
                              std::mt19937_64& random) {
    const std::size_t polytomies = enumerated.size();
    for (int k = 0; k < PERTURBED_POLYTOMIES && polytomies > 0; ++k) {
        const std::size_t i = static_cast<std::size_t>(random() % polytomies);
        const Topology was = start[i];
        if (!enumerated[i].empty() || was.order <= 3) {
            while (start[i] == was)
                start[i] = randomTopology(was.order, random);
            continue;
        }
        for (int move = 0; move < PERTURBED_INTERCHANGES; ++move) {
            const std::vector<Topology> next = interchangeNeighbours(start[i]);
            start[i] = next[static_cast<std::size_t>(random() % next.size())];
        }
    }
    return start;
}

} // namespace

ResultCode searchResolutions(const std::vector<std::vector<Topology>>& starts,
                             const std::vector<std::vector<Topology>>& enumerated, const SearchLimits& limits,
                             CandidateEvaluator& evaluator, SearchSummary& summary) {
    ResolutionSearch search(evaluator, summary, limits.mostEvaluations);
    bool haveBest = false;
    AlignmentScore bestScore{};
    std::mt19937_64 random(limits.seed);
    const std::size_t polytomies = enumerated.size();
    double budget = limits.budget;
    for (std::size_t round = 0; round < starts.size() + static_cast<std::size_t>(limits.perturbations);
         ++round) {
        // The given starts, then the best so far with a polytomy moved away at random
        const std::vector<Topology> start =
            round < starts.size() ? starts[round] : perturbed(summary.best, enumerated, random);
        if (start.size() != polytomies)
            return ERINT;
        // The first start runs to its end; the others within the budget
        if (haveBest)
            search.limitTo(budget);
        if (search.spent() || (haveBest && static_cast<double>(summary.evaluated) >= budget))
            break;
        ++summary.starts;
        if (const ResultCode code = search.start(start); code != 0)
            return code;
        if (search.spent())
            break;
        // The first start gives way to the start made of its alignment where
        // that is better, as a second guide tree is made of a first alignment
        if (CandidateTopologies aligned; round == 0 && evaluator.alignedStart(search.current(), aligned)) {
            bool improved = false;
            if (const ResultCode code = search.offer(aligned, improved); code != 0)
                return code;
            if (search.spent())
                break;
        }
        if (const ResultCode code = climb(search, enumerated, limits, summary); code != 0)
            return code;
        if (round == 0)
            budget =
                std::min(limits.budget, std::max(limits.leastBudget, static_cast<double>(summary.evaluated) *
                                                                         limits.firstStartMultiple));
        if (!haveBest || evaluator.isBetter(bestScore, search.currentScore())) {
            summary.best = search.current();
            bestScore = search.currentScore();
            haveBest = true;
        }
    }
    return 0;
}

} // namespace vorbex
