#include "search/topology.h"

#include <algorithm>
#include <cstddef>
#include <set>

namespace vorbex {

namespace {

int topNode(const Topology& t) {
    return 2 * t.order - 2;
}

bool isChild(const Topology& t, int node) {
    return node < t.order;
}

std::size_t joinOf(const Topology& t, int node) {
    return static_cast<std::size_t>(node - t.order);
}

// The lowest child below each node, which decides the order of its sides
int lowestChild(const Topology& t, int node, std::vector<int>& lowest) {
    if (isChild(t, node))
        return node;
    int& known = lowest[joinOf(t, node)];
    if (known < 0)
        known = std::min(lowestChild(t, t.left[joinOf(t, node)], lowest),
                         lowestChild(t, t.right[joinOf(t, node)], lowest));
    return known;
}

// Letters for the tables' texts; numbers, each closed by a comma, for keys
void writeSides(const Topology& t, int node, std::vector<int>& lowest, bool letters, std::string& text) {
    int first = t.left[joinOf(t, node)];
    int second = t.right[joinOf(t, node)];
    if (lowestChild(t, second, lowest) < lowestChild(t, first, lowest))
        std::swap(first, second);
    for (const int side : {first, second}) {
        if (isChild(t, side) && letters) {
            text += static_cast<char>('A' + side);
        } else if (isChild(t, side)) {
            text += std::to_string(side);
            text += ',';
        } else {
            text += '(';
            writeSides(t, side, lowest, letters, text);
            text += ')';
        }
    }
}

// Parses one side at `at`: a letter or a parenthesised pair; -1 when malformed
int readSide(const std::string& text, std::size_t& at, Topology& t, std::vector<bool>& used) {
    if (at >= text.size())
        return -1;
    const char c = text[at++];
    if (c >= 'A' && c < 'A' + t.order) {
        const int child = c - 'A';
        if (used[static_cast<std::size_t>(child)])
            return -1;
        used[static_cast<std::size_t>(child)] = true;
        return child;
    }
    if (c != '(')
        return -1;
    const int first = readSide(text, at, t, used);
    const int second = readSide(text, at, t, used);
    if (first < 0 || second < 0 || at >= text.size() || text[at++] != ')')
        return -1;
    t.left.push_back(first);
    t.right.push_back(second);
    // The top keeps the last index: inner nodes are numbered as they close
    return t.order + static_cast<int>(t.left.size()) - 1;
}

} // namespace

std::string topologyTextOf(const Topology& topology) {
    std::string text;
    if (topology.order < 2)
        return text;
    std::vector<int> lowest(static_cast<std::size_t>(topology.order - 1), -1);
    text.reserve(static_cast<std::size_t>(3 * topology.order - 4));
    writeSides(topology, topNode(topology), lowest, true, text);
    return text;
}

std::string topologyKeyOf(const Topology& topology) {
    std::string key;
    if (topology.order < 2)
        return key;
    std::vector<int> lowest(static_cast<std::size_t>(topology.order - 1), -1);
    writeSides(topology, topNode(topology), lowest, false, key);
    return key;
}

Topology topologyFromText(const std::string& text, int order) {
    Topology t;
    t.order = order;
    std::vector<bool> used(static_cast<std::size_t>(order > 0 ? order : 0), false);
    std::size_t at = 0;
    const int first = order >= 2 ? readSide(text, at, t, used) : -1;
    const int second = first >= 0 ? readSide(text, at, t, used) : -1;
    if (second < 0 || at != text.size() || t.left.size() + 2 != static_cast<std::size_t>(order))
        return Topology{};
    t.left.push_back(first);
    t.right.push_back(second);
    return t;
}

std::vector<Topology> interchangeNeighbours(const Topology& topology) {
    const Topology& t = topology;
    std::vector<int> parent(static_cast<std::size_t>(2 * t.order - 1), -1);
    for (std::size_t j = 0; j < t.left.size(); ++j) {
        parent[static_cast<std::size_t>(t.left[j])] = t.order + static_cast<int>(j);
        parent[static_cast<std::size_t>(t.right[j])] = t.order + static_cast<int>(j);
    }
    std::vector<Topology> neighbours;
    std::set<std::string> texts = {topologyKeyOf(t)};
    for (int node = t.order; node < topNode(t); ++node) {
        const std::size_t up = joinOf(t, parent[static_cast<std::size_t>(node)]);
        const bool onLeft = t.left[up] == node;
        for (const bool swapLeft : {true, false}) {
            Topology next = t;
            int& side = swapLeft ? next.left[joinOf(t, node)] : next.right[joinOf(t, node)];
            int& sibling = onLeft ? next.right[up] : next.left[up];
            std::swap(side, sibling);
            if (texts.insert(topologyKeyOf(next)).second)
                neighbours.push_back(std::move(next));
        }
    }
    return neighbours;
}

Topology averageLinkageTopology(const std::vector<std::vector<double>>& distances) {
    Topology t;
    t.order = static_cast<int>(distances.size());
    std::vector<int> node(distances.size());
    std::vector<double> size(distances.size(), 1.0);
    for (std::size_t a = 0; a < node.size(); ++a)
        node[a] = static_cast<int>(a);
    std::vector<std::vector<double>> d = distances;
    // Clusters still open, by their first member's index
    std::vector<std::size_t> open(node.size());
    for (std::size_t a = 0; a < open.size(); ++a)
        open[a] = a;
    while (open.size() > 1) {
        std::size_t bestA = 0;
        std::size_t bestB = 1;
        for (std::size_t a = 0; a < open.size(); ++a)
            for (std::size_t b = a + 1; b < open.size(); ++b)
                if (d[open[a]][open[b]] < d[open[bestA]][open[bestB]])
                    bestA = a, bestB = b;
        const std::size_t x = open[bestA];
        const std::size_t y = open[bestB];
        t.left.push_back(node[x]);
        t.right.push_back(node[y]);
        node[x] = t.order + static_cast<int>(t.left.size()) - 1;
        for (const std::size_t z : open)
            if (z != x && z != y)
                d[x][z] = d[z][x] = (d[x][z] * size[x] + d[y][z] * size[y]) / (size[x] + size[y]);
        size[x] += size[y];
        open.erase(open.begin() + static_cast<std::ptrdiff_t>(bestB));
    }
    return t;
}

Topology randomTopology(int order, std::mt19937_64& random) {
    Topology t;
    t.order = order;
    std::vector<int> open;
    for (int child = 0; child < order; ++child)
        open.push_back(child);
    while (open.size() > 1) {
        const std::size_t a = static_cast<std::size_t>(random() % open.size());
        const int first = open[a];
        open.erase(open.begin() + static_cast<std::ptrdiff_t>(a));
        const std::size_t b = static_cast<std::size_t>(random() % open.size());
        t.left.push_back(first);
        t.right.push_back(open[b]);
        open[b] = order + static_cast<int>(t.left.size()) - 1;
    }
    return t;
}

} // namespace vorbex
