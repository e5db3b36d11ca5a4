// Several threads on one pairwise alignment: a pool of threads kept between
// alignments, and the progress of each stripe, by which a stripe waits for
// the one above it. Kept out of the instruction-set files so that no inline
// library code is compiled with their flags.
#pragma once

namespace vorbex {

// Most threads one alignment uses, the calling one included
constexpr int MAX_ALIGNMENT_THREADS = 64;

// Readies the pool for this many threads, the calling one included, and
// returns how many it has: at most MAX_ALIGNMENT_THREADS, fewer when threads
// cannot be started, 1 when none. The pool is made on first use; a forked
// child makes its own.
int preparePool(int threads);
// Runs task(context, t) for each t in 0 .. threads - 1, t = 0 on the calling
// thread, the others on pool threads, and returns when all have finished;
// their writes are then visible. `threads` is at most preparePool gave.
void runOnPool(int threads, void (*task)(void* context, int thread), void* context);

// Sets the progress of stripes 0 .. stripes - 1 to no column; call before
// runOnPool. False when there is no memory for them: run on one thread then.
[[nodiscard]] bool resetStripeProgress(int stripes);
// The stripe has written the row buffer up to this column.
void publishStripeProgress(int stripe, int columns);
// Returns once the stripe has written the row buffer up to this column.
void waitForStripeProgress(int stripe, int columns);

} // namespace vorbex
