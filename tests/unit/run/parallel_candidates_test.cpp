#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <sched.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "align/align.h"
#include "resolve/resolve.h"
#include "run/parallel_candidates.h"
#include "support/whole_run.h"

namespace vorbex {
namespace {

using test_support::InputGenerator;
using test_support::RandomInput;
using test_support::readFile;
using test_support::runInProcess;
using test_support::RunOutput;
using test_support::TreeShape;
using test_support::withoutElapsedTime;
using test_support::writeFile;

class ParallelCandidates : public ::testing::Test {
  protected:
    void TearDown() override {
        candidateWorkers = 0;
        candidateChunk = 0;
        beforeWorkerCandidate = nullptr;
        sharingCounters = {0, 0, 0};
        clearSubtreeCache();
        treesToTry = 0;
    }
};

RunOutput runWith(const RandomInput& input, const std::vector<std::string>& options, int workers, int chunk) {
    candidateWorkers = workers;
    candidateChunk = chunk;
    sharingCounters = {0, 0, 0};
    RunOutput output = runInProcess(input.fasta, input.newick, options, false);
    candidateWorkers = 0;
    candidateChunk = 0;
    return output;
}

// Every count of workers and chunk size writes what one process writes, and
// together the workers align or rebuild every node the plain run aligns.
void expectSameAsSerial(const RandomInput& input, const std::vector<std::string>& options) {
    const std::string context = input.newick + input.fasta;
    sharingCounters = {0, 0, 0};
    const RunOutput plain = runInProcess(input.fasta, input.newick, options, true);
    const long long plainAlignments = sharingCounters.alignmentsComputed;
    const RunOutput serial = runWith(input, options, 1, 0);
    ASSERT_EQ(serial.result, 0) << serial.standardOutput << context;
    ASSERT_EQ(serial.report, plain.report) << context;
    struct Split {
        int workers;
        int chunk;
    };
    for (const Split split : {Split{2, 0}, Split{2, 1}, Split{3, 7}, Split{4, 3}, Split{3, 16}}) {
        SCOPED_TRACE(::testing::Message() << split.workers << " workers, chunk " << split.chunk);
        const RunOutput parallel = runWith(input, options, split.workers, split.chunk);
        EXPECT_EQ(parallel.result, serial.result) << context;
        EXPECT_EQ(parallel.standardOutput, serial.standardOutput) << context;
        EXPECT_TRUE(parallel.report == serial.report) << "reports differ for\n" << context;
        EXPECT_EQ(sharingCounters.alignmentsComputed + sharingCounters.alignmentsReused +
                      sharingCounters.nodesKept,
                  plainAlignments)
            << context;
    }
}

RandomInput generate(unsigned seed, const TreeShape& shape) {
    return InputGenerator(seed, shape).generate();
}

TEST_F(ParallelCandidates, RandomTreesWithPolytomiesUnderEveryMask) {
    const std::vector<std::vector<std::string>> optionSets = {{"-O63"}, {},       {"-O8"},      {"-O32"},
                                                              {"-O0"},  {"-O16"}, {"-T", "-W2"}};
    for (unsigned seed = 1; seed <= optionSets.size(); ++seed) {
        SCOPED_TRACE(seed);
        TreeShape shape{7 + static_cast<int>(seed), seed % 2 == 0 ? 4 : 0, seed % 3 == 0, 120, 24};
        const RandomInput input = generate(seed, shape);
        ASSERT_GT(input.candidates, 1);
        expectSameAsSerial(input, optionSets[seed - 1]);
    }
}

TEST_F(ParallelCandidates, CandidateCountsThatDoNotFillTheLastChunk) {
    // 15 candidates (a root of order 4): chunks of 7 leave one over; with chunks
    // of 16 the first worker takes them all and the others only build
    const RandomInput input = generate(41, TreeShape{9, 4, false, 15, 30});
    ASSERT_EQ(input.candidates, 15);
    expectSameAsSerial(input, {});
    expectSameAsSerial(input, {"-O40"});
    expectSameAsSerial(input, {"--scoring=sp"});
    // The refinement runs in the first process on the rows and shape a worker sent
    expectSameAsSerial(input, {"--scoring=sp", "--refine=2", "-T"});
}

// ---- Runs that end inside a candidate: the whole driver in a child process

struct Ending {
    int status;
    std::string output;
    std::string report;
};

Ending runToTheEnd(const std::string& fasta, const std::string& newick, int workers, int chunk) {
    char folder[] = "/tmp/vorbex_parallel_XXXXXX";
    if (mkdtemp(folder) == nullptr)
        return {-1, "", ""};
    const std::string base = folder;
    writeFile(base + "/seq.fa", fasta);
    writeFile(base + "/tree.nwk", newick);
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        if (chdir(folder) != 0 || std::freopen("out.txt", "w", stdout) == nullptr)
            _exit(120);
        candidateWorkers = workers;
        candidateChunk = chunk;
        afterCandidate = &test_support::checkCandidate;
        char* argv[] = {const_cast<char*>("vorbex"), const_cast<char*>("seq.fa"),
                        const_cast<char*>("tree.nwk"), const_cast<char*>("seq.log"), nullptr};
        std::exit(runVorbex(4, argv));
    }
    int status = -1;
    waitpid(child, &status, 0);
    Ending ending{WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
                  withoutElapsedTime(readFile(base + "/out.txt")), readFile(base + "/seq.log")};
    for (const char* name : {"/seq.fa", "/tree.nwk", "/seq.log", "/out.txt"})
        std::remove((base + name).c_str());
    rmdir(folder);
    return ending;
}

std::string repeated(char base, int count) {
    return std::string(static_cast<std::size_t>(count), base);
}

// a with b needs 2048 columns; a with c first, then b, fits in 2027
std::string overflowingFasta() {
    return ">a\n" + repeated('A', 1024) + "\n>b\n" + repeated('C', 1024) + "\n>c\n" + repeated('A', 600) +
           repeated('C', 600) + "\n>d\nacgtac\n>e\nacgaac\n>f\naccgtac\n";
}

void expectSameEnding(const std::string& fasta, const std::string& newick, int expectedCandidates) {
    const Ending serial = runToTheEnd(fasta, newick, 1, 0);
    ASSERT_EQ(serial.status, ERINT) << serial.output;
    EXPECT_NE(serial.output.find("ERROR: MAXSEQLEN overflow\nRC=32 ( ERINT )\n"), std::string::npos);
    int summaries = 0;
    for (std::size_t at = 0; (at = serial.report.find("MA_length=", at)) != std::string::npos; ++at)
        ++summaries;
    EXPECT_EQ(summaries, expectedCandidates);
    for (const int chunk : {0, 1, 2, 4}) {
        for (const int workers : {2, 3}) {
            SCOPED_TRACE(::testing::Message() << workers << " workers, chunk " << chunk);
            const Ending parallel = runToTheEnd(fasta, newick, workers, chunk);
            EXPECT_EQ(parallel.status, serial.status);
            EXPECT_EQ(parallel.output, serial.output);
            EXPECT_EQ(parallel.report, serial.report);
        }
    }
}

TEST_F(ParallelCandidates, OverflowInTheFirstCandidateEndsAsSerially) {
    // Any two of the three need 2048 columns
    const std::string fasta =
        ">a\n" + repeated('A', 1024) + "\n>b\n" + repeated('C', 1024) + "\n>c\n" + repeated('G', 1024) + "\n";
    expectSameEnding(fasta, "(a,b,c);\n", 0);
}

TEST_F(ParallelCandidates, OverflowInALaterCandidateKeepsTheEarlierOnesAndThePartialText) {
    // The polytomy over d, e, f turns fastest: candidates 1 to 3 fit, 4 overflows
    expectSameEnding(overflowingFasta(), "((d,e,f),(a,b,c));\n", 3);
    // Here candidate 2 overflows
    expectSameEnding(overflowingFasta(), "((a,b,c),(d,e,f));\n", 1);
}

// ---- A worker that dies

void dieAtCandidateFive(int number) {
    if (number == 5)
        raise(SIGKILL);
}

TEST_F(ParallelCandidates, AWorkerThatDiesFailsTheRunWithoutHangingOrZombies) {
    const RandomInput input = generate(51, TreeShape{10, 4, false, 15, 30});
    ASSERT_EQ(input.candidates, 15);
    const RunOutput serial = runWith(input, {}, 1, 0);
    beforeWorkerCandidate = &dieAtCandidateFive;
    const RunOutput broken = runWith(input, {}, 2, 2);
    beforeWorkerCandidate = nullptr;
    EXPECT_EQ(broken.result, ERINT);
    EXPECT_NE(broken.standardOutput.find("ERROR: Worker process failed at candidate tree #5\n"),
              std::string::npos)
        << broken.standardOutput;
    // The candidates before the fifth are written as serially
    const std::size_t fifth = serial.report.find("#5: MA_length=");
    const std::size_t fourthEnd = serial.report.rfind("#4: MA_length=");
    ASSERT_NE(fifth, std::string::npos);
    const std::string firstFour = serial.report.substr(0, serial.report.find("\n\n", fourthEnd) + 2);
    EXPECT_EQ(broken.report.substr(0, firstFour.size()), firstFour);
    EXPECT_EQ(broken.report.find("#5: MA_length="), std::string::npos);
    // Every worker was waited for
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

// ---- How many workers

TEST_F(ParallelCandidates, WorkersFollowTheAffinityAndStaySerialWhenNothingIsParallel) {
    treesToTry = 1575;
    mainWorkspace().choices.plain = true;
    EXPECT_EQ(candidateWorkerCount(), 1);
    mainWorkspace().choices.plain = false;
    treesToTry = 1;
    EXPECT_EQ(candidateWorkerCount(), 1);
    treesToTry = 3;
    candidateWorkers = 4;
    EXPECT_EQ(candidateWorkerCount(), 4); // set for tests: taken as it stands
    candidateWorkers = 0;
    EXPECT_EQ(candidateWorkerCount(), std::min(availableProcessors(), 3));
    // Chunks give each worker several, at most MAX_CANDIDATE_CHUNK candidates
    treesToTry = 1575;
    EXPECT_EQ(candidateChunkSize(2), MAX_CANDIDATE_CHUNK);
    treesToTry = 81;
    EXPECT_EQ(candidateChunkSize(2), 5);
    treesToTry = 9;
    EXPECT_EQ(candidateChunkSize(2), 1);
    // One processor allowed, as under `taskset -c 0`: the serial loop
    EXPECT_EXIT(
        {
            cpu_set_t one;
            CPU_ZERO(&one);
            CPU_SET(0, &one);
            treesToTry = 1575;
            const bool pinned = sched_setaffinity(0, sizeof one, &one) == 0;
            std::exit(pinned && candidateWorkerCount() == 1 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace vorbex
