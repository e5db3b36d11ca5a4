#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <functional>
#include <map>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "resolve/resolve.h"
#include "search/heuristic_search.h"
#include "support/trees.h"

namespace vorbex {
namespace {

// Candidates as the texts of their resolutions, as the tables write them
using Texts = std::vector<std::string>;
using Objective = std::function<double(const Texts&)>;

Texts textsOf(const CandidateTopologies& candidate) {
    Texts texts;
    for (const Topology& topology : candidate)
        texts.push_back(topologyTextOf(topology));
    return texts;
}

// Scores a candidate by an objective of its texts (higher is better), fails
// the test when asked for a candidate twice, and fails on request.
class FakeEvaluator final : public CandidateEvaluator {
  public:
    explicit FakeEvaluator(Objective objective) : objective_(std::move(objective)) {}

    ResultCode evaluate(const std::vector<CandidateTopologies>& candidates,
                        std::vector<AlignmentScore>& scores) override {
        ++calls;
        if (calls == failAtCall)
            return failure;
        callTexts.emplace_back();
        for (const CandidateTopologies& candidate : candidates) {
            const Texts texts = textsOf(candidate);
            EXPECT_TRUE(asked.insert(texts).second) << "asked twice for " << testing::PrintToString(texts);
            const double score = objective_(texts);
            bestAsked = std::max(bestAsked, score);
            callTexts.back().push_back(texts);
            scores.push_back({0, 0, 0, score, 0.0});
        }
        if (dropScore && !scores.empty())
            scores.pop_back();
        return 0;
    }

    bool isBetter(const AlignmentScore& best, const AlignmentScore& score) const override {
        return score.ConsIndex > best.ConsIndex;
    }

    bool alignedStart(const CandidateTopologies& evaluated, CandidateTopologies& start) override {
        alignedFrom.push_back(textsOf(evaluated));
        start = aligned;
        return !aligned.empty();
    }

    double objective(const Texts& texts) const { return objective_(texts); }

    CandidateTopologies aligned;    // the aligned start offered; none when empty
    std::vector<Texts> alignedFrom; // the candidates it was asked of

    std::set<Texts> asked;
    std::vector<std::vector<Texts>> callTexts; // each call's candidates, in order
    double bestAsked = -HUGE_VAL;
    int calls = 0;
    int failAtCall = 0; // the call that fails with `failure`; 0 for none
    ResultCode failure = 0;
    bool dropScore = false; // one score fewer than candidates

  private:
    Objective objective_;
};

class HeuristicSearch : public testing::Test {
  protected:
    void SetUp() override {
        // A whole run before leaves its options standing; the tables follow --search
        longOptions = LongOptions{};
        maxPolytomyOrder = 7;
        ASSERT_EQ(buildResolutionTables(), 0);
    }
    void TearDown() override { test_support::releaseEverything(); }

    static std::vector<std::string> table(int order) {
        std::vector<std::string> texts;
        char text[TOPOLOGY_TEXT_SIZE];
        for (int index = 0; topologyText(order, index, text); ++index)
            texts.emplace_back(text);
        return texts;
    }
};

// The search from `starts` without perturbed starts, polytomy i enumerated
// when enumerated[i] lists its texts; the best end as texts
ResultCode search(const std::vector<std::vector<Topology>>& starts, const std::vector<Texts>& enumerated,
                  double budget, FakeEvaluator& evaluator, SearchSummary& summary) {
    std::vector<std::vector<Topology>> lists;
    for (std::size_t i = 0; i < enumerated.size(); ++i) {
        lists.emplace_back();
        for (const std::string& text : enumerated[i])
            lists.back().push_back(topologyFromText(text, starts[0][i].order));
    }
    return searchResolutions(starts, lists, SearchLimits{budget, 0, 1}, evaluator, summary);
}

// Interchanges from `target` to every topology of its order
std::map<std::string, int> interchangeDistances(const std::string& target, int order) {
    std::map<std::string, int> distance = {{target, 0}};
    std::deque<Topology> pending = {topologyFromText(target, order)};
    while (!pending.empty()) {
        const Topology at = pending.front();
        pending.pop_front();
        const int next = distance[topologyTextOf(at)] + 1;
        for (const Topology& neighbour : interchangeNeighbours(at))
            if (distance.emplace(topologyTextOf(neighbour), next).second)
                pending.push_back(neighbour);
    }
    return distance;
}

// The first text of the most interchanges away
std::string farthestOf(const std::map<std::string, int>& distance) {
    auto farthest = distance.begin();
    for (auto at = distance.begin(); at != distance.end(); ++at)
        if (at->second > farthest->second)
            farthest = at;
    return farthest->first;
}

// A start from average linkage of random distances
Topology randomStart(int order, std::mt19937& random) {
    std::vector<std::vector<double>> distances(order, std::vector<double>(order, 0.0));
    for (int a = 0; a < order; ++a)
        for (int b = a + 1; b < order; ++b)
            distances[a][b] = distances[b][a] = static_cast<double>(random() % 1000);
    return averageLinkageTopology(distances);
}

TEST_F(HeuristicSearch, EnumeratedPolytomiesEndAtTheBestOfEach) {
    for (const std::vector<int>& orders : std::vector<std::vector<int>>{{3}, {4, 5}, {5, 3, 4}, {6, 4}}) {
        SCOPED_TRACE(testing::PrintToString(orders));
        std::mt19937 random(static_cast<unsigned>(orders.size() * 100 + orders[0]));
        // Distinct weights per text; a candidate scores the sum over its polytomies
        std::vector<std::map<std::string, double>> weights(orders.size());
        std::vector<Texts> enumerated;
        std::vector<Topology> start;
        Texts best;
        for (std::size_t i = 0; i < orders.size(); ++i) {
            enumerated.push_back(table(orders[i]));
            std::vector<double> values(enumerated[i].size());
            std::iota(values.begin(), values.end(), 0.0);
            std::shuffle(values.begin(), values.end(), random);
            for (std::size_t t = 0; t < values.size(); ++t)
                weights[i][enumerated[i][t]] = values[t];
            best.push_back(enumerated[i][static_cast<std::size_t>(
                std::max_element(values.begin(), values.end()) - values.begin())]);
            start.push_back(randomStart(orders[i], random));
        }
        FakeEvaluator evaluator([&](const Texts& candidate) {
            double sum = 0.0;
            for (std::size_t i = 0; i < candidate.size(); ++i)
                sum += weights[i].at(candidate[i]);
            return sum;
        });
        SearchSummary summary;
        ASSERT_EQ(search({start}, enumerated, 0.0, evaluator, summary), 0);
        EXPECT_EQ(textsOf(summary.best), best);
        EXPECT_EQ(summary.starts, 1);
        EXPECT_EQ(summary.evaluated, static_cast<long long>(evaluator.asked.size()));
    }
}

// Two order-3 polytomies where no single change improves on the start but a
// change of both does: the pair is tried only when its 9 candidates are
// allowed and the budget holds their 4 not scored yet.
TEST_F(HeuristicSearch, PairsOfPolytomiesLeaveALocalOptimumWithinTheBudget) {
    const std::vector<std::string> three = table(3);
    const Texts start = {three[0], three[0]}, target = {three[1], three[2]};
    struct Case {
        double pairCandidates, budget;
        Texts end;
        long long evaluated;
    };
    for (const Case& c : {Case{9, HUGE_VAL, target, 9}, Case{8, HUGE_VAL, start, 5}, Case{9, 8, start, 5},
                          Case{9, 9, target, 9}}) {
        SCOPED_TRACE(testing::Message() << c.pairCandidates << " " << c.budget);
        FakeEvaluator evaluator([&](const Texts& candidate) {
            return candidate == target ? 10.0 : candidate == start ? 5.0 : 0.0;
        });
        std::vector<std::vector<Topology>> lists(2);
        for (auto& list : lists)
            for (const std::string& text : three)
                list.push_back(topologyFromText(text, 3));
        SearchSummary summary;
        ASSERT_EQ(searchResolutions({{lists[0][0], lists[1][0]}}, lists,
                                    SearchLimits{c.budget, 0, 1, c.pairCandidates}, evaluator, summary),
                  0);
        EXPECT_EQ(textsOf(summary.best), c.end);
        EXPECT_EQ(summary.evaluated, c.evaluated);
    }
}

// A step that would pass the most evaluations ends the search, the first
// start's climb too, which keeps the best it reached.
TEST_F(HeuristicSearch, NoStepPassesTheMostEvaluations) {
    std::mt19937 random(5);
    const Topology seven = randomStart(7, random);
    const std::vector<std::string> texts = table(7);
    ASSERT_EQ(texts.size(), 10395u);
    const std::map<std::string, int> distance = interchangeDistances(texts[17], 7);
    for (const double most : {1.0, 20.0, 40.0}) {
        FakeEvaluator evaluator([&](const Texts& candidate) { return -distance.at(candidate[0]); });
        SearchSummary summary;
        SearchLimits limits{HUGE_VAL, 0, 1};
        limits.mostEvaluations = most;
        ASSERT_EQ(searchResolutions({{seven}}, {{}}, limits, evaluator, summary), 0);
        EXPECT_LE(summary.evaluated, static_cast<long long>(most)) << most;
        EXPECT_GT(summary.evaluated, static_cast<long long>(most) - static_cast<long long>(INTERCHANGE_CHUNK))
            << most;
        EXPECT_EQ(evaluator.objective(textsOf(summary.best)), evaluator.bestAsked) << most;
    }
}

TEST_F(HeuristicSearch, TiesKeepTheCurrentCandidateAndTheFirstAmongEquals) {
    const std::vector<std::string> four = table(4);
    const Topology seven = topologyFromText(table(7)[100], 7);
    const Topology fourStart = topologyFromText(four[9], 4);
    struct Case {
        const char* what;
        Objective objective;
        Texts best;
    };
    const std::vector<Case> cases = {
        {"all equal", [](const Texts&) { return 1.0; }, {four[9], table(7)[100]}},
        {"entries 3 and 11 tie above the rest",
         [&](const Texts& c) { return c[0] == four[3] || c[0] == four[11] ? 2.0 : 1.0; },
         {four[3], table(7)[100]}},
        {"the start ties with entry 12",
         [&](const Texts& c) { return c[0] == four[9] || c[0] == four[12] ? 2.0 : 1.0; },
         {four[9], table(7)[100]}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeEvaluator evaluator(c.objective);
        SearchSummary summary;
        ASSERT_EQ(search({{fourStart, seven}}, {four, {}}, 0.0, evaluator, summary), 0);
        EXPECT_EQ(textsOf(summary.best), c.best);
    }
}

TEST_F(HeuristicSearch, InterchangesClimbToTheTargetOfASeparableObjective) {
    // Orders 7 and 6 climb, 4 is enumerated
    const std::vector<int> orders = {7, 4, 6};
    for (unsigned seed = 1; seed <= 4; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        std::vector<std::map<std::string, int>> distances;
        std::vector<Texts> enumerated;
        std::vector<Topology> start;
        Texts target;
        for (const int order : orders) {
            const std::vector<std::string> texts = table(order);
            target.push_back(texts[random() % texts.size()]);
            distances.push_back(interchangeDistances(target.back(), order));
            enumerated.push_back(order == 4 ? texts : Texts{});
            start.push_back(randomStart(order, random));
        }
        FakeEvaluator evaluator([&](const Texts& candidate) {
            double score = 0.0;
            for (std::size_t i = 0; i < candidate.size(); ++i)
                score -= distances[i].at(candidate[i]);
            return score;
        });
        SearchSummary summary;
        ASSERT_EQ(search({start}, enumerated, 0.0, evaluator, summary), 0);
        EXPECT_EQ(textsOf(summary.best), target);
        // Far fewer than the order 7 alone has
        EXPECT_LT(summary.evaluated, 10395);
        EXPECT_EQ(summary.evaluated, static_cast<long long>(evaluator.asked.size()));
    }
}

TEST_F(HeuristicSearch, LaterStartsRunWithinTheBudgetAndTheBestEndWins) {
    // One polytomy of order 7: a slope up to `peak`, and a spike at the text
    // farthest from it that only a start beside it finds
    const std::string peak = table(7)[0];
    const std::map<std::string, int> distance = interchangeDistances(peak, 7);
    const std::string spike = farthestOf(distance);
    ASSERT_GE(distance.at(spike), 4);
    const Topology atPeak = topologyFromText(peak, 7);
    const Topology besideSpike = interchangeNeighbours(topologyFromText(spike, 7))[0];
    const Objective objective = [&](const Texts& c) { return c[0] == spike ? 100.0 : -distance.at(c[0]); };
    struct Case {
        const char* what;
        std::vector<Topology> starts;
        double budget;
        int startsMade;
        std::string best;
    };
    const std::vector<Case> cases = {
        {"budget for both", {atPeak, besideSpike}, 1e9, 2, spike},
        {"budget spent by the first", {atPeak, besideSpike}, 1.0, 1, peak},
        {"a worse end after the best", {besideSpike, atPeak}, 1e9, 2, spike},
        {"the same start twice", {atPeak, atPeak}, 1e9, 2, peak},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::vector<Topology>> starts;
        for (const Topology& start : c.starts)
            starts.push_back({start});
        FakeEvaluator evaluator(objective);
        SearchSummary summary;
        ASSERT_EQ(search(starts, {{}}, c.budget, evaluator, summary), 0);
        EXPECT_EQ(summary.starts, c.startsMade);
        EXPECT_EQ(textsOf(summary.best), Texts{c.best});
        EXPECT_EQ(summary.evaluated, static_cast<long long>(evaluator.asked.size()));
    }
}

TEST_F(HeuristicSearch, TheFirstStartClimbsFromItsAlignedStartWhereThatIsBetter) {
    // The slope of the test above without its spike: the climb ends at the peak from anywhere
    const std::string peak = table(7)[0];
    const std::map<std::string, int> distance = interchangeDistances(peak, 7);
    const std::string far = farthestOf(distance);
    const Objective objective = [&](const Texts& c) { return -distance.at(c[0]); };
    const Topology atPeak = topologyFromText(peak, 7);
    const Topology nextToPeak = interchangeNeighbours(atPeak)[0];
    const Topology atFar = topologyFromText(far, 7);
    struct Case {
        const char* what;
        Topology start;
        Topology aligned;
        Texts askedFirst; // the first two candidates scored
    };
    const std::vector<Case> cases = {
        // Taken: the climb goes on from beside the peak
        {"better", atFar, nextToPeak, {far, topologyTextOf(nextToPeak)}},
        // Scored, not taken: the climb from the start alone
        {"worse", nextToPeak, atFar, {topologyTextOf(nextToPeak), far}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeEvaluator evaluator(objective);
        evaluator.aligned = {c.aligned};
        SearchSummary summary;
        ASSERT_EQ(search({{c.start}}, {{}}, 0.0, evaluator, summary), 0);
        EXPECT_EQ(textsOf(summary.best), Texts{peak});
        ASSERT_GE(evaluator.callTexts.size(), 2u);
        EXPECT_EQ((Texts{evaluator.callTexts[0][0][0], evaluator.callTexts[1][0][0]}), c.askedFirst);
        // Asked once, of the first start
        EXPECT_EQ(evaluator.alignedFrom, std::vector<Texts>{Texts{topologyTextOf(c.start)}});
    }
}

TEST_F(HeuristicSearch, AnEvaluatorErrorEndsTheSearchWithItsCode) {
    const std::vector<std::string> five = table(5);
    const std::vector<std::string> seven = table(7);
    const std::vector<Topology> start = {topologyFromText(five[7], 5), topologyFromText(seven.back(), 7)};
    // A climb of several steps from the last entry of order 7 to its first
    const std::map<std::string, int> distance = interchangeDistances(seven[0], 7);
    ASSERT_GE(distance.at(seven.back()), 3);
    const Objective objective = [&](const Texts& c) { return -distance.at(c[1]); };
    struct Case {
        int failAtCall;
        ResultCode failure;
        bool dropScore;
        ResultCode expected;
    };
    for (const Case& c : {Case{1, ERMEM, false, ERMEM}, Case{2, ERDATA, false, ERDATA},
                          Case{4, ERINT, false, ERINT}, Case{0, 0, true, ERINT}}) {
        SCOPED_TRACE(c.failAtCall);
        FakeEvaluator evaluator(objective);
        evaluator.failAtCall = c.failAtCall;
        evaluator.failure = c.failure;
        evaluator.dropScore = c.dropScore;
        SearchSummary summary;
        EXPECT_EQ(search({start, start}, {five, {}}, 1e9, evaluator, summary), c.expected);
        // Nothing asked after the failure
        EXPECT_EQ(evaluator.calls, c.dropScore ? 1 : c.failAtCall);
    }
}

TEST_F(HeuristicSearch, InterchangesAreScoredInGroupsUntilOneImproves) {
    // Order 12: 20 interchanges, a group of 16 and one of 4
    std::mt19937_64 random(5);
    const Topology start = randomTopology(12, random);
    Texts neighbours;
    for (const Topology& neighbour : interchangeNeighbours(start))
        neighbours.push_back(topologyTextOf(neighbour));
    ASSERT_EQ(neighbours.size(), 20u);
    ASSERT_EQ(INTERCHANGE_CHUNK, 16u);
    std::vector<Texts> firstGroup, secondGroup;
    for (std::size_t n = 0; n < neighbours.size(); ++n)
        (n < 16 ? firstGroup : secondGroup).push_back({neighbours[n]});
    for (const std::size_t better : {0, 15, 16, 19}) {
        SCOPED_TRACE(better);
        // One interchange better than the rest, which tie with the start
        const std::string target = neighbours[better];
        FakeEvaluator evaluator([&](const Texts& c) { return c[0] == target ? 1.0 : 0.0; });
        SearchSummary summary;
        ASSERT_EQ(search({{start}}, {{}}, 0.0, evaluator, summary), 0);
        EXPECT_EQ(textsOf(summary.best), Texts{target});
        ASSERT_GE(evaluator.callTexts.size(), 3u);
        EXPECT_EQ(evaluator.callTexts[0], std::vector<Texts>{{topologyTextOf(start)}});
        EXPECT_EQ(evaluator.callTexts[1], firstGroup);
        if (better >= 16) {
            EXPECT_EQ(evaluator.callTexts[2], secondGroup);
            continue;
        }
        // The step ended with the first group: next come the target's interchanges
        std::set<std::string> fromTarget;
        for (const Topology& neighbour : interchangeNeighbours(topologyFromText(target, 12)))
            fromTarget.insert(topologyTextOf(neighbour));
        for (const Texts& asked : evaluator.callTexts[2])
            EXPECT_TRUE(fromTarget.contains(asked[0])) << asked[0];
    }
}

TEST_F(HeuristicSearch, LaterStartsNeverPassTheBudgetAndRepeatForTheSameSeed) {
    // Two polytomies of order 7 on a rugged objective: a random value per resolution
    const std::vector<std::string> texts = table(7);
    std::mt19937 random(11);
    std::vector<std::map<std::string, double>> weights(2);
    for (std::map<std::string, double>& weight : weights)
        for (const std::string& text : texts)
            weight[text] = static_cast<double>(random() % 1000);
    const Objective objective = [&](const Texts& c) { return weights[0].at(c[0]) + weights[1].at(c[1]); };
    const std::vector<Topology> start = {randomStart(7, random), randomStart(7, random)};
    auto run = [&](double budget, unsigned long long seed, FakeEvaluator& evaluator, SearchSummary& summary) {
        return searchResolutions({start}, {{}, {}}, SearchLimits{budget, 16, seed}, evaluator, summary);
    };
    // A budget spent by the first start leaves it alone
    FakeEvaluator alone(objective);
    SearchSummary firstOnly;
    ASSERT_EQ(run(0.0, 1, alone, firstOnly), 0);
    EXPECT_EQ(firstOnly.starts, 1);
    const double firstStart = static_cast<double>(firstOnly.evaluated);
    for (const double budget : {firstStart, firstStart + 1.0, firstStart + 40.0, 3.0 * firstStart, 1e9}) {
        SCOPED_TRACE(budget);
        FakeEvaluator evaluator(objective);
        SearchSummary summary;
        ASSERT_EQ(run(budget, 1, evaluator, summary), 0);
        EXPECT_LE(static_cast<double>(summary.evaluated), budget);
        EXPECT_GE(static_cast<double>(summary.evaluated), firstStart);
        EXPECT_EQ(summary.evaluated, static_cast<long long>(evaluator.asked.size()));
        EXPECT_LE(summary.starts, 17);
        // Every start ends at the best of what it scored, and the best end wins
        EXPECT_EQ(evaluator.objective(textsOf(summary.best)), evaluator.bestAsked);
        EXPECT_GE(evaluator.bestAsked, alone.bestAsked);
    }
    // No budget but a multiple of the first start's candidates, or a least
    // budget where that is more
    long long byMultiple = 0;
    for (const auto& [multiple, least] : {std::pair{1.5, 0.0}, {3.0, 0.0}, {1.5, 3.0}}) {
        SCOPED_TRACE(testing::Message() << multiple << " " << least);
        FakeEvaluator evaluator(objective);
        SearchSummary summary;
        SearchLimits limits{HUGE_VAL, 16, 1};
        limits.firstStartMultiple = multiple;
        limits.leastBudget = least * firstStart;
        ASSERT_EQ(searchResolutions({start}, {{}, {}}, limits, evaluator, summary), 0);
        EXPECT_GT(summary.starts, 1);
        EXPECT_LE(static_cast<double>(summary.evaluated), firstStart * std::max(multiple, least));
        EXPECT_GE(evaluator.bestAsked, alone.bestAsked);
        if (least == 0.0 && multiple == 3.0) {
            byMultiple = summary.evaluated;
        } else if (least == 3.0) {
            EXPECT_EQ(summary.evaluated, byMultiple);
        }
    }
    // Room for every perturbed start; the same seed asks the same candidates in the same order
    FakeEvaluator first(objective), again(objective), otherSeed(objective);
    SearchSummary firstSummary, againSummary, otherSummary;
    ASSERT_EQ(run(1e9, 7, first, firstSummary), 0);
    ASSERT_EQ(run(1e9, 7, again, againSummary), 0);
    ASSERT_EQ(run(1e9, 8, otherSeed, otherSummary), 0);
    EXPECT_EQ(firstSummary.starts, 17);
    EXPECT_EQ(again.callTexts, first.callTexts);
    EXPECT_EQ(textsOf(againSummary.best), textsOf(firstSummary.best));
    EXPECT_NE(otherSeed.callTexts, first.callTexts);
}

} // namespace
} // namespace vorbex
