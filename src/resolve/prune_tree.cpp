#include <cmath>

#include "resolve/resolve.h"

namespace vorbex {

TreeNode* polytomicNodes[MAX_POLYTOMIC_NODES];
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
    return factorial(2 * order - 3) / (factorial(order - 2) * std::pow(2.0, order - 2));
}

int pruneTree() {
    return 0;
} // not yet built

} // namespace vorbex
