// The candidate trees of one run shared out among the ranks of an MPI job
// (built with VORBEX_MPI, started by mpirun or srun). Every rank reads the
// inputs itself; the first rank alone writes standard output, the report and
// the result files, deals the candidates out in chunks as ranks ask for them,
// evaluates chunks of its own in between, and writes every candidate's text in
// candidate order: the outputs are those of a one-process run. Without MPI, or
// without a launcher, these are the one-process run's.
#pragma once

#include "run/candidate_loop.h"

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

#endif

} // namespace vorbex
