#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/output.h"
#include "base/result_code.h"
#include "base/settings.h"
#include "resolve/resolve.h"

namespace vorbex {

std::vector<TreeNode*> polytomicNodes;
int polytomicCount = 0;
int maxPolytomyOrder = 0;
double treesToTry = 1.0;

double factorial(int n) {
    double product = 1.0;
    for (int i = 2; i <= n; ++i)
        product *= i;
    return product;
}

double resolutionCount(int order) {
    // Past the exhaustive search's orders the factorials would overflow first
    if (order > MAX_POLYTOMY_ORDER) {
        double count = 1.0;
        for (int odd = 3; odd <= 2 * order - 3; odd += 2)
            count *= odd;
        return count;
    }
    return factorial(2 * order - 3) / (factorial(order - 2) * std::pow(2.0, order - 2));
}

namespace {

// Takes `node` out of its parent's child list, the later children moving up.
ResultCode removeFromParent(TreeNode* node) {
    TreeNode* parent = node->parent;
    TreeNode** children = parent->manyChildren != nullptr ? parent->manyChildren : parent->children;
    for (int i = 0; i < parent->childCount; ++i) {
        if (children[i] != node)
            continue;
        for (int j = i + 1; j < parent->childCount; ++j)
            children[j - 1] = children[j];
        children[--parent->childCount] = nullptr;
        return 0;
    }
    return ERINT;
}

// Gives `node`'s slot in its parent (or the root) to `heir`.
ResultCode handOver(TreeNode* node, TreeNode* heir) {
    TreeNode* parent = node->parent;
    if (parent == nullptr) {
        rootNode = heir;
        heir->parent = nullptr;
        return 0;
    }
    TreeNode** children = parent->manyChildren != nullptr ? parent->manyChildren : parent->children;
    for (int i = 0; i < parent->childCount; ++i) {
        if (children[i] == node) {
            children[i] = heir;
            heir->parent = parent;
            return 0;
        }
    }
    return ERINT;
}

// Drops entry `index` of the table, keeping the order of the rest, and frees its node.
void removeFromTable(int index) {
    TreeNode* node = nodeTable[index];
    for (int i = index + 1; i < nodeCount; ++i)
        nodeTable[i - 1] = nodeTable[i];
    nodeTable[--nodeCount] = nullptr;
    releaseNode(node);
}

void forgetTree(int index) {
    releaseNode(nodeTable[index]);
    nodeTable[index] = nullptr;
    rootNode = nullptr;
    leafCount = 0;
    nodeCount = 0;
}

ResultCode removeLeavesWithoutSequence() {
    int i = 0;
    while (i < leafCount) {
        TreeNode* leaf = nodeTable[i];
        if (leaf->workText != nullptr) {
            ++i;
            continue;
        }
        // A tree of one leaf that has no sequence
        if (leaf->parent == nullptr) {
            forgetTree(i);
            return 0;
        }
        if (const ResultCode code = removeFromParent(leaf); code != 0)
            return code;
        removeFromTable(i);
        --leafCount;
    }
    return 0;
}

ResultCode removeThinInnerNodes() {
    bool removed = true;
    while (removed) {
        removed = false;
        int i = leafCount;
        while (i < nodeCount) {
            TreeNode* node = nodeTable[i];
            if (node->childCount >= 2) {
                ++i;
                continue;
            }
            if (node->childCount == 1) {
                if (const ResultCode code = handOver(node, node->children[0]); code != 0)
                    return code;
            } else if (node->parent != nullptr) {
                if (const ResultCode code = removeFromParent(node); code != 0)
                    return code;
            } else {
                // The root lost everything: nothing is left to align
                forgetTree(i);
                return 0;
            }
            removeFromTable(i);
            removed = true;
        }
    }
    return 0;
}

ResultCode reportActualTree() {
    std::printf("Actual tree selected (overall %d nodes, %d leaves)\n", nodeCount, leafCount);
    if (!(runSettings.outputMask & OUT_VERBOSE))
        return 0;
    reportOnly("\nActual tree (overall %d nodes, %d leaves):\n", nodeCount, leafCount);
    char* text = static_cast<char*>(std::calloc(newickTextSize(), 1));
    if (text == nullptr)
        return ERMEM;
    const ResultCode code = echoTree(rootNode, text);
    std::free(text);
    return code;
}

ResultCode takeCensus() {
    maxPolytomyOrder = 0;
    polytomicCount = 0;
    polytomicNodes.clear();
    treesToTry = 1.0;
    const bool exhaustive = longOptions.search == Search::EXHAUSTIVE;
    const bool verbose = runSettings.outputMask & OUT_VERBOSE;
    for (int i = nodeCount - 1; i >= leafCount; --i) {
        TreeNode* node = nodeTable[i];
        const int order = node->childCount;
        if (order <= 2) {
            if (!allocateProfiles(node))
                return ERMEM;
            continue;
        }
        if (exhaustive && polytomicCount == MAX_POLYTOMIC_NODES) {
            reportBoth("Maximum number of polytomic nodes exceeded\n");
            return ERTREE;
        }
        // Its resolution count would not fit a 32-bit count, nor its tables any memory
        if (exhaustive && order > MAX_POLYTOMY_ORDER) {
            reportBoth("Polytomic(%d) node \"%s\" has more children than can be resolved (at most %d)\n",
                       order, node->name, MAX_POLYTOMY_ORDER);
            return ERTREE;
        }
        if (order > maxPolytomyOrder)
            maxPolytomyOrder = order;
        std::printf("Polytomic(%d) node \"%s\" found in actual tree\n", order, node->name);
        if (verbose)
            reportOnly("Polytomic(%d) node \"%s\" found in actual tree\n", order, node->name);
        polytomicNodes.push_back(node);
        ++polytomicCount;
        const double variants = resolutionCount(order);
        treesToTry *= variants;
        // Past a 32-bit count only the heuristic search's rearrangements reach them
        node->variantCount = order <= MAX_POLYTOMY_ORDER ? static_cast<int>(variants) : 0;
    }
    return 0;
}

} // namespace

int pruneTree() {
    if (const ResultCode code = removeLeavesWithoutSequence(); code != 0 || rootNode == nullptr)
        return code;
    if (const ResultCode code = removeThinInnerNodes(); code != 0 || rootNode == nullptr)
        return code;
    if (const ResultCode code = reportActualTree(); code != 0)
        return code;
    if (const ResultCode code = takeCensus(); code != 0)
        return code;
    if (polytomicCount != 0 && !std::isfinite(treesToTry)) {
        // Only the heuristic search meets so many
        std::printf("Overall %d polytomic node(s), more than 1e308 trees to be tried\n", polytomicCount);
        if (runSettings.outputMask & OUT_VERBOSE)
            reportOnly("Overall %d polytomic node(s), more than 1e308 trees to be tried\n", polytomicCount);
    } else if (polytomicCount != 0) {
        std::printf("Overall %d polytomic node(s), %g trees to be tried\n", polytomicCount, treesToTry);
        if (runSettings.outputMask & OUT_VERBOSE)
            reportOnly("Overall %d polytomic node(s), %g trees to be tried\n", polytomicCount, treesToTry);
    }
    return 0;
}

} // namespace vorbex
