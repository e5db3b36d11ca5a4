// How many threads one vector alignment gets: as many as may help, or one
// when timing shows that the others only slow it down.
#pragma once

#include "pairwise/kernels.h"

namespace vorbex {

// Threads alignProfiles gives the vector kernel for an n x m alignment: the
// choices' threads, or 1 when the alignment is too small to gain from more.
int eligibleThreads(const PairwiseChoices& choices, KernelKind kind, int n, int m);

// Between one thread and several, for an alignment of `cells` cells that
// eligibleThreads gave `threads` > 1: the one that has been faster per cell
// lately on alignments of about that size, the other now and then to follow
// a change. What several threads gain grows with the size, and they lose when
// other work holds the processors; the result is the same either way.
class ThreadCountChoice {
  public:
    int choose(int threads, double cells);
    void record(int threads, double cells, double seconds);

  private:
    static constexpr int TRY_OTHER_EVERY = 32;
    // Sizes by powers of two from 2^18 cells, the last class open
    static constexpr int SIZE_CLASSES = 8;
    // Samples of each way before the faster is kept to; the first of each is
    // left out, since it pays for starting threads and for new storage
    static constexpr int FIRST_SAMPLES = 3;
    struct SizeClass {
        double nsPerCell[2] = {0.0, 0.0}; // one thread, several
        int samples[2] = {0, 0};
        long long eligible = 0;
    };
    static int sizeClass(double cells);
    SizeClass classes_[SIZE_CLASSES];
};
extern ThreadCountChoice threadCountChoice;

} // namespace vorbex
