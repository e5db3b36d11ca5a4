// Writes the benchmark workloads: vorbex_workload <directory> [W1 W2 W3 ...]
#include <cstdio>
#include <cstring>
#include <vector>

#include "workload.h"

int main(int argc, char** argv) {
    using namespace vorbex::bench;
    if (argc < 2) {
        std::fprintf(stderr, "usage: vorbex_workload <directory> [workload ...]\n");
        return 2;
    }
    int status = 0;
    std::vector<WorkloadSpec> specs = standardWorkloads();
    specs.insert(specs.end(), longWorkloads().begin(), longWorkloads().end());
    for (const WorkloadSpec& spec : specs) {
        bool wanted = argc == 2;
        for (int a = 2; a < argc; ++a)
            wanted = wanted || std::strcmp(argv[a], spec.name) == 0;
        if (wanted && !writeWorkload(spec, makeWorkload(spec), argv[1])) {
            std::fprintf(stderr, "cannot write %s into %s\n", spec.name, argv[1]);
            status = 1;
        }
    }
    return status;
}
