// The tool, reporting on standard error at exit how many DP cells its
// pairwise alignments computed against the cells of their whole matrices.
#include <cstdio>
#include <cstdlib>

#include "align/kernels.h"
#include "run/run.h"

int main(int argc, char** argv) {
    std::atexit([] {
        const vorbex::CellCounts& c = vorbex::cellCounts;
        const double share = c.matrix > 0 ? 100.0 / c.matrix : 0.0;
        std::fprintf(stderr, "cells computed %.0f of %.0f: %.1f%% (%.1f%% in bands)\n", c.computed, c.matrix,
                     share * c.computed, share * c.inBands);
    });
    return vorbex::runVorbex(argc, argv);
}
