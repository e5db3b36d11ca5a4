#include "search/child_distances.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <limits>
#include <string>

namespace vorbex {

namespace {

constexpr int WORD_COUNT = 1 << (2 * WORD_LENGTH);

int baseIndex(char c) {
    switch (c) {
    case 'a':
        return 0;
    case 'c':
        return 1;
    case 'g':
        return 2;
    case 't':
    case 'u':
        return 3;
    default:
        return -1;
    }
}

// Adds the shares of the sequence's words to `profile`; false when it has none
bool addWordShares(const char* text, std::vector<double>& profile) {
    std::vector<double> counts(WORD_COUNT, 0.0);
    double total = 0.0;
    int word = 0;
    int valid = 0; // letters of the current word that are bases
    for (const char* c = text; c != nullptr && *c != '\0'; ++c) {
        const int base = baseIndex(*c);
        if (base < 0) {
            valid = 0;
            continue;
        }
        word = ((word << 2) | base) & (WORD_COUNT - 1);
        if (++valid >= WORD_LENGTH) {
            counts[static_cast<std::size_t>(word)] += 1.0;
            total += 1.0;
        }
    }
    if (total == 0.0)
        return false;
    for (int w = 0; w < WORD_COUNT; ++w)
        profile[static_cast<std::size_t>(w)] += counts[static_cast<std::size_t>(w)] / total;
    return true;
}

// The first `most` leaves below the node, depth first
std::vector<const TreeNode*> leavesBelow(const TreeNode* node, int most) {
    std::vector<const TreeNode*> leaves;
    std::vector<const TreeNode*> pending = {node};
    while (!pending.empty() && static_cast<int>(leaves.size()) < most) {
        const TreeNode* at = pending.back();
        pending.pop_back();
        if (at->childCount == 0)
            leaves.push_back(at);
        for (int i = at->childCount - 1; i >= 0; --i)
            pending.push_back(childrenOf(at)[i]);
    }
    return leaves;
}

// The mean word profile of the sequences below `node`
std::vector<double> meanWordProfile(const TreeNode* node) {
    std::vector<double> profile(WORD_COUNT, 0.0);
    double sequences = 0.0;
    for (const TreeNode* leaf : leavesBelow(node, std::numeric_limits<int>::max()))
        sequences += addWordShares(leaf->sourceText, profile) ? 1.0 : 0.0;
    if (sequences > 0.0)
        for (double& share : profile)
            share /= sequences;
    return profile;
}

// A leaf's row in the alignment standing: its letters, '-' in its gap columns
std::string alignedRowOf(const TreeNode* leaf) {
    const int columns = std::min(workTextLength(leaf), leaf->workLength);
    std::string row(static_cast<std::size_t>(std::max(columns, 0)), '-');
    for (int i = 0; i < columns; ++i)
        if (!isGapColumnOf(leaf, i))
            row[static_cast<std::size_t>(i)] = static_cast<char>(std::tolower(leaf->workText[i]));
    return row;
}

double differingShare(const std::string& a, const std::string& b) {
    double both = 0.0;
    double differing = 0.0;
    const std::size_t columns = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < columns; ++i)
        if (a[i] != '-' && b[i] != '-') {
            both += 1.0;
            differing += a[i] != b[i] ? 1.0 : 0.0;
        }
    return both > 0.0 ? differing / both : 1.0;
}

} // namespace

std::vector<std::vector<double>> alignedChildDistances(const TreeNode* polytomic) {
    const std::size_t order = static_cast<std::size_t>(polytomic->childCount);
    std::vector<std::vector<std::string>> rows(order);
    for (std::size_t a = 0; a < order; ++a)
        for (const TreeNode* leaf : leavesBelow(childrenOf(polytomic)[a], ALIGNED_SAMPLE_LEAVES))
            rows[a].push_back(alignedRowOf(leaf));
    std::vector<std::vector<double>> distances(order, std::vector<double>(order, 0.0));
    for (std::size_t a = 0; a < order; ++a)
        for (std::size_t b = a + 1; b < order; ++b) {
            double sum = 0.0;
            for (const std::string& rowA : rows[a])
                for (const std::string& rowB : rows[b])
                    sum += differingShare(rowA, rowB);
            const double pairs = static_cast<double>(rows[a].size() * rows[b].size());
            distances[a][b] = distances[b][a] = pairs > 0.0 ? sum / pairs : 1.0;
        }
    return distances;
}

std::vector<std::vector<double>> childDistances(const TreeNode* polytomic) {
    const std::size_t order = static_cast<std::size_t>(polytomic->childCount);
    std::vector<std::vector<double>> profiles;
    for (std::size_t a = 0; a < order; ++a)
        profiles.push_back(meanWordProfile(childrenOf(polytomic)[a]));
    std::vector<std::vector<double>> distances(order, std::vector<double>(order, 0.0));
    for (std::size_t a = 0; a < order; ++a)
        for (std::size_t b = a + 1; b < order; ++b) {
            double sum = 0.0;
            for (int w = 0; w < WORD_COUNT; ++w)
                sum += std::fabs(profiles[a][static_cast<std::size_t>(w)] -
                                 profiles[b][static_cast<std::size_t>(w)]);
            distances[a][b] = distances[b][a] = 0.5 * sum;
        }
    return distances;
}

} // namespace vorbex
