// The walk of one stripe over its steps, shared by the vector kernels: block
// by block when threads share the alignment, and the flags of the skewed
// stripe into their cells at the end. Included only by files built for their
// instruction set, so everything here has internal linkage.
#pragma once

#include <cstdint>

#include "pairwise/stripe_pool.h"
#include "pairwise/workspace.h"

namespace vorbex {
namespace {

// Steps a stripe runs between two looks at the stripe above, with several
// threads: large blocks ride out a thread that loses its processor for a
// while, and a stripe must hold at least two for the next to keep up with it.
constexpr int MAX_BLOCK_STEPS = 512;
constexpr int MIN_BLOCK_STEPS = 32;

// Steps 1 .. lastStep of stripe k of KL rows over m columns: nearLeftEdge(t)
// for the first KL - 1, awayFromEdge(t) after. When shared, waits for stripe
// k - 1 block by block and tells stripe k + 1 how far its row buffer is written.
template <int KL, typename NearLeftEdge, typename AwayFromEdge>
void runStripeSteps(int k, int m, int lastStep, bool shared, NearLeftEdge nearLeftEdge,
                    AwayFromEdge awayFromEdge) {
    const int block = !shared                   ? lastStep
                      : m / 4 > MAX_BLOCK_STEPS ? MAX_BLOCK_STEPS
                      : m / 4 < MIN_BLOCK_STEPS ? MIN_BLOCK_STEPS
                                                : m / 4;
    int t = 1;
    while (t <= lastStep) {
        const int blockEnd = lastStep - t < block ? lastStep : t + block - 1;
        // Step t reads column t of the row above; past column m nobody writes it
        if (shared && k > 0)
            waitForStripeProgress(k - 1, blockEnd < m ? blockEnd : m);
        for (; t < KL && t <= blockEnd; ++t)
            nearLeftEdge(t);
        for (; t <= blockEnd; ++t)
            awayFromEdge(t);
        if (shared)
            publishStripeProgress(k, blockEnd - KL + 1);
    }
}

// Flags from the skewed stripe (one L-byte group per step and vector) into
// their cells, rows i0 .. i0 + lastLane: rows no other stripe writes.
template <int L>
void scatterStripeFlags(PairwiseWorkspace& work, std::uint8_t* const* skewed, int i0, int lastLane, int m) {
    for (int q = 0; q <= lastLane; ++q) {
        const std::uint8_t* const from = skewed[q / L] + q % L;
        std::uint8_t* const to = work.traceMatrix + work.traceCell(i0 + q, 0);
        for (int j = 1; j <= m; ++j)
            to[j] = from[(j + q) * L];
    }
}

} // namespace
} // namespace vorbex
