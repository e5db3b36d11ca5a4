#include "search/heuristic_search.h"

#include <cstddef>
#include <set>

namespace vorbex {

namespace {

std::string keyOf(const CandidateTopologies& candidate) {
    std::string key;
    for (const std::string& text : candidate) {
        key += text;
        key += '|';
    }
    return key;
}

class ResolutionSearch {
  public:
    ResolutionSearch(CandidateEvaluator& evaluator, SearchSummary& summary) : evaluator_(evaluator), summary_(summary) {}

    ResultCode start(const CandidateTopologies& first) {
        std::vector<AlignmentScore> scores;
        if (const ResultCode code = score({first}, scores); code != 0)
            return code;
        current_ = first;
        currentScore_ = scores[0];
        return 0;
    }

    // Scores the alternatives for polytomy i not scored before and takes the
    // best when it beats the current candidate; `improved` tells whether it did.
    ResultCode step(std::size_t i, const std::vector<std::string>& alternatives, bool& improved) {
        improved = false;
        std::vector<CandidateTopologies> fresh;
        for (const std::string& text : alternatives) {
            CandidateTopologies candidate = current_;
            candidate[i] = text;
            if (!seen_.contains(keyOf(candidate)))
                fresh.push_back(std::move(candidate));
        }
        if (fresh.empty())
            return 0;
        std::vector<AlignmentScore> scores;
        if (const ResultCode code = score(fresh, scores); code != 0)
            return code;
        for (std::size_t c = 0; c < fresh.size(); ++c)
            if (evaluator_.isBetter(currentScore_, scores[c])) {
                current_ = fresh[c];
                currentScore_ = scores[c];
                improved = true;
            }
        return 0;
    }

    const CandidateTopologies& current() const { return current_; }

  private:
    ResultCode score(const std::vector<CandidateTopologies>& candidates, std::vector<AlignmentScore>& scores) {
        for (const CandidateTopologies& candidate : candidates)
            seen_.insert(keyOf(candidate));
        summary_.evaluated += static_cast<long long>(candidates.size());
        scores.clear();
        if (const ResultCode code = evaluator_.evaluate(candidates, scores); code != 0)
            return code;
        return scores.size() == candidates.size() ? 0 : ERINT;
    }

    CandidateEvaluator& evaluator_;
    SearchSummary& summary_;
    std::set<std::string> seen_;
    CandidateTopologies current_;
    AlignmentScore currentScore_{};
};

} // namespace

ResultCode searchResolutions(const std::vector<Topology>& start,
                             const std::vector<std::vector<std::string>>& enumerated,
                             CandidateEvaluator& evaluator, SearchSummary& summary) {
    if (start.size() != enumerated.size())
        return ERINT;
    ResolutionSearch search(evaluator, summary);
    CandidateTopologies first;
    std::vector<Topology> topologies = start;
    for (const Topology& topology : topologies)
        first.push_back(topologyTextOf(topology));
    if (const ResultCode code = search.start(first); code != 0)
        return code;
    for (bool changed = true; changed;) {
        changed = false;
        for (std::size_t i = 0; i < topologies.size(); ++i) {
            if (!enumerated[i].empty()) {
                // Every resolution at once: the best of them stands after one step
                bool improved = false;
                ++summary.rounds;
                if (const ResultCode code = search.step(i, enumerated[i], improved); code != 0)
                    return code;
                changed = changed || improved;
                continue;
            }
            for (bool improved = true; improved;) {
                std::vector<std::string> neighbours;
                for (const Topology& next : interchangeNeighbours(topologies[i]))
                    neighbours.push_back(topologyTextOf(next));
                ++summary.rounds;
                if (const ResultCode code = search.step(i, neighbours, improved); code != 0)
                    return code;
                if (improved) {
                    topologies[i] = topologyFromText(search.current()[i], topologies[i].order);
                    changed = true;
                }
            }
        }
    }
    summary.best = search.current();
    return 0;
}

} // namespace vorbex
