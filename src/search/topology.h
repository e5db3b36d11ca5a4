// A binary resolution of one polytomy: a rooted binary tree over its
// children 0 .. order - 1, with the rearrangements the search makes of it.
#pragma once

#include <random>
#include <string>
#include <vector>

#include "resolve/resolve.h"

namespace vorbex {

// The topology text the candidate builder reads: the polytomic node's two
// sides, each a child's letter or "(" both of its sides ")", the side
// holding the lowest letter first at every node, as the resolution tables
// write them.
std::string topologyTextOf(const Topology& topology);
// The same without letters, for any order: one key per resolution.
std::string topologyKeyOf(const Topology& topology);
// The topology a text of `order` children describes; order 0 when it is no
// such text.
Topology topologyFromText(const std::string& text, int order);

// The resolutions one nearest-neighbour interchange away: at each inner node
// below the top, either of its sides changes places with its sibling. In
// that order, without repeats; none equals the topology itself.
std::vector<Topology> interchangeNeighbours(const Topology& topology);

// Joins the children by average linkage (UPGMA) of their distances
// (`distances[a][b]`, symmetric); the closest pair first, ties to the lowest
// indexes.
Topology averageLinkageTopology(const std::vector<std::vector<double>>& distances);

// A random resolution: two open groups joined at a time, drawn by `random`.
Topology randomTopology(int order, std::mt19937_64& random);

} // namespace vorbex
