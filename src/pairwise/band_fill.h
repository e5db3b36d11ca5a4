// The pairwise DP over a band of diagonals only, with a proof that the cells
// left out cannot change what the whole matrix gives: the corner's score and
// the flags of every cell the traceback stands on. Without the proof the
// caller tries a wider band or fills the whole matrix.
#pragma once

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "pairwise/kernels.h"

namespace vorbex {

// Marks a band cell whose state the cells outside might change; the
// traceback never reads it, and a proven band has none on its path.
constexpr std::uint8_t TRACE_UNPROVEN = 8;

// The cells [i][j] with lowest <= j - i <= highest.
struct DiagonalBand {
    int lowest;
    int highest;
};

struct BandFill {
    double score;   // cell [n][m]; NaN when the fill stopped early, unproven
    bool proven;    // score and path flags are those of the whole matrix
    double cells;   // cells computed
    double reached; // share of the rows (anti-diagonals) filled before it stopped
};

// True when the proof's assumptions hold: similarity by L1 distance with
// finite weights of at least 0, and finite gap penalties of at most 0.
bool bandProofApplies(const KernelSettings& s);

// The diagonals from the first cell's to the corner's, widened by
// `margin` on either side.
DiagonalBand bandAround(int n, int m, int margin);
// True when the band holds every cell of an n x m matrix.
bool bandCoversMatrix(DiagonalBand band, int n, int m);

// Runs of RUN_LENGTHS pairable cells along a diagonal (see band_fill.cpp),
// found row by row (column by column) as far as the band fills ask.
// Two run lengths, each giving its own bound: the shorter proves more where
// few columns pair by chance, the longer where many do.
constexpr int RUN_LENGTHS[2] = {12, 16};

class PairableRuns {
  public:
    // Bytes of work memory for an n x m alignment
    static std::size_t bytes(int n, int m);
    // `memory` (of bytes(n, m), 8-byte aligned) is the work memory while the object is used
    PairableRuns(const ProfileColumn* columns1, int n, const ProfileColumn* columns2, int m, void* memory);
    // The highest diagonal on which a run of RUN_LENGTHS[k] holds a cell of
    // row r, INT_MIN when none
    int highestInRow(int k, int r) { return rows_.highestAt(k, r); }
    // The lowest diagonal on which one holds a cell of column c, INT_MAX when none
    int lowestInColumn(int k, int c) {
        const int turned = columns_.highestAt(k, c);
        return turned == INT_MIN ? INT_MAX : -turned;
    }

  private:
    using Word = unsigned long long;
    // The runs of both lengths by rows of one profile against the other:
    // columns are the rows of the profiles swapped, their diagonals turned round
    class Scan {
      public:
        static std::size_t bytes(int n, int m);
        // Takes bytes(n, m) of `memory` and moves it past them
        void reset(const ProfileColumn* rows, int n, const ProfileColumn* columns, int m,
                   unsigned char*& memory);
        int highestAt(int k, int r);

      private:
        void prepare();
        void advance(int to);
        const ProfileColumn* rows_ = nullptr;
        const ProfileColumn* columns_ = nullptr;
        int n_ = 0;
        int m_ = 0;
        bool ready_ = false;
        std::size_t words_ = 0;
        int done_ = 0;
        Word* bits(int k) { return bits_ + static_cast<std::size_t>(k) * words_; }
        // One block of bit rows: the columns pairable with each class, the
        // runs of two of the last rows, of four, and of each run length
        Word* bits_ = nullptr;
        int previousClass_ = -1;
        int* highestEnding_[2] = {nullptr, nullptr}; // rows 0 .. n, per run length
    };
    Scan rows_, columns_;
};

// The bound of a band cell's state that the cells outside cannot change, and
// the value of a state no path within the band reaches
constexpr double EXACT_BOUND = -HUGE_VAL;
constexpr double UNREACHABLE_STATE = -HUGE_VAL;
// What the whole matrix can give a state: its bound, or its exact value
inline double highestValue(double value, double bound) {
    return bound != EXACT_BOUND ? bound : value;
}

// What a path outside the band may bring to it: at most `perRow` per row
// it passes (`perRunRow` in a row or column holding a run outside the band),
// plus `constant` (see band_fill.cpp).
struct ExcursionBound {
    double perRow;
    double perRunRow;
    double constant;
};
ExcursionBound excursionBound(const KernelSettings& s, int runLength, int n, int m);

// What paths outside the band on one side may bring back into it, kept as
// the rows pass: the best exit so far, grown by what a pair step may score
// in each row since, under the bound of each run length; the lesser counts.
class ExcursionTracker {
  public:
    ExcursionTracker(const KernelSettings& s, int n, int m)
        : bounds_{excursionBound(s, RUN_LENGTHS[0], n, m), excursionBound(s, RUN_LENGTHS[1], n, m)} {}
    // A row (below the band: a column) passed; `inRun[k]` when a run of
    // RUN_LENGTHS[k] outside the band holds a cell of it
    void pass(const bool (&inRun)[2]) {
        for (int k = 0; k < 2; ++k)
            exits_[k] += inRun[k] ? bounds_[k].perRunRow : bounds_[k].perRow;
    }
    // A gap step out of an edge cell: opening from its score or extending
    // its gap run along the step; from a boundary cell, the boundary's step
    void exitFrom(bool boundary, double score, double scoreBound, double run, double runBound, double d,
                  double g) {
        const double from = highestValue(score, scoreBound);
        const double value =
            boundary ? from + std::max(d, g) : std::max(from + d, highestValue(run, runBound) + g);
        for (double& best : exits_)
            best = std::max(best, value);
    }
    double entry() const {
        return std::min(exits_[0] + bounds_[0].constant, exits_[1] + bounds_[1].constant);
    }

  private:
    ExcursionBound bounds_[2];
    double exits_[2] = {-HUGE_VAL, -HUGE_VAL};
};

// Upper bounds on what the whole matrix gives the cell just above a band in
// row i (score and gap in second, at [i][i + highest + 1]) and the cell just
// left of it (score and gap in first, at [i][i + lowest - 1]); +infinity
// where the cell lies outside the matrix. Found by a DP over every cell, in
// the workspace's edgeBoundRows, cheaper than the fill (no choices kept),
// which proves bands the bound of a path outside cannot.
void findEdgeBounds(PairwiseWorkspace& work, const KernelSettings& s, const ProfileColumn* columns1, int n,
                    const ProfileColumn* columns2, int m, DiagonalBand band, EdgeBounds& entries);
// The same in AVX2 and AVX-512 vectors, bit for bit
void findEdgeBoundsAvx2(PairwiseWorkspace& work, const KernelSettings& s, const ProfileColumn* columns1,
                        int n, const ProfileColumn* columns2, int m, DiagonalBand band, EdgeBounds& entries);
void findEdgeBoundsAvx512(PairwiseWorkspace& work, const KernelSettings& s, const ProfileColumn* columns1,
                          int n, const ProfileColumn* columns2, int m, DiagonalBand band,
                          EdgeBounds& entries);
// What enters a band's edge cell from outside: the whole matrix's bound where
// it is known (far tighter than the paths' bound, which is then not kept)
inline double edgeEntryBound(double pathBound, const EdgeBounds* entries,
                             const std::vector<double> EdgeBounds::*side, int row) {
    return entries == nullptr ? pathBound : (entries->*side)[static_cast<std::size_t>(row)];
}

// True when no cell the traceback of traceMatrix stands on, from [n][m],
// carries TRACE_UNPROVEN.
bool tracedPathProven(const PairwiseWorkspace& work, int n, int m);

// Lanes of the widest band fill
constexpr int MAX_BAND_LANES = 8;
// Scratch bytes a vector band fill of n x m needs (reserveBandTraceStorage).
std::size_t bandScratchBytes(int n, int m);

// Fills traceMatrix within the band (reserved by reserveBandTraceStorage, or
// for the whole n x m), as the plain kernel fills those cells when the rest of
// the matrix does not reach them, and proves whether it does not.
BandFill fillBandKernel(PairwiseWorkspace& work, const KernelSettings& s, const ProfileColumn* columns1,
                        int n, const ProfileColumn* columns2, int m, DiagonalBand band, PairableRuns& runs,
                        const EdgeBounds* entries = nullptr);
// The same by anti-diagonals in vectors, with the same flags in every band
// cell, the same score and the same proof; their rows live at bandScratch
// (reserveBandTraceStorage with bandScratchBytes(n, m) of scratch).
BandFill fillBandAvx2(PairwiseWorkspace& work, const KernelSettings& s, const ProfileColumn* columns1, int n,
                      const ProfileColumn* columns2, int m, DiagonalBand band, PairableRuns& runs,
                      const EdgeBounds* entries = nullptr);
BandFill fillBandAvx512(PairwiseWorkspace& work, const KernelSettings& s, const ProfileColumn* columns1,
                        int n, const ProfileColumn* columns2, int m, DiagonalBand band, PairableRuns& runs,
                        const EdgeBounds* entries = nullptr);

} // namespace vorbex
