// The DP kernels behind alignProfiles: the plain one and the vector ones, all
// filling traceMatrix with the same flags and returning the same corner score.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/result_code.h"
#include "input/input.h"
#include "pairwise/stripe_pool.h"

namespace vorbex {

enum class KernelKind { Plain, Avx2, Avx512 };

// Costs and weights of one alignment, read from runSettings once.
struct KernelSettings {
    double gapOpen;
    double gapExtend;
    double weights[BASE_COUNT];
    int workMode;
};

KernelSettings currentKernelSettings();

// Room for a stripe's overhang beyond either end of a profile
constexpr int STRIPE_PAD = 64;
// Rows of one stripe of the widest kernel: lanes times vectors
constexpr int MAX_STRIPE_ROWS = 16;

// What the stripes of a vector kernel read and write besides traceMatrix,
// for the alignment reserveAlignmentStorage was last given.
struct StripeBuffers {
    double* first[BASE_COUNT];  // the first profile by base: n + STRIPE_PAD
    double* second[BASE_COUNT]; // the second by base, reversed: m + 3 * STRIPE_PAD
    double* leftEdge;           // score of column 0, row by row: n + STRIPE_PAD
    // S, V and the pair flag of the row above a stripe, two rows: m + STRIPE_PAD
    double* rowS[2];
    double* rowV[2];
    long long* rowPair[2];
    // Skewed flags of one stripe, per thread: (m + STRIPE_PAD) * MAX_STRIPE_ROWS
    std::uint8_t* flags[MAX_ALIGNMENT_THREADS];
};
extern thread_local constinit StripeBuffers stripeBuffers;
// The same, for the vector kernels, from outside their files: GCC 12 with
// -fsanitize=null tests a thread-local object's address inlined there on
// flags of another comparison, and stops a sound run.
StripeBuffers& threadStripeBuffers();

// Bytes of work storage an n x m alignment needs with the kernel.
double alignmentStorageBytes(KernelKind kind, int n, int m);
// Grows the work storage to an n x m alignment with the kernel on up to
// `threads` threads; false when memory is exhausted. The kernels call it
// themselves; alignProfilesWith first, to report a failure.
[[nodiscard]] bool reserveAlignmentStorage(KernelKind kind, int n, int m, int threads);
// The trace matrix, the two aligned buffers and the path alone, for the
// sum-of-pairs alignment; false when memory is exhausted.
[[nodiscard]] bool reserveTraceStorage(int n, int m);
// Gives this thread's work storage back to the system: a thread that has
// done its share of alignments, so that the run's peak memory is its
// largest alignment's on one thread.
void releaseWorkStorage();
// The two aligned buffers and the path alone, for an alignment found on
// another thread; false when memory is exhausted.
[[nodiscard]] bool reservePathStorage(int n, int m);
// The same with the flags of the diagonals lowest .. highest only (lowest <= 0
// <= highest), for a band fill, and `scratchBytes` after them for the fill's
// own rows, at bandScratch: the pages a whole matrix of the same profiles
// would take; false when memory is exhausted.
[[nodiscard]] bool reserveBandTraceStorage(int n, int m, int lowest, int highest, std::size_t scratchBytes);
extern thread_local constinit void* bandScratch;

// After a traceback that filled the aligned buffers and the path from
// position n + m - 1 down to k + 1: checks the length against --max-length,
// gives both nodes the aligned columns and moves the path to its start.
// ERINT or ERMEM after a message, the nodes as they were.
[[nodiscard]] ResultCode keepAlignedColumns(TreeNode* first, TreeNode* second, int k);
// ERMEM after the message that an n x m alignment's work storage cannot be had.
[[nodiscard]] ResultCode noRoomForAlignment(int n, int m);
// Profile against profile by the weighted sum of pairs (--scoring=sp).
[[nodiscard]] ResultCode alignBySumOfPairs(TreeNode* first, TreeNode* second, double& score);

// What the stripes of a sum-of-pairs vector kernel read and write besides
// traceMatrix and the flags of stripeBuffers. Row i of the first profile at
// index i - 1 and zero past the end (n + STRIPE_PAD); the second profile's
// columns reversed as in StripeBuffers (m + 3 * STRIPE_PAD).
struct SumOfPairsBuffers {
    double* first[BASE_COUNT];
    // What a gap facing row i costs to open, to extend, to extend at an end
    double *firstOpen, *firstExtend, *firstEndExtend;
    double* firstGapFactor; // its gaps and the gaps it begins, against a base
    double* leftGap;        // the gap state of column 0, row i at index i
    // The expected score of base x against the column, and its gap costs:
    // a base against a gap, and a gap state's opening and extension
    double* second[BASE_COUNT];
    double *secondOpen, *secondExtend, *secondGapExtend, *secondEndExtend;
    // The three states of the row above a stripe, two rows: m + STRIPE_PAD
    double* rowPair[2];
    double* rowGapInSecond[2];
    double* rowGapInFirst[2];
};
extern thread_local constinit SumOfPairsBuffers sumOfPairsBuffers;
// The same, for the vector kernels (see threadStripeBuffers)
SumOfPairsBuffers& threadSumOfPairsBuffers();

// What a thread's alignment reads and writes, as the pool threads sharing
// one of its alignments take it.
struct WorkStorage {
    std::uint8_t* trace;
    std::size_t stride;
    std::size_t offset;
    StripeBuffers stripes;
    SumOfPairsBuffers sumOfPairs;
};
WorkStorage currentWorkStorage();

// A pool thread working on another thread's alignment uses that thread's
// work storage for the while; the calling thread (0) keeps its own.
class BorrowedStorage {
  public:
    BorrowedStorage(const WorkStorage& caller, int thread);
    ~BorrowedStorage();
    BorrowedStorage(const BorrowedStorage&) = delete;
    BorrowedStorage& operator=(const BorrowedStorage&) = delete;

  private:
    WorkStorage own_;
    bool borrowed_;
};

// Grows the work storage to an n x m sum-of-pairs alignment with the kernel
// on up to `threads` threads; false when memory is exhausted.
[[nodiscard]] bool reserveSumOfPairsStorage(KernelKind kind, int n, int m, int threads);

// The three states of the corner cell of a sum-of-pairs fill: a pair, a
// column of the first profile against a gap, one of the second against a gap.
struct SumOfPairsCorner {
    double pair;
    double gapInSecond;
    double gapInFirst;
};

// Each fills traceMatrix rows 0..n, columns 0..m with the sum-of-pairs flags
// and returns the corner's states (NaN when its work storage cannot be had).
// The vector ones use up to `threads` threads, with the same result for any number.
SumOfPairsCorner fillSumOfPairsPlain(const ProfileColumn* columns1, int n, const ProfileColumn* columns2,
                                     int m);
SumOfPairsCorner fillSumOfPairsAvx2(const ProfileColumn* columns1, int n, const ProfileColumn* columns2,
                                    int m, int threads = 1);
SumOfPairsCorner fillSumOfPairsAvx512(const ProfileColumn* columns1, int n, const ProfileColumn* columns2,
                                      int m, int threads = 1);

// True when this processor can run the kernel.
bool kernelAvailable(KernelKind kind);
// The kernel alignProfiles uses: the plain one when usePlainImplementation is
// set, otherwise the widest one the processor runs.
KernelKind selectedKernel();

// Each fills traceMatrix rows 0..n, columns 0..m for the first profile down
// and the second across, and returns the score of cell [n][m] (NaN when its
// work storage cannot be had). The plain one also fills the three score
// matrices. The vector ones use up to `threads` threads, with the same result
// for any number.
double fillPlainKernel(const KernelSettings& s, const ProfileColumn* columns1, int n,
                       const ProfileColumn* columns2, int m);
double fillAvx2Kernel(const KernelSettings& s, const ProfileColumn* columns1, int n,
                      const ProfileColumn* columns2, int m, int threads = 1);
double fillAvx512Kernel(const KernelSettings& s, const ProfileColumn* columns1, int n,
                        const ProfileColumn* columns2, int m, int threads = 1);

// Cells the pairwise DP computed, and those of the matrices it aligned: what
// the benchmarks report.
struct CellCounts {
    double computed; // band fills included
    double inBands;  // band fills, proven or not
    double bounded;  // of the DP bounding the cells outside bands
    double matrix;
};
extern thread_local constinit CellCounts cellCounts;

// alignProfiles with the given kernel, which must be available.
[[nodiscard]] ResultCode alignProfilesWith(KernelKind kind, TreeNode* first, TreeNode* second, double& score);

} // namespace vorbex
