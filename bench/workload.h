// Deterministic benchmark workloads: related sequences evolved along a random
// guide tree, written as FASTA and as a NEWICK tree of leaf names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vorbex::bench {

// splitmix64: the same numbers on every platform and library (the kernel tests draw from it too)
class SplitMix64 {
  public:
    explicit SplitMix64(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1) from the top 53 bits
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    // Uniform in [0, bound)
    int below(int bound) { return static_cast<int>(next() % static_cast<std::uint64_t>(bound)); }

  private:
    std::uint64_t state_;
};

struct WorkloadSpec {
    const char* name;
    int sequences;
    int length; // bases of the root sequence
    // Orders of the polytomic nodes, the first at the root and each next one
    // inside the biggest subtree of the one before; empty for a binary tree
    std::vector<int> polytomies;
    std::uint64_t seed;
    double substitution;   // chance per base per branch
    double indel;          // chance per base per branch of an insertion, and of a deletion
    int maxLength = 0;     // the --max-length the run needs; 0: the default will do
    bool resolved = false; // every polytomy resolved left to right: one binary tree
};

struct Workload {
    std::vector<std::string> names;
    std::vector<std::string> sequences;
    std::string newick;
};

Workload makeWorkload(const WorkloadSpec& spec);
// Writes <directory>/<name>.fasta and <directory>/<name>.nwk; false on failure.
bool writeWorkload(const WorkloadSpec& spec, const Workload& workload, const std::string& directory);

// The candidate trees a workload's polytomies give: the product of (2k - 3)!!.
long long candidateCount(const WorkloadSpec& spec);

// Workloads named by the benchmark tables: W1 to W5 (W4B: W4's sequences on one
// binary resolution of its tree); C9 and C675 for the ranks of an MPI run.
const std::vector<WorkloadSpec>& standardWorkloads();
// Sequences longer than the default allows: L1, L2. Too long for the plain
// implementation's full score matrices, so run_bench only runs them when named.
const std::vector<WorkloadSpec>& longWorkloads();

// A random sequence of `length` bases, and one derived from it with the given
// substitution and indel chances.
std::string randomSequence(SplitMix64& random, int length);
std::string evolve(SplitMix64& random, const std::string& parent, double substitution, double indel);

} // namespace vorbex::bench
