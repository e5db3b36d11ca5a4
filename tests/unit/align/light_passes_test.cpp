#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/whole_run.h"

namespace vorbex {
namespace {

using test_support::InputGenerator;
using test_support::RandomInput;
using test_support::TreeShape;

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
            const test_support::RunOutput light =
                test_support::runInProcess(input.fasta, input.newick, options, false);
            const test_support::RunOutput whole = test_support::runInProcess(
                input.fasta, input.newick, options, PairwiseChoices{.wholeProfiles = true});
            EXPECT_EQ(light.result, 0);
            EXPECT_EQ(light.result, whole.result);
            EXPECT_EQ(light.report, whole.report);
            EXPECT_EQ(light.standardOutput, whole.standardOutput);
        }
    }
}

} // namespace
} // namespace vorbex
