#include "run/run.h"

int main(int argc, char** argv) {
    vorbex::runVorbex(argc, argv);
}
