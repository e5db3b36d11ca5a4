// Tree resolution: pruning and census, resolution tables, candidate trees.
#pragma once

#include <string>
#include <vector>

#include "input/input.h"

namespace vorbex {

// The exhaustive search's limits; the heuristic search has none but the
// node table's and the tree reader's.
constexpr int MAX_POLYTOMIC_NODES = 8;
// The largest order whose resolution count fits a 32-bit count: 19!! for 11.
constexpr int MAX_POLYTOMY_ORDER = 11;
// The heuristic search enumerates a polytomy's resolutions up to this order
// (945 of them) and builds their tables only so far.
constexpr int MAX_ENUMERATED_ORDER = 6;

// Census of the actual tree, polytomic nodes in table order from the root down
extern std::vector<TreeNode*> polytomicNodes;
extern int polytomicCount;
extern int maxPolytomyOrder;
extern double treesToTry;

double factorial(int n);
// (2k-3)!! rooted binary topologies over k children, in double precision.
double resolutionCount(int order);
[[nodiscard]] int pruneTree();

// Resolution tables: per order, topologyCount topologies over the letters A, B, ...
extern int topologyCount[CHILD_SLOTS];
// Room for the topology text of any order, with its terminator.
constexpr int TOPOLOGY_TEXT_SIZE = 3 * CHILD_SLOTS;
// Writes entry `index` of the table of `order` into `text`: 3k-4 characters
// and the terminator. False when that order is not built or has no such entry.
bool topologyText(int order, int index, char* text);
// A child's letter in a topology text (the rest are "(" and ")").
bool isChildLetter(char c);
// Within the machine's physical memory.
[[nodiscard]] int buildResolutionTables();
// The same within `memoryBytes`: an order whose tables, with those of the
// smaller orders, would need more is refused with a message and ERMEM before
// anything is allocated. Orders already built are kept.
[[nodiscard]] int buildResolutionTables(double memoryBytes);
// Bytes that the tables of orders 3 to `order` hold: two numbers per split of each order.
double resolutionTableBytes(int order);
// Frees every table (tests).
void releaseResolutionTables();

// Candidate trees
extern int baseSerial;
extern int candidateNodeCount;
// 0: a candidate stands; -1: all tried, actual tree restored (and on every
// later call); else a ResultCode.
int nextCandidateTree();
// Candidate `number` (from 1, in the order nextCandidateTree gives them) built
// at once, in place of the one standing: 0, NO_MORE_CANDIDATES beyond the
// last, or a ResultCode. nextCandidateTree then goes on from it.
int candidateTreeAt(int number);
// A binary resolution of one polytomy: nodes 0 .. order - 1 are its
// children, inner node order + j joins left[j] and right[j], and the last
// inner node stands for the polytomic node.
struct Topology {
    int order = 0;
    std::vector<int> left;
    std::vector<int> right;
    bool operator==(const Topology&) const = default;
};
// The candidate whose polytomic node i is resolved by topologies[i], built
// in place of the one standing: 0 or a ResultCode. Each inner node takes
// first the side that holds the lowest child, and the nodes are made in
// preorder, as for the topology texts of the tables, so that the same
// resolution gives the same candidate either way.
int candidateTreeOf(const std::vector<Topology>& topologies);
// Tears down the candidate standing, if any: the actual tree stands again.
int restoreActualTree();
// Back to the state before the first call (tests); frees no node.
void resetCandidateBuilder();
// Forgets the census, the tables and the candidate builder's state, so that
// another tree can be resolved in the same process (tests and fuzzers).
void releaseResolution();

} // namespace vorbex
