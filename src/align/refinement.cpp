// Tree-dependent refinement: every edge of the tree splits the sequences in
// two; the two groups' rows, each without the columns it holds no base in,
// are realigned as two profiles by the sum-of-pairs DP, and the new alignment
// is kept when its weighted sum of pairs is higher. Edges are taken in the
// order of the shape's text, so the result depends on nothing else.
#include "align/refinement.h"

#include <cctype>

#include "align/align.h"
#include "align/alignment_sum_of_pairs.h"
#include "base/settings.h"
#include "input/input.h"
#include "pairwise/sum_of_pairs.h"

namespace vorbex {

namespace {

struct ShapeNode {
    int parent;
    int row; // -1 for an inner node
};

// Reads NEWICK of row indices; false unless each of `rowCount` rows is a leaf once.
bool readShape(const std::string& text, int rowCount, std::vector<ShapeNode>& nodes) {
    nodes.clear();
    std::vector<bool> seen(static_cast<std::size_t>(rowCount), false);
    int current = -1;
    std::size_t at = 0;
    while (at < text.size()) {
        const char c = text[at];
        if (c == '(') {
            nodes.push_back({current, -1});
            current = static_cast<int>(nodes.size()) - 1;
            ++at;
        } else if (c == ')') {
            if (current < 0)
                return false;
            current = nodes[current].parent;
            ++at;
        } else if (c == ',') {
            ++at;
        } else if (std::isdigit(static_cast<unsigned char>(c)) && current >= 0) {
            long row = 0;
            for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at)
                if (row <= rowCount)
                    row = row * 10 + (text[at] - '0');
            if (row >= rowCount || seen[row])
                return false;
            seen[row] = true;
            nodes.push_back({current, static_cast<int>(row)});
        } else {
            return false;
        }
    }
    if (current != -1 || nodes.empty())
        return false;
    for (bool s : seen)
        if (!s)
            return false;
    return true;
}

// The profile column of each character of a row, computed once
struct Letters {
    ProfileColumn column[256];
    Letters() {
        for (int c = 0; c < 256; ++c) {
            column[c] = ProfileColumn{};
            // Letters as read, in either case
            if (c != '-')
                nucleotideColumn(static_cast<char>(std::tolower(c)), column[c]);
        }
    }
};

const ProfileColumn& columnOf(char c) {
    static const Letters letters;
    return letters.column[static_cast<unsigned char>(c)];
}

class Refiner {
  public:
    Refiner(std::vector<std::string>& rows, std::vector<ShapeNode> nodes)
        : rows_(rows), nodes_(std::move(nodes)) {
        // Every sequence weighs the same, as in the profiles
        weights_.assign(rows_.size(), 1.0);
        score_ = score(rows_);
    }

    double current() const { return score_; }

    // Realigns the split below node `edge`; true when the result was kept.
    ResultCode realign(int edge, bool& kept) {
        kept = false;
        // Nodes come in the shape's text order, every parent before its children
        std::vector<bool> underEdge(nodes_.size(), false);
        std::vector<bool> inside(rows_.size(), false);
        for (std::size_t k = 0; k < nodes_.size(); ++k) {
            underEdge[k] =
                static_cast<int>(k) == edge || (nodes_[k].parent >= 0 && underEdge[nodes_[k].parent]);
            if (nodes_[k].row >= 0)
                inside[nodes_[k].row] = underEdge[k];
        }
        std::vector<int> columnsIn, columnsOut;
        std::vector<ProfileColumn> profileIn, profileOut;
        groupProfile(inside, true, columnsIn, profileIn);
        groupProfile(inside, false, columnsOut, profileOut);
        const int n = static_cast<int>(profileIn.size());
        const int m = static_cast<int>(profileOut.size());
        if (n == 0 || m == 0)
            return 0;
        double pairScore = 0.0;
        int k = 0;
        PairwiseWorkspace& work = mainWorkspace();
        if (const ResultCode code =
                traceSumOfPairs(work, profileIn.data(), n, profileOut.data(), m, pairScore, k))
            return code;
        const int length = n + m - 1 - k;
        if (length > longOptions.maxLength)
            return 0;
        std::vector<std::string> merged(rows_.size(), std::string(static_cast<std::size_t>(length), '-'));
        int i = 0;
        int j = 0;
        for (int c = 0; c < length; ++c) {
            const std::uint8_t step = work.alignmentPath[k + 1 + c];
            const bool takesIn = step != TRACE_LEFT;
            const bool takesOut = step != TRACE_UP;
            for (std::size_t r = 0; r < rows_.size(); ++r) {
                if (inside[r] && takesIn)
                    merged[r][c] = rows_[r][columnsIn[i]];
                else if (!inside[r] && takesOut)
                    merged[r][c] = rows_[r][columnsOut[j]];
            }
            i += takesIn;
            j += takesOut;
        }
        const double merit = score(merged);
        if (merit > score_) {
            rows_ = std::move(merged);
            score_ = merit;
            kept = true;
        }
        return 0;
    }

    // The edges: every node but the root, and but the second child of a root
    // of two, whose split is the first child's
    std::vector<int> edges() const {
        std::vector<int> chosen;
        int rootChildren = 0;
        for (const ShapeNode& node : nodes_)
            rootChildren += node.parent == 0;
        bool firstOfRoot = true;
        for (std::size_t k = 1; k < nodes_.size(); ++k) {
            if (nodes_[k].parent == 0 && rootChildren == 2) {
                if (!firstOfRoot)
                    continue;
                firstOfRoot = false;
            }
            chosen.push_back(static_cast<int>(k));
        }
        return chosen;
    }

  private:
    // The group's rows as one profile over the columns where one of them has a
    // base, each sequence weighing its share of the group.
    void groupProfile(const std::vector<bool>& inside, bool side, std::vector<int>& columns,
                      std::vector<ProfileColumn>& profile) const {
        double total = 0.0;
        for (std::size_t r = 0; r < rows_.size(); ++r)
            if (inside[r] == side)
                total += weights_[r];
        const std::size_t length = rows_.empty() ? 0 : rows_[0].size();
        for (std::size_t c = 0; c < length; ++c) {
            ProfileColumn column{};
            bool bases = false;
            for (std::size_t r = 0; r < rows_.size(); ++r) {
                if (inside[r] != side || rows_[r][c] == '-')
                    continue;
                bases = true;
                const ProfileColumn& letter = columnOf(rows_[r][c]);
                for (int x = 0; x < BASE_COUNT; ++x)
                    column.weight[x] += weights_[r] / total * letter.weight[x];
            }
            if (bases) {
                columns.push_back(static_cast<int>(c));
                profile.push_back(column);
            }
        }
    }

    double score(const std::vector<std::string>& rows) {
        const int length = rows.empty() ? 0 : static_cast<int>(rows[0].size());
        columns_.resize(rows.size());
        std::vector<WeightedRow> weighted;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            columns_[r].resize(rows[r].size());
            for (std::size_t c = 0; c < rows[r].size(); ++c)
                columns_[r][c] = columnOf(rows[r][c]);
            weighted.push_back({columns_[r].data(), static_cast<int>(rows[r].size()), weights_[r]});
        }
        return sumOfPairsOfRows(weighted, length);
    }

    std::vector<std::string>& rows_;
    std::vector<ShapeNode> nodes_;
    std::vector<double> weights_;
    std::vector<std::vector<ProfileColumn>> columns_;
    double score_ = 0.0;
};

} // namespace

ResultCode refineAlignment(std::vector<std::string>& rows, const std::string& shape, int rounds,
                           RefinementResult& result) {
    result = RefinementResult{};
    std::vector<ShapeNode> nodes;
    if (!readShape(shape, static_cast<int>(rows.size()), nodes))
        return 0;
    for (const std::string& row : rows)
        if (row.size() != rows[0].size())
            return 0;
    Refiner refiner(rows, std::move(nodes));
    result.sumOfPairs = refiner.current();
    const std::vector<int> edges = refiner.edges();
    for (int round = 0; round < rounds; ++round) {
        ++result.rounds;
        int keptThisRound = 0;
        for (int edge : edges) {
            bool kept = false;
            if (const ResultCode code = refiner.realign(edge, kept))
                return code;
            ++result.realigned;
            keptThisRound += kept;
        }
        result.kept += keptThisRound;
        result.sumOfPairs = refiner.current();
        if (keptThisRound == 0)
            break;
    }
    return 0;
}

} // namespace vorbex
