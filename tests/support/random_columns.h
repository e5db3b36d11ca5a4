// Random profile columns of the kinds the kernels meet, for the differential tests.
#pragma once

#include <vector>

#include "bench/workload.h"
#include "input/input.h"

namespace vorbex::test_support {

enum class Columns { Definite, Ambiguous, Means, NearEqual };

inline ProfileColumn randomColumn(bench::SplitMix64& random, Columns kind) {
    ProfileColumn column{};
    switch (kind) {
    case Columns::Definite:
        column.weight[random.below(BASE_COUNT)] = 1.0;
        break;
    case Columns::Ambiguous: {
        static const char CODES[] = "acgtrykmswbdhvn";
        if (random.below(10) > 0)
            nucleotideColumn(CODES[random.below(sizeof CODES - 1)], column);
        break;
    }
    case Columns::Means:
        // Means of four sequences, some of whose bases are gaps
        if (random.below(8) > 0)
            for (int s = 0; s < 4; ++s)
                if (random.below(5) > 0)
                    column.weight[random.below(BASE_COUNT)] += 0.25;
        break;
    case Columns::NearEqual:
        // A few values a hair apart: similarities differ by less than the tolerance
        for (int x = 0; x < BASE_COUNT; ++x)
            column.weight[x] = 0.25 * random.below(3) + 3e-9 * random.below(3);
        break;
    }
    return column;
}

inline std::vector<ProfileColumn> randomColumns(bench::SplitMix64& random, Columns kind, int count) {
    std::vector<ProfileColumn> columns;
    for (int k = 0; k < count; ++k)
        columns.push_back(randomColumn(random, kind));
    return columns;
}

} // namespace vorbex::test_support
