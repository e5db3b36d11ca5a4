// The weighted sum of pairs of the rows of an alignment.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

#include "input/input.h"

namespace vorbex {

// One row of an alignment and the weight of its sequence.
struct WeightedRow {
    const ProfileColumn* columns;
    int length; // columns beyond it, up to the alignment's length, are not scored
    double weight;
};

// Row r of an alignment, its columns in `scratch` when they are kept nowhere
using RowSource = std::function<WeightedRow(std::size_t r, std::vector<ProfileColumn>& scratch)>;

// The weighted sum of pairs of the first `length` columns of the rows: every
// pair of two rows once, weighing the product of their weights, and scored as
// the two rows alone would be (their columns of two gaps left out), so a gap
// opens once against each row it faces. A row's columns are a single code's
// or gaps.
double sumOfPairsOfRows(const std::vector<WeightedRow>& rows, int length);
// The same of `count` rows, each read once
double sumOfPairsOfRows(std::size_t count, int length, const RowSource& rowAt);

} // namespace vorbex
