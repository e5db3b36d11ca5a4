#include <gtest/gtest.h>

#include "base/settings.h"
#include "run/candidate_loop.h"

namespace vorbex {
namespace {

struct Candidate {
    int length;
    double consIndex;
    double sumOfPairs = 0.0;
};

AlignmentScore scored(const Candidate& c) {
    return {c.length, 0, 0, c.consIndex, c.sumOfPairs};
}

// The best alignment after the candidates, numbered from 1, in turn
BestAlignment bestOf(std::initializer_list<Candidate> candidates) {
    BestAlignment best = NO_BEST_ALIGNMENT;
    int number = 0;
    for (const Candidate& candidate : candidates)
        takeIfBetter(best, ++number, scored(candidate));
    return best;
}

void expectBest(const BestAlignment& best, int number, int length, double consIndex) {
    EXPECT_EQ(best.number, number);
    EXPECT_EQ(best.length, length);
    EXPECT_EQ(best.ConsIndex, consIndex);
}

TEST(TakeIfBetter, FirstCandidateAlwaysBecomesTheBest) {
    expectBest(bestOf({{2047, 0.0}}), 1, 2047, 0.0);
    // Even a ConsIndex below the initial -1 cannot lose to the placeholder
    expectBest(bestOf({{5, -3.0}}), 1, 5, -3.0);
    // And so can one longer than the placeholder's length (--max-length)
    expectBest(bestOf({{16124, 5.0}, {16125, 9.0}}), 1, 16124, 5.0);
}

TEST(TakeIfBetter, ShorterCandidateWinsWhateverItsConsIndex) {
    BestAlignment best = bestOf({{12, 9.5}});
    EXPECT_TRUE(takeIfBetter(best, 2, scored({11, 0.1})));
    expectBest(best, 2, 11, 0.1);
}

TEST(TakeIfBetter, LongerCandidateNeverWins) {
    BestAlignment best = bestOf({{12, 1.0}});
    EXPECT_FALSE(takeIfBetter(best, 2, scored({13, 100.0})));
    expectBest(best, 1, 12, 1.0);
}

TEST(TakeIfBetter, EqualLengthWinsOnlyWithAStrictlyLargerConsIndex) {
    expectBest(bestOf({{12, 1.0}, {12, 1.1}}), 2, 12, 1.1);
    expectBest(bestOf({{12, 1.1}, {12, 1.1}}), 1, 12, 1.1);
    expectBest(bestOf({{12, 1.1}, {12, 1.0}}), 1, 12, 1.1);
}

TEST(TakeIfBetter, NumberIsThatOfTheFirstCandidateToReachTheFinalBest) {
    expectBest(bestOf({{14, 3.0}, {12, 2.0}, {13, 9.0}, {12, 2.5}, {12, 2.5}, {12, 2.4}}), 4, 12, 2.5);
}

TEST(TakeIfBetter, NoCandidateLeavesThePlaceholder) {
    expectBest(bestOf({}), -1, 8188, -1.0);
}

TEST(TakeIfBetter, UnderTheSumOfPairsTheHighestScoreWinsWhateverTheLength) {
    longOptions.scoring = Scoring::SUM_OF_PAIRS;
    const BestAlignment best = bestOf({{12, 1.0, 5.5}, {40, 0.0, 7.25}, {11, 9.0, 7.0}, {40, 0.0, 7.25}});
    EXPECT_EQ(best.number, 2);
    EXPECT_EQ(best.sumOfPairs, 7.25);
    // The first still wins whatever its score
    EXPECT_EQ(bestOf({{12, 1.0, -1e9}}).number, 1);
    longOptions = LongOptions{};
}

} // namespace
} // namespace vorbex
