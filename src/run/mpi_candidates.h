// The candidate trees of one run shared out among the ranks of an MPI job
// (built with VORBEX_MPI, started by mpirun or srun). Every rank reads the
// inputs itself; the first rank alone writes standard output, the report and
// the result files, deals the candidates out in chunks as ranks ask for them,
// evaluates chunks of its own in between, and writes every candidate's text in
// candidate order: the outputs are those of a one-process run. The heuristic
// search runs alike on every rank, each of its steps cut into one slice of
// consecutive candidates per rank and written by the first rank in order.
// Without MPI, or without a launcher, these are the one-process run's.
#pragma once

#include <functional>
#include <vector>

#include "run/candidate_loop.h"
#include "run/parallel_candidates.h"

namespace vorbex {

#ifdef VORBEX_MPI

// Joins the MPI job when a launcher started the process; a rank but the first
// sends its standard output nowhere.
void startRanks(int& argc, char**& argv);
// Leaves the job; the exit status that every rank returns.
int endRanks(int status);
// True on every rank but the first: it opens neither the report nor the result files.
bool isFollowerRank();
// Every rank's result of the start-up phases; the first rank's fault, else a
// follower's (named by the first rank), is every rank's result.
[[nodiscard]] ResultCode agreeOnStart(ResultCode code);
// The candidate loop over the ranks, with `best`, `code` and `candidateFailed`
// as runCandidatesInWorkers leaves them. False, with nothing done, in a job of one rank.
bool runCandidatesOverRanks(BestAlignment& best, int& code, bool& candidateFailed);

// True in a job of several ranks: the heuristic search then runs alike on
// every rank, and each of its steps shares its candidates among them.
bool ranksShareSearch();
// Runs `search` on every rank, each with its share of the machine's
// processors; the first rank's outputs guarded as in the candidate loop.
[[nodiscard]] ResultCode runSearchOverRanks(const std::function<ResultCode()>& search);
// One step of a search every rank runs alike: the batch in consecutive
// slices, one per rank. The first rank writes every candidate's texts in
// order and takes it with `best`; every rank gets the scores in order, and
// `code` and `candidateFailed` as evaluateBatchInWorkers leaves them; a
// follower takes the scores into its own `best`, which so stays the first rank's.
void evaluateBatchOverRanks(const CandidateBatch& batch, BestAlignment& best,
                            std::vector<AlignmentScore>& scores, int& code, bool& candidateFailed);
// True on every rank when `value` is true on every rank.
[[nodiscard]] bool trueOnEveryRank(bool value);

#else

inline void startRanks(int&, char**&) {}
inline int endRanks(int status) {
    return status;
}
inline bool isFollowerRank() {
    return false;
}
[[nodiscard]] inline ResultCode agreeOnStart(ResultCode code) {
    return code;
}
inline bool runCandidatesOverRanks(BestAlignment&, int&, bool&) {
    return false;
}
inline bool ranksShareSearch() {
    return false;
}
[[nodiscard]] inline ResultCode runSearchOverRanks(const std::function<ResultCode()>& search) {
    return search();
}
inline void evaluateBatchOverRanks(const CandidateBatch&, BestAlignment&, std::vector<AlignmentScore>&,
                                   int& code, bool&) {
    code = ERINT;
}
[[nodiscard]] inline bool trueOnEveryRank(bool value) {
    return value;
}

#endif

} // namespace vorbex
