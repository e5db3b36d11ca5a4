// The tool filling the whole matrix of every pairwise alignment, as before
// the proven bands: the reference the band is timed against in the same run.
#include "align/align.h"
#include "run/run.h"

int main(int argc, char** argv) {
    return vorbex::runVorbex(argc, argv, {.diagonalBand = false});
}
