#include "run/run.h"

int main(int argc, char** argv) {
    return vorbex::runVorbex(argc, argv);
}
