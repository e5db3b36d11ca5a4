// Global alignment of two profiles by dynamic programming with a first-gap and
// a further-gap penalty. The plain kernel here computes every cell in the order
// written; the vector kernels are checked against it. All kernels share the
// traceback.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "base/output.h"
#include "base/physical_memory.h"
#include "base/result_code.h"
#include "base/settings.h"
#include "pairwise/band_fill.h"
#include "pairwise/kernels.h"
#include "pairwise/pairwise.h"
#include "pairwise/sum_of_pairs.h"
#include "pairwise/thread_count_choice.h"

namespace vorbex {

namespace {

// Written out again in the vector kernels, not shared with them:
// tests/reference compares the two, which proves something only while this
// kernel stands alone.
double similarity(const KernelSettings& s, const ProfileColumn& a, const ProfileColumn& b) {
    const double* w = s.weights;
    const double* x = a.weight;
    const double* y = b.weight;
    if (s.workMode & 1) {
        // L1_distance
        double sum = w[BASE_A] * std::fabs(x[BASE_A] - y[BASE_A]);
        sum += w[BASE_C] * std::fabs(x[BASE_C] - y[BASE_C]);
        sum += w[BASE_G] * std::fabs(x[BASE_G] - y[BASE_G]);
        sum += w[BASE_T] * std::fabs(x[BASE_T] - y[BASE_T]);
        return 1.0 - sum;
    }
    double sum = w[BASE_A] * ((x[BASE_A] - y[BASE_A]) * (x[BASE_A] - y[BASE_A]));
    sum += w[BASE_C] * ((x[BASE_C] - y[BASE_C]) * (x[BASE_C] - y[BASE_C]));
    sum += w[BASE_G] * ((x[BASE_G] - y[BASE_G]) * (x[BASE_G] - y[BASE_G]));
    sum += w[BASE_T] * ((x[BASE_T] - y[BASE_T]) * (x[BASE_T] - y[BASE_T]));
    if (s.workMode & 2)
        return 1.0 - std::sqrt(sum); // L2_distance
    return 1.0 - sum;                // squared distance without the root
}

// Traceback from the corner, preferring the pair, then the up step, then the
// left step; each step reads only the flags of the cell it stands on. The
// steps go into alignmentPath from n + m - 1 down; gives the position before
// the first.
int tracePath(PairwiseWorkspace& work, int n, int m) {
    const std::uint8_t* const F = work.traceMatrix;
    int i = n;
    int j = m;
    int k = i + j - 1;
    while (i > 0 || j > 0) {
        const std::uint8_t flags = F[work.traceCell(i, j)];
        const std::uint8_t step = (flags & TRACE_DIAG) ? TRACE_DIAG
                                  : (flags & TRACE_UP) ? TRACE_UP
                                                       : TRACE_LEFT;
        work.alignmentPath[k--] = step;
        i -= step != TRACE_LEFT;
        j -= step != TRACE_UP;
    }
    return k;
}

// Both nodes' columns along the path standing in alignmentPath from k + 1.
// ERINT, with the nodes as they were, when the alignment is too long to keep;
// ERMEM when the nodes cannot be given room for it.
ResultCode keepAlignmentAlongPath(PairwiseWorkspace& work, TreeNode* first, TreeNode* second, int k) {
    const ProfileColumn* const columns1 = first->workProfile;
    const ProfileColumn* const columns2 = second->workProfile;
    const ProfileColumn gapColumn{};
    int i = 0;
    int j = 0;
    for (int c = k + 1; c < first->workLength + second->workLength; ++c) {
        const std::uint8_t step = work.alignmentPath[c];
        work.alignedBuffer1[c] = step != TRACE_LEFT ? columns1[i++] : gapColumn;
        work.alignedBuffer2[c] = step != TRACE_UP ? columns2[j++] : gapColumn;
    }
    return keepAlignedColumns(work, first, second, k);
}

// The narrowest band tried, in diagonals beyond the corner's on either side
constexpr int FIRST_BAND_MARGIN = 16;
// A band is not tried when its cells would pass this share of the matrix:
// the whole matrix's vector fill is then about as fast
constexpr double LARGEST_BAND_SHARE = 0.3;

double bandCells(DiagonalBand band, int n, int m) {
    double cells = 0.0;
    for (int i = 0; i <= n; ++i)
        cells += std::min(m, i + band.highest) - std::max(0, i + band.lowest) + 1;
    return cells;
}

// One band fill and its proof; with `entries`, the whole matrix's bounds at the
// band's edges.
BandFill fillBand(PairwiseWorkspace& work, KernelKind kind, const KernelSettings& s,
                  const ProfileColumn* columns1, int n, const ProfileColumn* columns2, int m,
                  DiagonalBand band, const EdgeBounds* entries) {
    // Found again for each band: the work memory of the runs moves with the
    // band's flags (what is found once costs little beside the fill)
    PairableRuns runs(columns1, n, columns2, m,
                      static_cast<unsigned char*>(work.bandScratch) + bandScratchBytes(n, m));
    const BandFill fill = kind == KernelKind::Avx512
                              ? fillBandAvx512(work, s, columns1, n, columns2, m, band, runs, entries)
                              : fillBandAvx2(work, s, columns1, n, columns2, m, band, runs, entries);
    work.cellCounts.computed += fill.cells;
    work.cellCounts.inBands += fill.cells;
    return fill;
}

bool reserveBand(PairwiseWorkspace& work, int n, int m, DiagonalBand band) {
    return work.reserveBandTraceStorage(n, m, band.lowest, band.highest,
                                        bandScratchBytes(n, m) + PairableRuns::bytes(n, m));
}

// Bands proven by the bound of a path outside alone, widened until proven or
// too wide to gain; then the narrowest with the whole matrix's bounds at its
// edges, where the whole matrix could be filled (its DP costs about as much).
bool provenInBand(PairwiseWorkspace& work, KernelKind kind, const KernelSettings& s,
                  const ProfileColumn* columns1, int n, const ProfileColumn* columns2, int m, double& score) {
    const double matrix = (static_cast<double>(n) + 1) * (static_cast<double>(m) + 1);
    const auto tooWide = [&](DiagonalBand band) {
        return bandCoversMatrix(band, n, m) || bandCells(band, n, m) > LARGEST_BAND_SHARE * matrix;
    };
    for (int margin = FIRST_BAND_MARGIN;;) {
        const DiagonalBand band = bandAround(n, m, margin);
        if (tooWide(band) || !reserveBand(work, n, m, band))
            break;
        const BandFill fill = fillBand(work, kind, s, columns1, n, columns2, m, band, nullptr);
        if (fill.proven) {
            score = fill.score;
            return true;
        }
        // The proof held for `reached` of the matrix: what leaks in from
        // outside grows about evenly, so a band that many times wider may
        // hold to the end; one that is still too wide is not tried
        const double wider = std::max(2.0 * margin, margin / std::max(fill.reached, 1e-3));
        margin = static_cast<int>(std::min(wider, static_cast<double>(n) + m + 1));
    }
    const DiagonalBand band = bandAround(n, m, FIRST_BAND_MARGIN);
    if (tooWide(band) || alignmentStorageBytes(kind, n, m) > physicalMemoryBytes() ||
        !reserveBand(work, n, m, band))
        return false;
    EdgeBounds& entries = work.edgeBounds;
    if (kind == KernelKind::Avx512)
        findEdgeBoundsAvx512(work, s, columns1, n, columns2, m, band, entries);
    else
        findEdgeBoundsAvx2(work, s, columns1, n, columns2, m, band, entries);
    work.cellCounts.bounded += matrix;
    const BandFill fill = fillBand(work, kind, s, columns1, n, columns2, m, band, &entries);
    if (fill.proven)
        score = fill.score;
    return fill.proven;
}

// After this many alignments in a row without a proven band, only every
// BAND_PROBE_INTERVAL-th tries one, until one is proven: on sequences too far
// apart for the proof the attempts cost time and never gain
constexpr int BAND_FAILURES_BEFORE_PROBING = 16;
constexpr int BAND_PROBE_INTERVAL = 8;

// The alignment from a proven band, widened until it is proven or too wide
// to gain; false when the whole matrix must be filled.
bool filledInBand(PairwiseWorkspace& work, KernelKind kind, const KernelSettings& s,
                  const ProfileColumn* columns1, int n, const ProfileColumn* columns2, int m, double& score) {
    if (!bandProofApplies(s))
        return false;
    int& failures = work.bandFailuresInARow;
    if (failures >= BAND_FAILURES_BEFORE_PROBING) {
        if (++work.bandAttemptsSkipped < BAND_PROBE_INTERVAL)
            return false;
        work.bandAttemptsSkipped = 0;
    }
    const bool proven = provenInBand(work, kind, s, columns1, n, columns2, m, score);
    failures = proven ? 0 : std::min(failures + 1, BAND_FAILURES_BEFORE_PROBING);
    return proven;
}

} // namespace

ResultCode noRoomForAlignment(int n, int m) {
    const double traceBytes = (static_cast<double>(n) + 1) * (static_cast<double>(m) + 1);
    reportBoth("ERROR: Aligning profiles of %d and %d columns needs a trace matrix of %.0f bytes, more than "
               "this machine can give\n",
               n, m, traceBytes);
    return ERMEM;
}

ResultCode keepAlignedColumns(PairwiseWorkspace& work, TreeNode* first, TreeNode* second, int k) {
    const int length = first->workLength + second->workLength - 1 - k;
    if (length > longOptions.maxLength) {
        reportBoth("ERROR: MAXSEQLEN overflow\n");
        return ERINT;
    }
    if (!reserveProfiles(first, length) || !reserveProfiles(second, length)) {
        reportBoth("ERROR: No memory for an alignment of %d columns\n", length);
        return ERMEM;
    }
    first->workLength = length;
    second->workLength = length;
    for (int c = 0; c < length; ++c) {
        first->workProfile[c] = work.alignedBuffer1[k + 1 + c];
        second->workProfile[c] = work.alignedBuffer2[k + 1 + c];
    }
    // The path from its first step, for the alignments kept across candidates
    std::memmove(work.alignmentPath, work.alignmentPath + k + 1, static_cast<std::size_t>(length));
    return 0;
}

KernelSettings currentKernelSettings() {
    const RunSettings& r = runSettings;
    return {r.gapOpenPenalty,
            r.gapExtendPenalty,
            {r.baseWeights[BASE_A], r.baseWeights[BASE_C], r.baseWeights[BASE_G], r.baseWeights[BASE_T]},
            r.workMode};
}

double columnSimilarity(const ProfileColumn& a, const ProfileColumn& b) {
    return similarity(currentKernelSettings(), a, b);
}

double fillPlainKernel(PairwiseWorkspace& work, const KernelSettings& s, const ProfileColumn* columns1, int n,
                       const ProfileColumn* columns2, int m) {
    if (!work.reserveAlignmentStorage(KernelKind::Plain, n, m, 1))
        return std::nan("");
    const double d = s.gapOpen;
    const double g = s.gapExtend;
    double* const S = work.scoreMatrix;
    double* const H = work.gapInFirstMatrix;
    double* const V = work.gapInSecondMatrix;
    std::uint8_t* const F = work.traceMatrix;
    // The layout read once: for all the compiler knows, a store to F could change it
    const std::size_t stride = work.traceStride;
    const std::size_t offset = work.traceOffset;
    const auto at = [stride, offset](int i, int j) {
        return static_cast<std::size_t>(i) * stride + static_cast<std::size_t>(j) + offset;
    };

    // Boundaries, summed step by step: the closed formula can differ in the last bit
    S[0] = H[0] = V[0] = 0.0;
    F[0] = 0;
    for (int i = 1; i <= n; ++i) {
        S[at(i, 0)] = S[at(i - 1, 0)] + (i == 1 ? d : g);
        H[at(i, 0)] = S[at(i, 0)];
        F[at(i, 0)] = TRACE_UP;
    }
    for (int j = 1; j <= m; ++j) {
        S[at(0, j)] = S[at(0, j - 1)] + (j == 1 ? d : g);
        V[at(0, j)] = S[at(0, j)];
        F[at(0, j)] = TRACE_LEFT;
    }

    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= m; ++j) {
            // Gap in first: open from the cell to the left, or extend its run
            const double openLeft = S[at(i, j - 1)] + d;
            H[at(i, j)] = openLeft;
            if (openLeft + TOLERANCE < H[at(i, j - 1)] + g)
                H[at(i, j)] = H[at(i, j - 1)] + g;

            // Gap in second: open from the cell above, or extend its run
            const double openUp = S[at(i - 1, j)] + d;
            V[at(i, j)] = openUp;
            if (openUp + TOLERANCE < V[at(i - 1, j)] + g)
                V[at(i, j)] = V[at(i - 1, j)] + g;

            // Pair: diagonal plus similarity, plus the run bonus after a pair
            double score = S[at(i - 1, j - 1)] + similarity(s, columns1[i - 1], columns2[j - 1]);
            if (F[at(i - 1, j - 1)] & TRACE_DIAG)
                score += RUN_BONUS;
            std::uint8_t flags = TRACE_DIAG;

            // A gap wins only when it beats the score by more than the tolerance;
            // near-ties add flags
            const double left = H[at(i, j)];
            if (score + TOLERANCE < left) {
                score = left;
                flags = TRACE_LEFT;
            } else if (std::fabs(score - left) < TOLERANCE) {
                flags |= TRACE_LEFT;
            }
            const double up = V[at(i, j)];
            if (score + TOLERANCE < up) {
                score = up;
                flags = TRACE_UP;
            } else if (std::fabs(score - up) < TOLERANCE) {
                flags |= TRACE_UP;
            }
            S[at(i, j)] = score;
            F[at(i, j)] = flags;
        }
    }

    return S[at(n, m)];
}

namespace {

// Fills the workspace's trace matrix for the two profiles, in a proven band
// or whole, and gives the corner's score. Several threads only when
// `shareThreads`. ERMEM, after the message when `report`, when the work
// storage cannot be had.
ResultCode fillAlignment(PairwiseWorkspace& work, KernelKind kind, const ProfileColumn* columns1, int n,
                         const ProfileColumn* columns2, int m, bool shareThreads, bool report,
                         double& score) {
    const KernelSettings s = currentKernelSettings();
    const bool vector = (kind == KernelKind::Avx512 || kind == KernelKind::Avx2) && n > 0 && m > 0;
    const KernelKind used = vector ? kind : KernelKind::Plain;
    work.cellCounts.matrix += (static_cast<double>(n) + 1) * (static_cast<double>(m) + 1);
    if (vector && work.choices.diagonalBand && !work.choices.plain &&
        filledInBand(work, used, s, columns1, n, columns2, m, score))
        return 0;
    work.cellCounts.computed += (static_cast<double>(n) + 1) * (static_cast<double>(m) + 1);
    const int eligible = vector && shareThreads ? eligibleThreads(work.choices, kind, n, m) : 1;
    // Asked of the system only when it is there, so that a matrix larger than
    // the machine ends with a message rather than by the kernel's hand
    if (alignmentStorageBytes(used, n, m) > physicalMemoryBytes() ||
        !work.reserveAlignmentStorage(used, n, m, eligible))
        return report ? noRoomForAlignment(n, m) : ERMEM;
    if (vector) {
        const int threads = eligible > 1 ? threadCountChoice.choose(eligible, double(n) * m) : 1;
        const auto start = std::chrono::steady_clock::now();
        score = kind == KernelKind::Avx512 ? fillAvx512Kernel(work, s, columns1, n, columns2, m, threads)
                                           : fillAvx2Kernel(work, s, columns1, n, columns2, m, threads);
        if (eligible > 1)
            threadCountChoice.record(
                threads, double(n) * m,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    } else {
        score = fillPlainKernel(work, s, columns1, n, columns2, m);
    }
    return 0;
}

} // namespace

ResultCode alignProfilesWith(PairwiseWorkspace& work, KernelKind kind, TreeNode* first, TreeNode* second,
                             double& score) {
    if (longOptions.scoring == Scoring::SUM_OF_PAIRS)
        return alignBySumOfPairs(work, first, second, score);
    const int n = first->workLength;
    const int m = second->workLength;
    if (const ResultCode code =
            fillAlignment(work, kind, first->workProfile, n, second->workProfile, m, true, true, score);
        code != 0)
        return code;
    return keepAlignmentAlongPath(work, first, second, tracePath(work, n, m));
}

bool findAlignment(PairwiseWorkspace& work, const TreeNode* first, const TreeNode* second,
                   FoundAlignment& found) {
    const int n = first->workLength;
    const int m = second->workLength;
    int k = 0;
    if (longOptions.scoring == Scoring::SUM_OF_PAIRS) {
        if (traceSumOfPairs(work, first->workProfile, n, second->workProfile, m, found.score, k, false,
                            false) != 0)
            return false;
    } else {
        if (fillAlignment(work, selectedKernel(work.choices), first->workProfile, n, second->workProfile, m,
                          false, false, found.score) != 0)
            return false;
        k = tracePath(work, n, m);
    }
    found.steps.assign(work.alignmentPath + k + 1, work.alignmentPath + n + m);
    return true;
}

ResultCode keepFoundAlignment(PairwiseWorkspace& work, TreeNode* first, TreeNode* second,
                              const FoundAlignment& found, double& score) {
    const int n = first->workLength;
    const int m = second->workLength;
    const int length = static_cast<int>(found.steps.size());
    if (!work.reservePathStorage(n, m))
        return alignProfiles(work, first, second, score);
    const int k = n + m - 1 - length;
    std::memcpy(work.alignmentPath + k + 1, found.steps.data(), found.steps.size());
    score = found.score;
    return keepAlignmentAlongPath(work, first, second, k);
}

ResultCode alignProfiles(PairwiseWorkspace& work, TreeNode* first, TreeNode* second, double& score) {
    return alignProfilesWith(work, selectedKernel(work.choices), first, second, score);
}

ResultCode alignProfiles(TreeNode* first, TreeNode* second, double& score) {
    return alignProfiles(mainWorkspace(), first, second, score);
}

} // namespace vorbex
