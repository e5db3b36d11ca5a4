// Alignment: pairwise profile alignment, the tree passes, gap insertion and score.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/result_code.h"
#include "input/input.h"

namespace vorbex {

constexpr int MATRIX_SIZE = MAXSEQLEN + 1;         // rows and cells per row of the DP matrices
constexpr int ALIGNED_BUFFER_SIZE = 2 * MAXSEQLEN; // longest alignment before the length check
constexpr double RUN_BONUS = 0.00001;

// Trace flags of one DP cell
constexpr std::uint8_t TRACE_UP = 1;
constexpr std::uint8_t TRACE_LEFT = 2;
constexpr std::uint8_t TRACE_DIAG = 4;

// Work storage, allocated once by allocateAlignmentStorage; cell [i][j] of a
// matrix is element i * MATRIX_SIZE + j.
extern double* scoreMatrix;
extern double* gapInFirstMatrix;
extern double* gapInSecondMatrix;
extern std::uint8_t* traceMatrix;
extern ProfileColumn* alignedBuffer1;
extern ProfileColumn* alignedBuffer2;
// The steps of the last pairwise alignment, one per column of the result from
// the first: TRACE_DIAG (a pair), TRACE_UP (a gap in the second), TRACE_LEFT
// (a gap in the first).
extern std::uint8_t* alignmentPath;

[[nodiscard]] bool allocateAlignmentStorage();

// Set only by benchmarks and tests: run the plain reference code (plain kernel,
// no work shared between candidates, one thread) that faster code must equal.
extern bool usePlainImplementation;
// Threads one pairwise alignment may use; results never depend on it.
extern int alignmentThreads;

double columnSimilarity(const ProfileColumn& a, const ProfileColumn& b);
// Aligns the working profiles of both nodes in place and gives the score.
// ERINT after the message when the alignment would pass MAXSEQLEN columns;
// the nodes are then as they were.
[[nodiscard]] ResultCode alignProfiles(TreeNode* first, TreeNode* second, double& score);

// Work shared between candidate trees. A node's built profile, its similarity
// and its children's aligned profiles depend only on the ordered subtree below
// it, so an alignment is kept under an exact key of that subtree and a node
// that meets the same subtree again is rebuilt from the kept path.
using SubtreeKey = std::uint32_t;
constexpr SubtreeKey NO_SUBTREE_KEY = 0; // not kept, never looked up

struct CachedAlignment {
    double similarity;
    int firstLength;                // columns of the first child before the alignment
    int secondLength;               // and of the second
    int length;                     // columns of the alignment
    const std::uint8_t* packedPath; // four steps a byte, first step in the low bits
};

// Pairwise alignments the forward pass ran, and nodes it built from kept ones;
// benchmarks read them, the tool's outputs never show them.
struct SharingCounters {
    long long alignmentsComputed;
    long long alignmentsReused;
};
extern SharingCounters sharingCounters;

// Default budget: 512 MiB or an eighth of physical memory, the smaller.
std::size_t defaultSubtreeCacheBudget();
// Bytes the cache may hold: keys and kept alignments together. A smaller
// budget than the current use drops the least recently used alignments.
void setSubtreeCacheBudget(std::size_t bytes);
std::size_t subtreeCacheBytes();
int subtreeCacheEntries();
// Forgets every key and alignment (a new run: the leaves are new).
void clearSubtreeCache();

SubtreeKey leafSubtreeKey(const TreeNode* leaf);
// The key of the ordered pair (first, second); NO_SUBTREE_KEY when either is.
SubtreeKey pairSubtreeKey(SubtreeKey first, SubtreeKey second);
// True, with the alignment, when the key has one kept; it becomes the most recently used.
bool findCachedAlignment(SubtreeKey key, CachedAlignment& found);
// Keeps the alignment just computed (its path in alignmentPath) when the
// budget has room for it, making room by dropping the least recently used.
void storeAlignment(SubtreeKey key, double similarity, int firstLength, int secondLength, int length);
// Gives both children the working profiles the kept alignment produced, from
// their saved profiles.
void rebuildAlignedChildren(const CachedAlignment& alignment, TreeNode* first, TreeNode* second);

// ERINT when an alignment passes MAXSEQLEN; the candidate is then unfinished.
[[nodiscard]] ResultCode traceForward();
void traceBackward();

struct AlignmentScore {
    int MA_length;
    int Conserv0;
    int Conserv1;
    double ConsIndex;
};

extern int trimPosition;
int insertGapSymbols();
AlignmentScore scoreAlignment();
void writeCandidateSummary(int candidateNumber, const AlignmentScore& score);

} // namespace vorbex
