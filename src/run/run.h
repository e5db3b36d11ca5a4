// Run control: command line, start-up, the phases of a run and its end.
#pragma once

#include "base/output.h"
#include "base/result_code.h"
#include "base/settings.h"
#include "pairwise/workspace.h"

namespace vorbex {

// Receives the NEWICK text of each candidate tree for the report.
extern char* treeTextBuffer;

constexpr int MAX_PROCESSOR_LIMIT = 4096; // the largest --threads value
// The largest --max-length value: two profiles' columns and the alignment's
// positions still count in an int
constexpr int MAX_LENGTH_LIMIT = (1 << 29) - 1;
// Keeps the NEWICK text of a full table within a 32-bit count
constexpr int MAX_NODES_LIMIT = 8000000;
constexpr int MAX_REFINE_ROUNDS = 1000; // the largest --refine value
constexpr const char* BANNER = "Multiple alignment of base sequences over a tree  v.%s  Kalvexa, 2008\n";

// Fresh settings and node table, and the main workspace's choices.
[[nodiscard]] ResultCode initialiseRun(const PairwiseChoices& choices = {});
// 0, ERARG after the messages, or USAGE_SHOWN after a help or version text.
[[nodiscard]] int parseArguments(int argc, char** argv);
void printUsage();
void printLongOptions();

// Processors this process may use: its CPU affinity, within --threads; at least 1.
int availableProcessors();

// The phases of a run, in order. Each returns 0 or the code that ends the run.
// Initialisation, command line, banner and the opening of every file; the
// pairwise DP's threads then follow the processors the run may use.
[[nodiscard]] ResultCode startRun(int argc, char** argv, const PairwiseChoices& choices = {});
// The tree, then the sequences.
[[nodiscard]] ResultCode readInputs();
// Pruning to the sequenced leaves, and what the candidate loop needs.
[[nodiscard]] ResultCode prepareTree();
// (then buildResolutionTables)
[[nodiscard]] ResultCode runCandidates();

// The end of every run: the result report, the result files put in place or
// removed, every stream closed. Returns the process's exit status.
[[nodiscard]] int finishRun(int code);

// The whole run, from the command line to the exit status; benchmarks and
// tests choose how the pairwise DP runs (the plain reference, no bands).
[[nodiscard]] int runVorbex(int argc, char** argv, const PairwiseChoices& choices = {});

// Frees what a finished run holds: trees, tables, sequences. The tool leaves
// this to the end of the process; tests and fuzzers that run many need it.
void releaseRun();

} // namespace vorbex
