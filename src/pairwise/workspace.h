// What one thread's pairwise alignments work in: the storage, grown to the
// largest alignment met so far, and the choices the DP runs by. Each thread
// that aligns has its own; the pool threads sharing one alignment work in
// their caller's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "input/input.h"
#include "pairwise/stripe_pool.h"

namespace vorbex {

enum class KernelKind { Plain, Avx2, Avx512 };

// How the pairwise DP runs; the results never depend on them.
struct PairwiseChoices {
    // The plain reference code that faster code must equal: the plain kernel,
    // one thread, no work shared between candidates
    bool plain = false;
    // A proven band before the whole matrix; cleared only by benchmarks
    bool diagonalBand = true;
    // Threads one alignment may use (a run sets them from --threads)
    int threads = 1;
    // Every node keeps its profiles to the end of a candidate, as the light
    // passes' reference (the plain code always does)
    bool wholeProfiles = false;
};

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

// What the stripes of a sum-of-pairs vector kernel read and write besides
// traceMatrix and the flags of StripeBuffers. Row i of the first profile at
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

// Upper bounds on what the whole matrix gives the cell just above a band in
// row i and the cell just left of it (see band_fill.h).
struct EdgeBounds {
    std::vector<double> above;
    std::vector<double> below;
};

// Cells the pairwise DP computed, and those of the matrices it aligned: what
// the benchmarks report.
struct CellCounts {
    double computed; // band fills included
    double inBands;  // band fills, proven or not
    double bounded;  // of the DP bounding the cells outside bands
    double matrix;
};

// A block of at least `bytes` of its own pages, dropped and mapped afresh when
// it must grow (its contents are not kept): the pages of a smaller one go
// back to the system at once, and those never written cost nothing.
class WorkBlock {
  public:
    void* data = nullptr;
    bool reserve(std::size_t wanted);
    void release();

  private:
    bool map(std::size_t wanted);
    std::size_t bytes_ = 0;
};

// Bytes of work storage an n x m alignment needs with the kernel.
double alignmentStorageBytes(KernelKind kind, int n, int m);

class PairwiseWorkspace {
  public:
    PairwiseWorkspace() = default;
    explicit PairwiseWorkspace(const PairwiseChoices& chosen) : choices(chosen) {}
    ~PairwiseWorkspace() { releaseWorkStorage(); }
    PairwiseWorkspace(const PairwiseWorkspace&) = delete;
    PairwiseWorkspace& operator=(const PairwiseWorkspace&) = delete;

    PairwiseChoices choices;

    // The last alignment, n x m (the score matrices only for the plain
    // kernel): cell [i][j] of a matrix is element traceCell(i, j), for i in
    // 0..n and j in 0..m; the two buffers and the path hold n + m columns.
    // A proven band keeps the flags of its diagonals only: row i holds
    // diagonals lowest .. highest, so the stride is highest - lowest and the
    // offset -lowest.
    double* scoreMatrix = nullptr;
    double* gapInFirstMatrix = nullptr;
    double* gapInSecondMatrix = nullptr;
    std::uint8_t* traceMatrix = nullptr;
    std::size_t traceStride = 0; // m + 1, or the band's
    std::size_t traceOffset = 0; // 0, or the band's
    std::size_t traceCell(int i, int j) const {
        return static_cast<std::size_t>(i) * traceStride + static_cast<std::size_t>(j) + traceOffset;
    }
    ProfileColumn* alignedBuffer1 = nullptr;
    ProfileColumn* alignedBuffer2 = nullptr;
    // The steps of the last alignment, one per column of the result from the
    // first: TRACE_DIAG (a pair), TRACE_UP (a gap in the second), TRACE_LEFT
    // (a gap in the first).
    std::uint8_t* alignmentPath = nullptr;
    StripeBuffers stripeBuffers{};
    SumOfPairsBuffers sumOfPairsBuffers{};
    // A band fill's own rows, after the band's flags (reserveBandTraceStorage)
    void* bandScratch = nullptr;
    // The whole matrix's bounds at a band's edges, and the rows that find them
    EdgeBounds edgeBounds;
    std::vector<double> edgeBoundRows;
    // Alignments in a row without a proven band, and those since that did not try one
    int bandFailuresInARow = 0;
    int bandAttemptsSkipped = 0;
    CellCounts cellCounts{};

    // Grows the storage to an n x m alignment with the kernel on up to
    // `threads` threads; false when memory is exhausted. The kernels call it
    // themselves; alignProfilesWith first, to report a failure.
    [[nodiscard]] bool reserveAlignmentStorage(KernelKind kind, int n, int m, int threads);
    // The trace matrix, the two aligned buffers and the path alone, for the
    // sum-of-pairs alignment; false when memory is exhausted.
    [[nodiscard]] bool reserveTraceStorage(int n, int m);
    // The same with the flags of the diagonals lowest .. highest only (lowest
    // <= 0 <= highest), for a band fill, and `scratchBytes` after them for the
    // fill's own rows, at bandScratch: the pages a whole matrix of the same
    // profiles would take; false when memory is exhausted.
    [[nodiscard]] bool reserveBandTraceStorage(int n, int m, int lowest, int highest,
                                               std::size_t scratchBytes);
    // The two aligned buffers and the path alone, for an alignment found in
    // another workspace; false when memory is exhausted.
    [[nodiscard]] bool reservePathStorage(int n, int m);
    // Grows the storage to an n x m sum-of-pairs alignment with the kernel on
    // up to `threads` threads; false when memory is exhausted.
    [[nodiscard]] bool reserveSumOfPairsStorage(KernelKind kind, int n, int m, int threads);
    // Gives the storage back to the system.
    void releaseWorkStorage();

  private:
    bool reserveTrace(int n, int m, std::size_t bytes);
    bool reserveFlagBlocks(int m, int threads);
    bool reserveStripeBuffers(int n, int m, int threads);

    WorkBlock traceBlock_, scoreBlock_, gapInFirstBlock_, gapInSecondBlock_;
    WorkBlock alignedBlock1_, alignedBlock2_, pathBlock_;
    WorkBlock rowBlock_, columnBlock_;
    WorkBlock sumOfPairsRowBlock_, sumOfPairsColumnBlock_;
    WorkBlock flagBlocks_[MAX_ALIGNMENT_THREADS];
};

// The workspace of the run's main thread, in which the tree passes align.
PairwiseWorkspace& mainWorkspace();

} // namespace vorbex
