#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "resolve/resolve.h"
#include "run/heuristic_candidates.h"
#include "run/parallel_candidates.h"
#include "search/child_distances.h"
#include "support/whole_run.h"

namespace vorbex {
namespace {

using test_support::InputGenerator;
using test_support::RandomInput;
using test_support::runInProcess;
using test_support::RunOutput;
using test_support::TreeShape;

RandomInput generate(unsigned seed, const TreeShape& shape) {
    return InputGenerator(seed, shape).generate();
}

// A root of `rootOrder` children, each a polytomy of three leaves: more
// polytomic nodes than the exhaustive search takes
RandomInput polytomiesOfThree(unsigned seed, int rootOrder) {
    std::mt19937 random(seed);
    // Substitutions, deletions and insertions, each now and then
    auto mutate = [&](const std::string& sequence) {
        std::string changed;
        for (const char base : sequence) {
            const unsigned roll = random() % 16;
            if (roll == 0)
                continue;
            changed += roll == 1 ? "acgt"[random() % 4] : base;
            if (roll == 2)
                changed += "acgt"[random() % 4];
        }
        return changed;
    };
    std::string root;
    for (int i = 0; i < 24; ++i)
        root += "acgt"[random() % 4];
    RandomInput input;
    input.newick = "(";
    for (int child = 0; child < rootOrder; ++child) {
        const std::string parent = mutate(root);
        input.newick += child > 0 ? ",(" : "(";
        for (int leaf = 0; leaf < 3; ++leaf) {
            const std::string name = "s" + std::to_string(3 * child + leaf + 1);
            input.newick += (leaf > 0 ? "," : "") + name;
            input.fasta += ">" + name + "\n" + mutate(parent) + "\n";
        }
        input.newick += ")";
        input.candidates *= 3;
    }
    for (int k = 2 * rootOrder - 3; k > 1; k -= 2)
        input.candidates *= k;
    input.newick += ");\n";
    return input;
}

// A candidate's or the best alignment's line of the report
struct ScoreLine {
    int number = 0;
    int length = 0;
    std::string consIndex;
    double sumOfPairs = 0.0;
};

struct ReportLines {
    std::vector<ScoreLine> candidates;
    ScoreLine best;
    long long evaluated = -1; // from the heuristic search's line
    double candidateTrees = 0.0;
};

ReportLines readReport(const std::string& report) {
    ReportLines lines;
    std::istringstream text(report);
    for (std::string line; std::getline(text, line);) {
        ScoreLine score;
        char consIndex[32] = "";
        if (std::sscanf(line.c_str(), "#%d: MA_length=%d Conserv0=%*d Conserv1=%*d ConsIndex=%31s SP=%lf",
                        &score.number, &score.length, consIndex, &score.sumOfPairs) >= 3) {
            score.consIndex = consIndex;
            lines.candidates.push_back(score);
        } else if (std::sscanf(line.c_str(), "Best multiple alignment #%d: Length=%d ConsIndex=%31s SP=%lf",
                               &score.number, &score.length, consIndex, &score.sumOfPairs) >= 3) {
            score.consIndex = consIndex;
            lines.best = score;
        } else {
            std::sscanf(line.c_str(), "Heuristic search: %lld of %lf candidate trees evaluated",
                        &lines.evaluated, &lines.candidateTrees);
        }
    }
    return lines;
}

// The candidate the run's criterion keeps: shortest then largest ConsIndex,
// or largest sum of pairs; the first among equals
ScoreLine bestOf(const std::vector<ScoreLine>& candidates, bool sumOfPairs) {
    ScoreLine best = candidates.front();
    for (const ScoreLine& c : candidates) {
        const bool better =
            sumOfPairs ? c.sumOfPairs > best.sumOfPairs
                       : c.length < best.length ||
                             (c.length == best.length && std::stod(c.consIndex) > std::stod(best.consIndex));
        if (better)
            best = c;
    }
    return best;
}

TEST(HeuristicCandidates, AtMostTheEnumerationLimitEveryCandidateIsTriedAsByDefault) {
    struct Case {
        unsigned seed;
        TreeShape shape;
    };
    for (const Case& c : {Case{3, {9, 5, false, 200, 30}}, Case{4, {10, 4, true, 200, 24}},
                          Case{5, {8, 0, false, 200, 30}}, Case{6, {11, 3, true, 200, 20}}}) {
        const RandomInput input = generate(c.seed, c.shape);
        ASSERT_GT(input.candidates, 1) << c.seed;
        ASSERT_LE(input.candidates, 200) << c.seed;
        for (const std::vector<std::string>& scoring : {std::vector<std::string>{}, {"--scoring=sp"}}) {
            SCOPED_TRACE(testing::Message()
                         << "seed " << c.seed << " " << testing::PrintToString(scoring) << "\n"
                         << input.newick << input.fasta);
            const RunOutput exhaustive = runInProcess(input.fasta, input.newick, scoring, false);
            ASSERT_EQ(exhaustive.result, 0) << exhaustive.standardOutput;
            for (const char* search : {"--search=exhaustive", "--search=heuristic"}) {
                std::vector<std::string> options = scoring;
                options.push_back(search);
                const RunOutput run = runInProcess(input.fasta, input.newick, options, false);
                EXPECT_EQ(run.result, 0) << search;
                EXPECT_EQ(run.standardOutput, exhaustive.standardOutput) << search;
                EXPECT_TRUE(run.report == exhaustive.report) << search << ": the reports differ";
            }
        }
    }
}

TEST(HeuristicCandidates, LargerSearchesKeepTheBestOfTheCandidatesTheyEvaluate) {
    struct Case {
        const char* what;
        RandomInput input;
        std::vector<std::string> options;
    };
    const std::vector<Case> cases = {
        {"orders 5 and 4", generate(8, {12, 5, false, 1575, 30}), {"--search=heuristic"}},
        {"order 8", generate(9, {12, 8, false, 135135, 30}), {"--search=heuristic", "--scoring=sp"}},
        {"order 12, beyond the exhaustive search",
         generate(10, {14, 12, false, 1e15, 24}),
         {"--search=heuristic"}},
        {"ten polytomic nodes, beyond the exhaustive search",
         polytomiesOfThree(11, 9),
         {"--search=heuristic", "--scoring=sp", "-O32"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.what << "\n" << c.input.newick << c.input.fasta);
        ASSERT_GT(c.input.candidates, 200);
        // Every candidate's rows are checked against their inputs as it is evaluated
        const RunOutput run = runInProcess(c.input.fasta, c.input.newick, c.options, false);
        ASSERT_EQ(run.result, 0) << run.standardOutput;
        const ReportLines report = readReport(run.report);
        ASSERT_FALSE(report.candidates.empty()) << run.report;
        for (std::size_t i = 0; i < report.candidates.size(); ++i)
            ASSERT_EQ(report.candidates[i].number, static_cast<int>(i) + 1);
        const bool sumOfPairs = c.options.size() > 1 && c.options[1] == "--scoring=sp";
        const ScoreLine best = bestOf(report.candidates, sumOfPairs);
        EXPECT_EQ(report.best.number, best.number);
        EXPECT_EQ(report.best.length, best.length);
        EXPECT_EQ(report.best.consIndex, best.consIndex);
        EXPECT_EQ(report.best.sumOfPairs, best.sumOfPairs);
        EXPECT_EQ(report.evaluated, static_cast<long long>(report.candidates.size()));
        // Written to six digits
        EXPECT_NEAR(report.candidateTrees / c.input.candidates, 1.0, 1e-5);
        EXPECT_LT(report.evaluated, c.input.candidates);
        EXPECT_NE(run.standardOutput.find("Heuristic search: "), std::string::npos);
    }
}

TEST(HeuristicCandidates, TheSameSearchWritesTheSameBytesOnAnyNumberOfWorkers) {
    // Back to the default however the test ends
    const struct WorkersReset {
        ~WorkersReset() { candidateWorkers = 0; }
    } reset;
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"--search=heuristic"}, {"--search=heuristic", "--scoring=sp", "-O63"}}) {
        SCOPED_TRACE(testing::PrintToString(options));
        const RandomInput input = generate(12, {13, 7, false, 10395 * 3, 30});
        ASSERT_GT(input.candidates, 200);
        candidateWorkers = 1;
        const RunOutput first = runInProcess(input.fasta, input.newick, options, false);
        ASSERT_EQ(first.result, 0) << first.standardOutput;
        // Twice in one process, then the steps shared out among worker processes
        for (const int workers : {1, 2, 4}) {
            SCOPED_TRACE(workers);
            candidateWorkers = workers;
            const RunOutput again = runInProcess(input.fasta, input.newick, options, false);
            EXPECT_EQ(again.result, 0);
            EXPECT_EQ(again.standardOutput, first.standardOutput);
            EXPECT_TRUE(again.report == first.report) << "the reports differ";
        }
    }
}

// Every sequence under one root: `count` leaves named s1, s2, ... of related sequences
RandomInput starOf(unsigned seed, int count) {
    RandomInput input = polytomiesOfThree(seed, (count + 2) / 3);
    std::string fasta;
    std::istringstream records(input.fasta);
    input.newick = "(";
    for (std::string header, sequence;
         count > 0 && std::getline(records, header) && std::getline(records, sequence); --count) {
        fasta += header + "\n" + sequence + "\n";
        input.newick += (input.newick.size() > 1 ? "," : "") + header.substr(1);
    }
    input.fasta = fasta;
    input.newick += ");\n";
    return input;
}

TEST(HeuristicCandidates, AStarTreeOfTheSequencesIsTheStarGivenAsATree) {
    // Past 31 children the star's root, read or made, holds them beyond its slots
    for (const int count : {12, 40}) {
        const RandomInput input = starOf(21, count);
        for (const std::vector<std::string>& scoring : {std::vector<std::string>{}, {"--scoring=sp"}}) {
            SCOPED_TRACE(testing::PrintToString(scoring) + " " + std::to_string(count));
            std::vector<std::string> star = scoring;
            star.push_back("--star-tree");
            std::vector<std::string> given = scoring;
            given.push_back("--search=heuristic");
            const RunOutput fromSequences = runInProcess(input.fasta, "", star, false);
            const RunOutput fromTree = runInProcess(input.fasta, input.newick, given, false);
            ASSERT_EQ(fromSequences.result, 0) << fromSequences.standardOutput;
            EXPECT_EQ(fromTree.result, 0);
            EXPECT_TRUE(fromSequences.report == fromTree.report) << "the reports differ";
            const std::string built = "Star tree built (overall " + std::to_string(count + 1) + " nodes, " +
                                      std::to_string(count) + " leaves)";
            EXPECT_NE(fromSequences.standardOutput.find(built), std::string::npos);
            EXPECT_NE(fromTree.standardOutput.find("Best multiple alignment #"), std::string::npos);
        }
    }
}

// The distances of the aligned start, taken while the first candidate stands
std::vector<std::vector<double>> firstAlignedDistances;
void takeAlignedDistances(int number, const AlignmentScore&) {
    if (number == 1)
        firstAlignedDistances = alignedChildDistances(polytomicNodes[0]);
}

// The rows the report shows for the first candidate, by name
std::map<std::string, std::string> firstCandidateRows(const std::string& report) {
    std::map<std::string, std::string> rows;
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line) && line.rfind("#1:", 0) != 0;)
        if (line.rfind('>', 0) == 0 && std::getline(lines, rows[line.substr(1)])) {
            for (char& letter : rows[line.substr(1)])
                letter = static_cast<char>(std::tolower(letter));
        }
    return rows;
}

TEST(HeuristicCandidates, AlignedDistancesAreThoseOfTheRowsTheReportShows) {
    // A root of six children, the first a subtree of five leaves: four of them speak for it
    const RandomInput input = starOf(23, 10);
    const std::vector<std::vector<std::string>> below = {
        {"s1", "s2", "s3", "s4"}, {"s6"}, {"s7"}, {"s8"}, {"s9"}, {"s10"}};
    const std::string newick = "((s1,(s2,(s3,(s4,s5)))),s6,s7,s8,s9,s10);\n";
    test_support::alsoAfterCandidate = &takeAlignedDistances;
    const RunOutput run = runInProcess(input.fasta, newick, {"--search=heuristic"}, false);
    test_support::alsoAfterCandidate = nullptr;
    ASSERT_EQ(run.result, 0) << run.standardOutput;
    const std::map<std::string, std::string> rows = firstCandidateRows(run.report);
    ASSERT_EQ(rows.size(), 10u);
    ASSERT_EQ(firstAlignedDistances.size(), below.size());
    auto differing = [](const std::string& a, const std::string& b) {
        int both = 0;
        int differ = 0;
        for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
            if (a[i] != '-' && b[i] != '-') {
                ++both;
                differ += a[i] != b[i];
            }
        return both > 0 ? static_cast<double>(differ) / both : 1.0;
    };
    for (std::size_t a = 0; a < below.size(); ++a)
        for (std::size_t b = 0; b < below.size(); ++b) {
            double sum = 0.0;
            for (const std::string& x : below[a])
                for (const std::string& y : below[b])
                    sum += differing(rows.at(x), rows.at(y));
            const double expected =
                a == b ? 0.0 : sum / static_cast<double>(below[a].size() * below[b].size());
            EXPECT_NEAR(firstAlignedDistances[a][b], expected, 1e-12) << a << "," << b;
        }
}

// A polytomy is enumerated while its resolutions are few against the
// candidate trees and against the evaluations the tree allows; otherwise it
// climbs by interchanges, so that one step cannot spend a large tree's search.
TEST(HeuristicCandidates, APolytomyIsEnumeratedOnlyWhereItsStepFitsTheSearch) {
    struct Case {
        double trees;
        double mostEvaluations;
        std::vector<std::size_t> sizes; // of orders 5 and 3
    };
    const Case cases[] = {
        {1e6, 1e9, {105, 3}}, {1e6, 1050, {105, 3}}, {1e6, 1049, {0, 3}}, {1e6, 30, {0, 3}},
        {1e6, 29, {0, 0}},    {315, 1e9, {0, 3}},    {29, 1e9, {0, 0}},
    };
    TreeNode five{};
    five.childCount = 5;
    TreeNode three{};
    three.childCount = 3;
    const std::vector<TreeNode*> kept = polytomicNodes;
    const double keptTrees = treesToTry;
    const int keptOrder = maxPolytomyOrder;
    polytomicNodes = {&five, &three};
    maxPolytomyOrder = 5;
    ASSERT_EQ(buildResolutionTables(), 0);
    for (const Case& c : cases) {
        treesToTry = c.trees;
        const std::vector<std::vector<Topology>> all = enumeratedTopologies(c.mostEvaluations);
        ASSERT_EQ(all.size(), 2U);
        EXPECT_EQ(all[0].size(), c.sizes[0]) << c.trees << " " << c.mostEvaluations;
        EXPECT_EQ(all[1].size(), c.sizes[1]) << c.trees << " " << c.mostEvaluations;
    }
    polytomicNodes = kept;
    treesToTry = keptTrees;
    maxPolytomyOrder = keptOrder;
    releaseResolutionTables();
}

TEST(HeuristicCandidates, AnUnknownSearchIsAnArgumentError) {
    const RandomInput input = generate(13, {6, 4, false, 15, 20});
    for (const char* value : {"foo", "", "heuristics", "exhaustive,heuristic"}) {
        const RunOutput run =
            runInProcess(input.fasta, input.newick, {std::string("--search=") + value}, false);
        EXPECT_EQ(run.result, ERARG) << value;
        EXPECT_NE(
            run.standardOutput.find("Invalid value \"" + std::string(value) + "\" for option \"--search\""),
            std::string::npos)
            << run.standardOutput;
        EXPECT_EQ(run.standardOutput.find("Heuristic search"), std::string::npos);
    }
}

} // namespace
} // namespace vorbex
