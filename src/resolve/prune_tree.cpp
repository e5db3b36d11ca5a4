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

// Frees the node of entry `index`, whose entry closeUpTable then drops.
void removeFromTable(int index) {
    releaseNode(nodeTable[index]);
    nodeTable[index] = nullptr;
}

// Drops the entries removeFromTable emptied, keeping the order of the rest:
// one pass, however many went.
void closeUpTable() {
    int kept = 0;
    int leavesKept = 0;
    for (int i = 0; i < nodeCount; ++i) {
        if (nodeTable[i] == nullptr)
            continue;
        leavesKept += i < leafCount;
        nodeTable[kept++] = nodeTable[i];
    }
    for (int i = kept; i < nodeCount; ++i)
        nodeTable[i] = nullptr;
    if (kept != nodeCount)
        ++nodeTableOrder;
    nodeCount = kept;
    leafCount = leavesKept;
}

void forgetTree(int index) {
    releaseNode(nodeTable[index]);
    nodeTable[index] = nullptr;
    rootNode = nullptr;
    leafCount = 0;
    nodeCount = 0;
}

ResultCode removeLeavesWithoutSequence() {
    for (int i = 0; i < leafCount; ++i) {
        TreeNode* leaf = nodeTable[i];
        if (leaf->workText != nullptr)
            continue;
        // A tree of one leaf that has no sequence
        if (leaf->parent == nullptr) {
            forgetTree(i);
            return 0;
        }
        if (const ResultCode code = removeFromParent(leaf); code != 0) {
            closeUpTable();
            return code;
        }
        removeFromTable(i);
    }
    closeUpTable();
    return 0;
}

// Children stand before their parents in the table: one pass in its order
// meets every node with all it will ever lose lost already.
ResultCode removeThinInnerNodes() {
    ResultCode code = 0;
    for (int i = leafCount; i < nodeCount && code == 0; ++i) {
        TreeNode* node = nodeTable[i];
        if (node->childCount >= 2)
            continue;
        if (node->childCount == 1) {
            code = handOver(node, node->children[0]);
        } else if (node->parent != nullptr) {
            code = removeFromParent(node);
        } else {
            // The root lost everything: nothing is left to align, every
            // other entry is gone already
            forgetTree(i);
            return 0;
        }
        if (code == 0)
            removeFromTable(i);
    }
    closeUpTable();
    return code;
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
            if (!lightPasses && !allocateProfiles(node))
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
