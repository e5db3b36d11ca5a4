// The whole alignment's sum of pairs of rows written as text.
#pragma once

#include <cctype>
#include <string>
#include <vector>

#include "align/alignment_sum_of_pairs.h"
#include "input/input.h"
#include "pairwise/sum_of_pairs.h"

namespace vorbex::test_support {

// Rows of one length, gaps as '-'; each row weighs its entry of `weights`.
inline double sumOfPairsOfText(const std::vector<std::string>& rows, const std::vector<double>& weights) {
    std::vector<std::vector<ProfileColumn>> columns(rows.size());
    std::vector<WeightedRow> weighted;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (char c : rows[r]) {
            ProfileColumn column{};
            if (c != '-')
                nucleotideColumn(static_cast<char>(std::tolower(static_cast<unsigned char>(c))), column);
            columns[r].push_back(column);
        }
        weighted.push_back({columns[r].data(), static_cast<int>(rows[r].size()), weights[r]});
    }
    return sumOfPairsOfRows(weighted, rows.empty() ? 0 : static_cast<int>(rows[0].size()));
}

} // namespace vorbex::test_support
