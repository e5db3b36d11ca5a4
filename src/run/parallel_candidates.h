// Candidate trees evaluated by worker processes. Every worker builds every
// candidate, as the serial loop does, but aligns only its own chunks of
// consecutive candidates and sends their report texts to the parent, which
// writes them in candidate order: the outputs are those of the serial loop.
#pragma once

#include <functional>
#include <vector>

#include "run/candidate_loop.h"

namespace vorbex {

// Worker processes for a run of several candidates: 0 chooses one per
// processor (tests set it; 1 keeps the serial loop).
extern int candidateWorkers;
// Consecutive candidates a worker takes at a time: 0 chooses from the run.
extern int candidateChunk;
constexpr int MAX_CANDIDATE_WORKERS = 16;
constexpr int MAX_CANDIDATE_CHUNK = 16;

// Workers for this run; 1 for the serial loop (one candidate, one processor,
// or the plain reference code).
int candidateWorkerCount();
// Candidates per chunk for this run with `workers` workers.
int candidateChunkSize(int workers);

// Runs the candidates in `workers` processes, with the best alignment and the
// result of the last nextCandidateTree call in `best` and `code`, as the
// serial loop leaves them; a failure inside a candidate sets `candidateFailed`
// with its code, as it would serially. False, with nothing done, when the
// workers cannot be started.
bool runCandidatesInWorkers(int workers, BestAlignment& best, int& code, bool& candidateFailed);
// Candidates given one at a time: stand(i) puts candidate i (0 .. count - 1)
// in the tree, 0 or the code of the failure; they are numbered from firstNumber.
struct CandidateBatch {
    int count;
    int firstNumber;
    std::function<int(int)> stand;
};
// Evaluates the batch in `workers` processes started for it alone, writing
// each candidate's texts and taking it in order with `best`, as the serial
// loop would, and giving their scores in order; `code` and `candidateFailed`
// as runCandidatesInWorkers leaves them (0 when all went well). False, with
// nothing done, when the workers cannot be started.
bool evaluateBatchInWorkers(int workers, const CandidateBatch& batch, BestAlignment& best,
                            std::vector<AlignmentScore>& scores, int& code, bool& candidateFailed);
// Tests only: called in a worker just before it evaluates a candidate.
extern void (*beforeWorkerCandidate)(int number);

} // namespace vorbex
