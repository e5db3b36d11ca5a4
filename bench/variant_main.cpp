// The tool run another way, for the benchmarks, beside vorbex in the same run:
//   plain         the plain reference code (plain kernel, one thread, no work
//                 shared between candidates)
//   whole-matrix  the whole matrix of every pairwise alignment, never a proven band
//   cells         as vorbex, reporting on standard error at the end how many DP
//                 cells its pairwise alignments computed against the cells of
//                 their whole matrices, and those the DP bounding the cells
//                 outside bands went over
//
//   vorbex_variant plain|whole-matrix|cells <the tool's arguments>
#include <cstdio>
#include <cstring>

#include "pairwise/pairwise.h"
#include "run/run.h"

int main(int argc, char** argv) {
    using namespace vorbex;
    const char* variant = argc > 1 ? argv[1] : "";
    const bool cells = std::strcmp(variant, "cells") == 0;
    PairwiseChoices choices;
    if (std::strcmp(variant, "plain") == 0) {
        choices.plain = true;
    } else if (std::strcmp(variant, "whole-matrix") == 0) {
        choices.diagonalBand = false;
    } else if (!cells) {
        std::fprintf(stderr, "usage: vorbex_variant plain|whole-matrix|cells <the tool's arguments>\n");
        return 2;
    }
    // The tool sees its own name and arguments, the variant's word left out
    argv[1] = argv[0];
    const int status = runVorbex(argc - 1, argv + 1, choices);
    if (cells) {
        const CellCounts& c = mainWorkspace().cellCounts;
        const double share = c.matrix > 0 ? 100.0 / c.matrix : 0.0;
        std::fprintf(stderr, "cells computed %.0f of %.0f: %.1f%% (%.1f%% in bands), %.1f%% bounded\n",
                     c.computed, c.matrix, share * c.computed, share * c.inBands, share * c.bounded);
    }
    return status;
}
