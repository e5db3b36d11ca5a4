#include "workload.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace vorbex::bench {

namespace {

constexpr char BASES[] = "ACGT";

// Leaves needed below a node that carries polytomies[index] and the ones after it
int leavesNeeded(const std::vector<int>& polytomies, std::size_t index) {
    if (index >= polytomies.size())
        return 1;
    return polytomies[index] - 1 + leavesNeeded(polytomies, index + 1);
}

class TreeGrower {
  public:
    TreeGrower(const WorkloadSpec& spec, Workload& out) : spec_(spec), out_(out), random_(spec.seed) {}

    void grow() {
        const std::string root = randomSequence(random_, spec_.length);
        out_.newick = subtree(spec_.sequences, 0, root) + ";";
    }

    // Children joined left to right: ((a,b),c) for (a,b,c)
    static std::string resolvedFan(const std::vector<std::string>& children) {
        std::string text = children[0];
        for (std::size_t c = 1; c < children.size(); ++c)
            text = "(" + text + "," + children[c] + ")";
        return text;
    }

  private:
    // A subtree over `leaves` leaves whose ancestor sequence is `parent`; the
    // node is polytomic when polytomies[index] exists, binary otherwise.
    std::string subtree(int leaves, std::size_t index, const std::string& parent) {
        const std::string own = evolve(random_, parent, spec_.substitution, spec_.indel);
        if (leaves == 1) {
            char name[32];
            std::snprintf(name, sizeof name, "s%03d", static_cast<int>(out_.names.size()) + 1);
            out_.names.push_back(name);
            out_.sequences.push_back(own);
            return name;
        }
        const bool polytomic = index < spec_.polytomies.size();
        const int order = polytomic ? std::min(spec_.polytomies[index], leaves) : 2;
        const int needed = polytomic ? leavesNeeded(spec_.polytomies, index + 1) : 1;
        std::vector<int> parts = split(leaves, order, needed);
        std::vector<std::string> children;
        for (int c = 0; c < order; ++c)
            children.push_back(
                subtree(parts[c], c == 0 && polytomic ? index + 1 : spec_.polytomies.size(), own));
        if (spec_.resolved)
            return resolvedFan(children);
        std::string text = "(";
        for (int c = 0; c < order; ++c)
            text += (c > 0 ? "," : "") + children[static_cast<std::size_t>(c)];
        return text + ")";
    }

    // `leaves` in `order` nonempty parts, the first with at least `needed`
    std::vector<int> split(int leaves, int order, int needed) {
        std::vector<int> parts(order, 1);
        parts[0] = std::max(1, std::min(needed, leaves - (order - 1)));
        int rest = leaves - parts[0] - (order - 1);
        while (rest-- > 0)
            ++parts[random_.below(order)];
        return parts;
    }

    const WorkloadSpec& spec_;
    Workload& out_;
    SplitMix64 random_;
};

} // namespace

std::string randomSequence(SplitMix64& random, int length) {
    std::string text(length, 'A');
    for (char& c : text)
        c = BASES[random.below(4)];
    return text;
}

std::string evolve(SplitMix64& random, const std::string& parent, double substitution, double indel) {
    std::string child;
    child.reserve(parent.size() + 16);
    for (std::size_t p = 0; p < parent.size(); ++p) {
        if (random.uniform() < indel) {
            // Deletion of 1 to 3 bases
            p += random.below(3);
            continue;
        }
        char base = parent[p];
        if (random.uniform() < substitution)
            base = BASES[(std::string_view(BASES).find(base) + 1 + random.below(3)) % 4];
        child += base;
        if (random.uniform() < indel) {
            // Insertion of 1 to 3 bases
            for (int k = 1 + random.below(3); k > 0; --k)
                child += BASES[random.below(4)];
        }
    }
    if (child.empty())
        child = BASES[random.below(4)];
    return child;
}

Workload makeWorkload(const WorkloadSpec& spec) {
    Workload out;
    TreeGrower(spec, out).grow();
    return out;
}

bool writeWorkload(const WorkloadSpec& spec, const Workload& workload, const std::string& directory) {
    const std::string base = directory + "/" + spec.name;
    FILE* fasta = std::fopen((base + ".fasta").c_str(), "w");
    if (fasta == nullptr)
        return false;
    for (std::size_t s = 0; s < workload.names.size(); ++s) {
        std::fprintf(fasta, ">%s\n", workload.names[s].c_str());
        const std::string& text = workload.sequences[s];
        for (std::size_t c = 0; c < text.size(); c += 60)
            std::fprintf(fasta, "%s\n", text.substr(c, 60).c_str());
    }
    bool ok = std::fclose(fasta) == 0;
    FILE* tree = std::fopen((base + ".nwk").c_str(), "w");
    if (tree == nullptr)
        return false;
    std::fprintf(tree, "%s\n", workload.newick.c_str());
    return std::fclose(tree) == 0 && ok;
}

long long candidateCount(const WorkloadSpec& spec) {
    long long count = 1;
    for (int order : spec.polytomies)
        for (int odd = 2 * order - 3; odd > 1 && !spec.resolved; odd -= 2)
            count *= odd;
    return count;
}

const std::vector<WorkloadSpec>& standardWorkloads() {
    static const std::vector<WorkloadSpec> specs = {
        {"W1", 200, 1500, {}, 1, 0.02, 0.0003},
        {"W2", 30, 400, {5, 4}, 2, 0.05, 0.002},
        {"W3", 40, 1000, {3, 3, 3, 3}, 3, 0.04, 0.001},
        // The search against one tree: 150 sequences of 250 to 450 bases
        // under polytomies of orders 4, 4 and 3 (675 candidates), and the same
        // sequences on one binary resolution of that tree
        {"W4", 150, 350, {4, 4, 3}, 4, 0.04, 0.003},
        {"W4B", 150, 350, {4, 4, 3}, 4, 0.04, 0.003, 0, true},
        // One long binary tree, for the threads: 93 sequences of about 1500 bases
        {"W5", 93, 1500, {}, 5, 0.03, 0.0005},
        // The candidate search over ranks: one fan of order 9 over short
        // sequences (2027025 candidates, measured for a while), and 675
        // candidates of many longer ones
        {"C9", 9, 80, {9}, 9, 0.05, 0.002},
        {"C675", 150, 350, {4, 4, 3}, 675, 0.04, 0.001},
    };
    return specs;
}

const std::vector<WorkloadSpec>& longWorkloads() {
    static const std::vector<WorkloadSpec> specs = {
        {"L1", 20, 16500, {}, 4, 0.02, 0.0003, 20000},
        {"L2", 8, 30000, {}, 5, 0.02, 0.0003, 35000},
    };
    return specs;
}

} // namespace vorbex::bench
