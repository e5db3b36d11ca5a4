// A whole run in the test process, as the tool runs it, and
// random inputs for it: related sequences on a guide tree with polytomies.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "align/align.h"
#include "resolve/resolve.h"
#include "run/candidate_loop.h"
#include "run/run.h"
#include "support/files.h"
#include "support/run_invariants.h"

namespace vorbex::test_support {

struct RunOutput {
    int result;
    std::string report;
    std::string standardOutput; // without the elapsed time, which varies
    std::string alignment;      // the file an --alignment= option names, if any
};

inline std::string withoutElapsedTime(const std::string& text) {
    std::string kept;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind("Elapsed time:", 0) != 0)
            kept += line + "\n";
    return kept;
}

// Runs the tool on the given FASTA and NEWICK texts with `options` before the
// file names, every candidate checked, under the run's `choices`.
inline RunOutput runInProcess(const std::string& fasta, const std::string& newick,
                              const std::vector<std::string>& options, const PairwiseChoices& choices) {
    char folder[] = "/tmp/vorbex_run_XXXXXX";
    if (mkdtemp(folder) == nullptr)
        return {-1, "", "no temporary folder", ""};
    // Names starting with '/' would read as options: run inside the folder
    char* const startFolder = getcwd(nullptr, 0);
    if (startFolder == nullptr || chdir(folder) != 0) {
        std::free(startFolder);
        return {-1, "", "cannot enter the temporary folder", ""};
    }
    const std::string fastaPath = "seq.fasta";
    const std::string treePath = "tree.nwk";
    const std::string reportPath = "seq.log";
    writeFile(fastaPath, fasta);
    writeFile(treePath, newick);

    std::vector<std::string> arguments{"vorbex"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    // No tree text: a run of the sequences alone (--star-tree)
    if (newick.empty())
        arguments.insert(arguments.end(), {fastaPath, reportPath});
    else
        arguments.insert(arguments.end(), {fastaPath, treePath, reportPath});
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    afterCandidate = &checkCandidate;
    ::testing::internal::CaptureStdout();
    RunOutput output{-1, "", "", ""};
    output.result = runVorbex(static_cast<int>(argv.size()), argv.data(), choices);
    output.standardOutput = withoutElapsedTime(::testing::internal::GetCapturedStdout());
    output.report = readFile(reportPath);
    for (const std::string& option : options)
        if (option.rfind("--alignment=", 0) == 0) {
            const std::string path = option.substr(std::string("--alignment=").size());
            output.alignment = readFile(path);
            std::remove(path.c_str());
        }
    releaseRun();
    afterCandidate = nullptr;
    for (const std::string& path : {fastaPath, treePath, reportPath})
        std::remove(path.c_str());
    EXPECT_EQ(chdir(startFolder), 0);
    std::free(startFolder);
    rmdir(folder);
    return output;
}

// The same with the plain reference code, or the fast one.
inline RunOutput runInProcess(const std::string& fasta, const std::string& newick,
                              const std::vector<std::string>& options, bool plain) {
    return runInProcess(fasta, newick, options, PairwiseChoices{.plain = plain});
}

// Shape of a random input.
struct TreeShape {
    int leaves = 10;
    int rootOrder = 0;   // a polytomy of this order at the root; 0 for a random root
    bool nested = false; // a polytomic node among the children of a polytomic node
    double maxCandidates = 120;
    int sequenceLength = 36;
};

struct RandomInput {
    std::string fasta;
    std::string newick;
    double candidates = 1;
};

// Related sequences on a random guide tree: each node's sequence comes from
// its parent's by a few substitutions, insertions and deletions, with now and
// then an ambiguity code.
class InputGenerator {
  public:
    InputGenerator(unsigned seed, const TreeShape& shape) : random_(seed), shape_(shape) {}

    RandomInput generate() {
        std::string rootSequence;
        for (int i = 0; i < shape_.sequenceLength; ++i)
            rootSequence += "acgt"[pick(4)];
        input_.newick = subtree(shape_.leaves, rootSequence, true, false) + ";\n";
        return input_;
    }

  private:
    int pick(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }

    static double resolutions(int order) {
        double count = 1;
        for (int k = 2 * order - 3; k > 1; k -= 2)
            count *= k;
        return count;
    }

    std::string mutate(const std::string& sequence) {
        std::string changed;
        for (char base : sequence) {
            const int roll = pick(100);
            if (roll < 6)
                continue; // deleted
            if (roll < 14)
                base = "acgt"[pick(4)];
            else if (roll < 16)
                base = "rykmswn"[pick(7)];
            changed += base;
            if (pick(100) < 5)
                changed += "acgt"[pick(4)];
        }
        return changed.size() < 4 ? sequence : changed;
    }

    // Order of a node over `leaves` leaves, within the candidate limit.
    int orderFor(int leaves, bool isRoot, bool parentPolytomic) {
        int order = 2;
        if (isRoot && shape_.rootOrder > 0)
            order = shape_.rootOrder;
        else if (shape_.nested && parentPolytomic && !nestedMade_ && leaves >= 3)
            order = 3;
        else if (leaves >= 3 && polytomies_ < 4 && pick(3) == 0)
            order = leaves >= 4 && pick(3) == 0 ? 4 : 3;
        if (order > leaves)
            order = leaves;
        if (order > 2 && (polytomies_ == MAX_POLYTOMIC_NODES ||
                          input_.candidates * resolutions(order) > shape_.maxCandidates))
            order = 2;
        if (order > 2) {
            ++polytomies_;
            input_.candidates *= resolutions(order);
            if (parentPolytomic)
                nestedMade_ = true;
        }
        return order;
    }

    std::string subtree(int leaves, const std::string& sequence, bool isRoot, bool parentPolytomic) {
        if (leaves == 1) {
            const std::string name = "s" + std::to_string(++leafNumber_);
            input_.fasta += ">" + name + "\n" + mutate(sequence) + "\n";
            return name;
        }
        const int order = orderFor(leaves, isRoot, parentPolytomic);
        // Every child gets one leaf, the rest go at random
        std::vector<int> sizes(order, 1);
        for (int i = order; i < leaves; ++i)
            ++sizes[pick(order)];
        std::string text = "(";
        for (int i = 0; i < order; ++i)
            text += (i > 0 ? "," : "") + subtree(sizes[i], mutate(sequence), false, order > 2);
        return text + ")";
    }

    std::mt19937 random_;
    TreeShape shape_;
    RandomInput input_;
    int leafNumber_ = 0;
    int polytomies_ = 0;
    bool nestedMade_ = false;
};

} // namespace vorbex::test_support
