// Tree and sequence input: the node record, the node table, nucleotide codes,
// the NEWICK reader and writer and the FASTA reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/settings.h"

namespace vorbex {

constexpr int MAX_TREE_NAME_LENGTH = 254; // longest name or label the tree reader takes
constexpr int CHILD_SLOTS = 32;
constexpr int MAX_CHILDREN = CHILD_SLOTS - 1;
// The node table's entries (--max-nodes); the tree file's text, terminator
// included, grows with them from 250000 chars at the default
int nodeTableSize();
std::size_t treeTextSize();
// Room for the NEWICK text of any tree that fits the table: per node at most
// its name, "(" and ")" and one comma.
std::size_t newickTextSize();
constexpr double TOLERANCE = 1e-8;

enum Base { BASE_A = 0, BASE_C = 1, BASE_G = 2, BASE_T = 3 };
constexpr int BASE_COUNT = 4;

// Weights of A, C, G and T; all zero stands for a gap.
struct ProfileColumn {
    double weight[BASE_COUNT];
};

// Roles of a node in a candidate's passes: in a subtree no polytomy reaches
// (settled), the top of one, below a kept top (inside: the passes leave it
// alone), a leaf whose final text was gathered.
constexpr std::uint8_t SETTLED_NODE = 1;
constexpr std::uint8_t SETTLED_TOP = 2;
constexpr std::uint8_t SETTLED_INSIDE = 4;
constexpr std::uint8_t SETTLED_GATHERED = 8;

struct TreeNode {
    TreeNode* parent;
    char name[NAME_SIZE];
    int serial;
    int childCount;
    int depth;
    int variantCount;
    int workLength;
    int savedLength;
    TreeNode* children[CHILD_SLOTS];
    // All the children of a node of more than its slots hold (the root of a
    // star tree, a large polytomy under the heuristic search), in their
    // order; nullptr for any other node
    TreeNode** manyChildren;
    char* workText;
    char* sourceText;
    ProfileColumn* workProfile;
    ProfileColumn* savedProfile;
    int columnRoom; // columns each profile holds
    int textRoom;   // chars workText holds, its terminator included
    // Once a node's weights are spent (light passes), what the backward pass
    // still reads of its columns: COLUMN_ flags of the working and the saved
    // profile, which are then freed. nullptr while it has its profiles.
    std::uint8_t* workFlags;
    std::uint8_t* savedFlags;
    int flagRoom; // columns each flag array holds
    TreeNode* twin;
    // What the tree passes make of the node in the current candidate: SETTLED_ bits
    std::uint8_t settledRole;
    int firstBaseColumn; // of a leaf whose text they gathered
};

// A node's children: its slots, or its many children
inline TreeNode* const* childrenOf(const TreeNode* node) {
    return node->manyChildren != nullptr ? node->manyChildren : node->children;
}
inline TreeNode** childrenOf(TreeNode* node) {
    return node->manyChildren != nullptr ? node->manyChildren : node->children;
}

// The nodes of the current tree in processing order: leaves first, then every
// inner node before its parent, the root last.
// Its room grows with the trees met, up to nodeTableSize() (checkTableRoom).
extern TreeNode** nodeTable;
extern int nodeCount;
extern int leafCount;
extern TreeNode* rootNode;
// Counts the tables started (resetNodeTable): what is kept of nodes by address
// is worth nothing in a later one.
extern int nodeTableGeneration;
// Counts the orders the table was given (resetNodeTable, sortNodeTable, and
// entries removed): what is kept of its entries by position is worth nothing
// in a later one.
extern int nodeTableOrder;
extern int maxNameLength;
// The longest sequence read; then, for the run, the columns new profiles are
// given (raised with the longest alignment met).
extern int columnCapacity;
// The room of a run's profiles from its longest sequence: two and a half
// times it, the fraction dropped, at most `longest` allowed.
int scaledColumnCapacity(int longestSequence, int longestAlignment);

// Node record and table
TreeNode* createNode();
void releaseNode(TreeNode* node);
// -1 when a goes first, +1 when b goes first; never 0 for distinct nodes.
int compareNodes(const TreeNode* a, const TreeNode* b);
void sortNodeTable(int count);
// 0 when a table of `count` entries fits; otherwise reports the limit on both
// outputs and returns ERTREE. The one guard in front of every table write.
[[nodiscard]] int checkTableRoom(int count);
// Node buffers grow with the alignments that pass through them, never past
// what they are asked for: memory follows the data. Each keeps its contents
// and is zero-filled beyond them; false when memory is exhausted, with the
// node as it was. Freed by releaseNode.
// Both profiles to at least `columns` columns (allocated when absent).
[[nodiscard]] bool reserveProfiles(TreeNode* node, int columns);
// The working text to at least `chars` chars, its terminator included.
[[nodiscard]] bool reserveWorkText(TreeNode* node, int chars);
// Chars of the working text before its terminator; stale characters of an
// earlier candidate may follow it.
int workTextLength(const TreeNode* node);
// Both flag arrays to at least `columns` columns, as reserveProfiles.
[[nodiscard]] bool reserveFlags(TreeNode* node, int columns);
// Light passes: a node's profiles become its flags and are freed; false,
// with the node as it was, when memory is exhausted.
[[nodiscard]] bool spendProfiles(TreeNode* node);
// Light passes keep no profile longer than it is needed, when nothing is
// dumped. The reader keeps a leaf's letters only, whose columns become its
// profiles when it is first aligned, and an aligned node's weights become
// flags. Set before reading. Across candidates, only a settled subtree's
// inner nodes keep their profiles (the settled subtrees reuse them).
extern bool lightPasses;
// A leaf back to its source data for a new candidate: its letters, and its
// profile where it keeps one; a spent leaf drops its flags and gets its
// profiles from its letters when it is next aligned.
void resetLeaf(TreeNode* leaf);
// A leaf's profiles from its letters, unless it has them (or its flags).
[[nodiscard]] bool restoreLeafProfiles(TreeNode* leaf);
void releaseFlags(TreeNode* node);
// Frees both profiles: what the node holds is kept elsewhere, or made again.
void releaseProfiles(TreeNode* node);
// Gives a node both profiles of columnCapacity columns, each only when absent.
[[nodiscard]] bool allocateProfiles(TreeNode* node);
// A node's `sourceText` and working text, both holding the `length` chars of
// `text` and a terminator.
[[nodiscard]] bool storeTexts(TreeNode* node, const char* text, int length);
// Names an unlabelled inner node: NODE and its serial, three digits at least.
void nameInnerNode(TreeNode* node);
// Forgets the whole table and its counters (start of a run, and tests).
void resetNodeTable();
// Frees every node that hangs from the root, directly or through the twin of a
// replaced polytomic node, and forgets the table. The tool leaves this to the
// end of the process; tests and fuzzers that run many trees need it.
void releaseTree();

// Nucleotide codes: fills `column` and returns 0 for a lower-case IUPAC code,
// leaves it all zero and returns -1 for anything else.
int nucleotideColumn(char c, ProfileColumn& column);
bool isGapColumn(const ProfileColumn& column);
// Some weight above the tolerance: not quite the opposite of a gap column
bool hasRealWeight(const ProfileColumn& column);
constexpr std::uint8_t COLUMN_GAP = 1;  // isGapColumn
constexpr std::uint8_t COLUMN_REAL = 2; // hasRealWeight
std::uint8_t columnFlags(const ProfileColumn& column);
// Whether column c of the node's working profile is a gap, read from its
// flags when its weights are spent
inline bool isGapColumnOf(const TreeNode* node, int c) {
    return node->workFlags != nullptr ? (node->workFlags[c] & COLUMN_GAP) != 0
                                      : isGapColumn(node->workProfile[c]);
}
// The same of its saved profile
inline bool isSavedGapColumnOf(const TreeNode* node, int c) {
    return node->savedFlags != nullptr ? (node->savedFlags[c] & COLUMN_GAP) != 0
                                       : isGapColumn(node->savedProfile[c]);
}
// Columns the node's working profile, or its flags, can hold
inline int workColumnRoom(const TreeNode* node) {
    return node->workFlags != nullptr ? node->flagRoom : node->columnRoom;
}
bool isDefiniteColumn(const ProfileColumn& column);

// Tree reader and writer
[[nodiscard]] int readTree();
// Writes the subtree of `node` as NEWICK text from `out`, terminates it and
// returns the position of the terminator; nullptr when it would pass `end`.
char* writeNewick(const TreeNode* node, char* out, const char* end);
// The tree as one line of the report: its NEWICK text and ";". `text` has room
// for newickTextSize() characters. ERINT after a message when the text would
// not fit, which no tree that fits the table does.
[[nodiscard]] int echoTree(const TreeNode* root, char* text);

// Sequence reader
[[nodiscard]] int readSequences();

// The star tree of --star-tree, in place of readTree: its root, then a leaf
// for each new name the sequence reader meets (nullptr, with the code, when
// the table is full or memory exhausted), then its census line; ERTREE after
// a message when it has fewer than 2 leaves.
[[nodiscard]] int startStarTree();
TreeNode* addStarLeaf(const char* name, int& code);
[[nodiscard]] int finishStarTree();

// A record of the sequence file as it stood, for the result files: the
// stored text is lower case and nameless.
struct SequenceRecord {
    std::string header;  // the whole header line, ">" included, without its line end
    std::string name;    // the name as read from the header
    std::string letters; // the sequence's characters, case kept, "-", "_" and "=" dropped
    const TreeNode* node;
};
// The records stored on a node, in the file's order.
extern std::vector<SequenceRecord> sequenceRecords;

} // namespace vorbex
