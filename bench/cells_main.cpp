// The tool, reporting on standard error at exit how many DP cells its
// pairwise alignments computed against the cells of their whole matrices, and
// those the DP bounding the cells outside bands went over.
#include <cstdio>
#include <cstdlib>

#include "pairwise/kernels.h"
#include "run/run.h"

int main(int argc, char** argv) {
    std::atexit([] {
        const vorbex::CellCounts& c = vorbex::mainWorkspace().cellCounts;
        const double share = c.matrix > 0 ? 100.0 / c.matrix : 0.0;
        std::fprintf(stderr, "cells computed %.0f of %.0f: %.1f%% (%.1f%% in bands), %.1f%% bounded\n",
                     c.computed, c.matrix, share * c.computed, share * c.inBands, share * c.bounded);
    });
    return vorbex::runVorbex(argc, argv);
}
