// The candidate loop of --search=heuristic: the candidates the search asks
// for, evaluated and reported one after the other, numbered as evaluated.
#pragma once

#include <cstddef>
#include <vector>

#include "resolve/resolve.h"
#include "run/candidate_loop.h"

namespace vorbex {

// Up to this many candidate trees the heuristic search tries them all, as
// the exhaustive search does (the same outputs).
constexpr double HEURISTIC_ENUMERATION_LIMIT = 200.0;
// Starts of the search: distances, input order and random ones. A start after
// the first is made only while fewer than this share of the candidate trees
// have been evaluated, and only where they are at most EXTRA_STARTS_LIMIT:
// in larger spaces the first start's climb takes thousands of candidates,
// and further ones did not find better alignments.
constexpr int SEARCH_STARTS = 4;
// Then starts from the best so far with one polytomy resolved otherwise at
// random, until the budget is spent: in a small space most of them climb back
// through candidates scored before, which cost nothing, so it takes many
constexpr int SEARCH_PERTURBATIONS = 1000;
// A polytomy has all its resolutions tried at once only while they are at
// most this share of the candidate trees, and of the most evaluations the
// search may make; otherwise it climbs by interchanges.
constexpr double ENUMERATED_SHARE = 0.1;
constexpr double SEARCH_BUDGET_SHARE = 0.25;
// Two polytomies are tried together where neither improves alone, while their
// resolutions together are at most ENUMERATED_SHARE of the candidate trees and
// at most this many (two of order 3): larger pairs took what further starts
// put to better use
constexpr double MAX_PAIR_CANDIDATES = 20.0;
constexpr double EXTRA_STARTS_LIMIT = 1e6;
// The search takes at most this many times the candidates of its first
// start: a quarter of a million candidates would take minutes of a small
// tree's time. Beyond EXTRA_STARTS_LIMIT the first start is followed only by
// starts from the best with a few interchanges made at random, up to
// LARGE_SEARCH_MULTIPLE times its candidates (so about twice its time).
constexpr double SEARCH_MULTIPLE = 10.0;
constexpr double LARGE_SEARCH_MULTIPLE = 2.0;
// Up to EXTRA_STARTS_LIMIT, SEARCH_MULTIPLE bounds the search only beyond this
// many candidates (a second or so of a small tree): a small space's first
// climb may take a few dozen, and ten times that ended the search far short
// of its share.
constexpr double MIN_SEARCH_BUDGET = 1000.0;
constexpr unsigned SEARCH_SEED = 20261208;
// Candidates times their letters the search may evaluate in all (about ten
// minutes of --scoring=sp on 2 cores for 2,000 sequences of 1,000 bases),
// and the fewest candidates it may, however large the tree
constexpr double SEARCH_LETTER_BUDGET = 1.5e9;
constexpr double MIN_SEARCH_EVALUATIONS = 20.0;
// Steps of fewer candidates are evaluated in the searching process itself
constexpr std::size_t MIN_WORKER_BATCH = 4;

// Every resolution of each polytomy of the census that is enumerated in a
// search of at most `mostEvaluations` candidates; none of the others.
std::vector<std::vector<Topology>> enumeratedTopologies(double mostEvaluations);

// True when this run resolves its polytomies by the heuristic search.
bool searchesHeuristically();
// Runs the search, with `best` and `code` as the serial loop leaves them
// (code NO_MORE_CANDIDATES after the last candidate) and `candidateFailed`
// when a candidate failed; the actual tree stands again afterwards.
void runHeuristicSearch(BestAlignment& best, int& code, bool& candidateFailed);

} // namespace vorbex
