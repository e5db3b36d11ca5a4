// Tree-dependent refinement of a finished alignment under --scoring=sp.
#pragma once

#include <string>
#include <vector>

#include "base/result_code.h"

namespace vorbex {

struct RefinementResult {
    int realigned = 0;       // splits realigned
    int kept = 0;            // of them, those that raised the score
    int rounds = 0;          // rounds run: the last one changed nothing, or the limit was reached
    double sumOfPairs = 0.0; // of the alignment returned
};

// Up to `rounds` rounds over the edges of the tree `shape` (NEWICK whose
// leaves are the rows' indices, each row once): the rows below the edge and
// the others are realigned as two profiles, and the result replaces the rows
// when its weighted sum of pairs is higher. `rows` hold letters and '-', all
// of one length; every sequence weighs the same. Stops
// early after a round that changed nothing. ERMEM after a message when an
// alignment's work storage cannot be had; the rows are then the last kept.
[[nodiscard]] ResultCode refineAlignment(std::vector<std::string>& rows, const std::string& shape, int rounds,
                                         RefinementResult& result);

} // namespace vorbex
