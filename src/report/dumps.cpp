#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>

#include "base/output.h"
#include "report/report.h"

namespace vorbex {
namespace {

enum ColumnClass { DEFINITE, GAP, MIXED };

constexpr char BASE_LETTERS[BASE_COUNT] = {'A', 'C', 'G', 'T'};

// Unlike a gap column proper, a weight of exactly the tolerance still shows as a gap here
ColumnClass classifyColumn(const ProfileColumn& column) {
    if (isDefiniteColumn(column))
        return DEFINITE;
    for (double weight : column.weight)
        if (weight > TOLERANCE)
            return MIXED;
    return GAP;
}

// One cell of one row; a wide cell is 4 characters, a narrow one 2
void writeCell(const ProfileColumn& column, ColumnClass columnClass, int base, bool wide) {
    const double weight = column.weight[base];
    switch (columnClass) {
    case DEFINITE:
        reportOnly(wide ? "  %1d " : " %1d", weight < TOLERANCE ? 0 : 1);
        break;
    case GAP:
        reportOnly(wide ? "  - " : " -");
        break;
    case MIXED:
        reportOnly(" %03d", static_cast<int>(weight * 1000));
        break;
    }
}

bool isWideClass(ColumnClass columnClass) {
    return columnClass == MIXED;
}

// Four rows of `length` columns; a position is wide when `wideAt` says so
template <typename WideAt> void writeRows(const ProfileColumn* profile, int length, WideAt wideAt) {
    // No row is longer than the longest alignment
    if (length > longOptions.maxLength)
        length = longOptions.maxLength;
    for (int base = 0; base < BASE_COUNT; ++base) {
        reportOnly(" %c:", BASE_LETTERS[base]);
        for (int i = 0; i < length; ++i)
            writeCell(profile[i], classifyColumn(profile[i]), base, wideAt(i));
        reportOnly("\n");
    }
}

void flushReport() {
    if (reportFile != nullptr)
        std::fflush(reportFile);
}

} // namespace

void dumpNode(const TreeNode* node) {
    reportOnly("%-*s  L=%d\n", maxNameLength, node->name, node->savedLength);
    const ProfileColumn* profile = node->savedProfile;
    writeRows(profile, std::min(node->savedLength, node->columnRoom),
              [profile](int i) { return isWideClass(classifyColumn(profile[i])); });
    flushReport();
}

void dumpStep(const TreeNode* parent, const TreeNode* first, const TreeNode* second) {
    const int length = parent->workLength;
    // A node built otherwise than by the alignment may hold fewer columns
    const int shown = std::min({length, parent->columnRoom, first->columnRoom, second->columnRoom});
    // A position is wide in all three blocks when any of them is mixed there
    auto wideAt = [&](int i) {
        return isWideClass(classifyColumn(parent->workProfile[i])) ||
               isWideClass(classifyColumn(first->workProfile[i])) ||
               isWideClass(classifyColumn(second->workProfile[i]));
    };
    reportOnly("%-*s  L=%d\n", maxNameLength, parent->name, length);
    writeRows(parent->workProfile, shown, wideAt);
    for (const TreeNode* child : {first, second}) {
        reportOnly("%-*s  L=%d(%d)\n", maxNameLength, child->name, length, child->savedLength);
        writeRows(child->workProfile, shown, wideAt);
    }
    reportOnly("\n");
    flushReport();
}

} // namespace vorbex
