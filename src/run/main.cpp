#include "run/mpi_candidates.h"
#include "run/run.h"

int main(int argc, char** argv) {
    vorbex::startRanks(argc, argv);
    return vorbex::endRanks(vorbex::runVorbex(argc, argv));
}
