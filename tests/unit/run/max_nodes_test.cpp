#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/whole_run.h"

namespace vorbex {
namespace {

using test_support::InputGenerator;
using test_support::RandomInput;
using test_support::TreeShape;

// A larger node table changes nothing where the default one holds the tree:
// one tree, candidates in this process and in workers, and the star tree.
TEST(MaxNodes, ChangesNothingWithinTheDefaultTable) {
    const RandomInput binary = InputGenerator(4, TreeShape{20, 0, false, 1, 30}).generate();
    const RandomInput polytomies = InputGenerator(5, TreeShape{12, 4, true, 60, 30}).generate();
    const struct {
        const RandomInput& input;
        std::vector<std::string> options;
    } cases[] = {{binary, {}},
                 {polytomies, {"--threads=1"}},
                 {polytomies, {"--threads=2", "--scoring=sp"}},
                 {RandomInput{binary.fasta, "", 1}, {"--star-tree"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.options));
        std::vector<std::string> raised = c.options;
        raised.push_back("--max-nodes=100000");
        const test_support::RunOutput standard =
            test_support::runInProcess(c.input.fasta, c.input.newick, c.options, false);
        const test_support::RunOutput large =
            test_support::runInProcess(c.input.fasta, c.input.newick, raised, false);
        EXPECT_EQ(standard.result, 0);
        EXPECT_EQ(large.result, standard.result);
        EXPECT_EQ(large.report, standard.report);
        EXPECT_EQ(large.standardOutput, standard.standardOutput);
    }
}

} // namespace
} // namespace vorbex
