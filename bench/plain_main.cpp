// The tool with the plain reference implementation, for the whole-run benchmark.
#include "align/align.h"
#include "run/run.h"

int main(int argc, char** argv) {
    return vorbex::runVorbex(argc, argv, {.plain = true});
}
