// Chooses the thread count of each vector alignment by its size and by the
// time per cell measured so far.
#include "pairwise/thread_count_choice.h"

namespace vorbex {

int eligibleThreads(const PairwiseChoices& choices, KernelKind kind, int n, int m) {
    // Below these the start of the other threads and the waits between
    // stripes cost more than they save
    constexpr int MIN_STRIPES_PER_THREAD = 2;
    constexpr long MIN_CELLS = 200000;
    const int stripeHeight = kind == KernelKind::Avx512 ? 16 : 8;
    if (choices.threads <= 1 || kind == KernelKind::Plain || static_cast<long>(n) * m < MIN_CELLS)
        return 1;
    const int stripes = (n + stripeHeight - 1) / stripeHeight;
    const int most = stripes / MIN_STRIPES_PER_THREAD;
    if (most <= 1)
        return 1;
    return choices.threads < most ? choices.threads : most;
}

ThreadCountChoice threadCountChoice;

int ThreadCountChoice::sizeClass(double cells) {
    int size = 0;
    for (double limit = 1 << 19; cells >= limit && size < SIZE_CLASSES - 1; limit *= 2)
        ++size;
    return size;
}

int ThreadCountChoice::choose(int threads, double cells) {
    SizeClass& size = classes_[sizeClass(cells)];
    const long long k = size.eligible++;
    // Measure both first, then keep to the faster but for every TRY_OTHER_EVERY-th alignment
    if (size.samples[0] < FIRST_SAMPLES || size.samples[1] < FIRST_SAMPLES)
        return size.samples[1] <= size.samples[0] ? threads : 1;
    const bool severalFaster = size.nsPerCell[1] < size.nsPerCell[0];
    const bool tryOther = k % TRY_OTHER_EVERY == 0;
    return severalFaster != tryOther ? threads : 1;
}

void ThreadCountChoice::record(int threads, double cells, double seconds) {
    if (cells <= 0.0)
        return;
    SizeClass& size = classes_[sizeClass(cells)];
    const int way = threads > 1 ? 1 : 0;
    double& average = size.nsPerCell[way];
    const double sample = seconds * 1e9 / cells;
    if (size.samples[way]++ == 0)
        return;
    average = size.samples[way] == 2 ? sample : 0.75 * average + 0.25 * sample;
}

} // namespace vorbex
