#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/whole_run.h"

namespace vorbex {
namespace {

using test_support::InputGenerator;
using test_support::RandomInput;
using test_support::TreeShape;

// The light run succeeds and writes what the run keeping every profile writes
void expectSameAsWholeProfiles(const RandomInput& input, const std::vector<std::string>& options) {
    const test_support::RunOutput light =
        test_support::runInProcess(input.fasta, input.newick, options, false);
    const test_support::RunOutput whole = test_support::runInProcess(input.fasta, input.newick, options,
                                                                     PairwiseChoices{.wholeProfiles = true});
    EXPECT_EQ(light.result, 0);
    EXPECT_EQ(light.result, whole.result);
    EXPECT_EQ(light.report, whole.report);
    EXPECT_EQ(light.standardOutput, whole.standardOutput);
    EXPECT_EQ(light.alignment, whole.alignment);
    for (const std::string& option : options) {
        if (option.rfind("--alignment=", 0) == 0) {
            EXPECT_FALSE(light.alignment.empty());
        }
    }
}

// One tree whose nodes spend their weights as soon as they are aligned
// writes what the run that keeps every profile writes, on one thread and on
// two, under both scorings and with the options that shape the rows.
TEST(LightPasses, GiveTheRunThatKeepsEveryProfile) {
    const std::vector<std::vector<std::string>> optionSets = {
        {}, {"--scoring=sp"}, {"-T", "-S."}, {"--threads=2", "-W0"}, {"--scoring=sp", "--threads=2", "-T"}};
    for (unsigned seed = 1; seed <= 3; ++seed) {
        const RandomInput input =
            InputGenerator(seed, TreeShape{12 + 5 * static_cast<int>(seed), 0, false, 1, 40}).generate();
        ASSERT_EQ(input.candidates, 1);
        for (const std::vector<std::string>& options : optionSets) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << " " << testing::PrintToString(options));
            expectSameAsWholeProfiles(input, options);
        }
    }
}

// Across candidates only the settled subtrees keep profiles: every candidate
// and the alignment file (whose kept rows come from flags) are as when every
// node keeps its profiles, in the exhaustive and the heuristic search.
TEST(LightPasses, GiveTheCandidatesThatKeepEveryProfile) {
    const std::vector<std::vector<std::string>> optionSets = {
        {"-O56", "--alignment=aligned.fa"},
        {"--scoring=sp", "--alignment=aligned.fa"},
        {"--search=heuristic", "--scoring=sp", "-T", "--alignment=aligned.fa"},
        {"--search=heuristic", "-S.", "--alignment=aligned.fa"}};
    for (unsigned seed = 1; seed <= 3; ++seed) {
        const RandomInput input = InputGenerator(seed, TreeShape{14, 4, seed == 2, 200, 40}).generate();
        ASSERT_GT(input.candidates, 1);
        for (const std::vector<std::string>& options : optionSets) {
            SCOPED_TRACE(testing::Message() << "seed " << seed << " " << testing::PrintToString(options));
            expectSameAsWholeProfiles(input, options);
        }
    }
}

} // namespace
} // namespace vorbex
