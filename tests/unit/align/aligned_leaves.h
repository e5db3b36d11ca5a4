// Test fixtures: leaves built from aligned texts, and a captured report file.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "input/input.h"
#include "run/run.h"

namespace vorbex::testing {

// Points the report file at a temporary file for the life of the object.
class ReportCapture {
  public:
    ReportCapture() : saved_(reportFile), file_(std::tmpfile()) { reportFile = file_; }
    ~ReportCapture() {
        reportFile = saved_;
        std::fclose(file_);
    }
    ReportCapture(const ReportCapture&) = delete;
    ReportCapture& operator=(const ReportCapture&) = delete;

    std::string text() {
        std::fflush(file_);
        std::rewind(file_);
        std::string result;
        for (int c; (c = std::fgetc(file_)) != EOF;)
            result += static_cast<char>(c);
        return result;
    }

  private:
    FILE* saved_;
    FILE* file_;
};

// A leaf as the backward pass leaves it: its text holds the sequence without
// gaps, its working profile one column per aligned position ('-' a gap column).
inline TreeNode* makeAlignedLeaf(const char* name, const std::string& aligned) {
    TreeNode* leaf = createNode();
    std::snprintf(leaf->name, NAME_SIZE, "%s", name);
    leaf->workText = allocateText();
    leaf->sourceText = allocateText();
    if (!allocateProfiles(leaf))
        return leaf;
    int length = 0;
    for (std::size_t i = 0; i < aligned.size(); ++i) {
        if (aligned[i] == '-')
            continue; // the profile column stays all zero
        nucleotideColumn(aligned[i], leaf->workProfile[i]);
        leaf->savedProfile[length] = leaf->workProfile[i];
        leaf->workText[length++] = aligned[i];
    }
    std::memcpy(leaf->sourceText, leaf->workText, TEXT_SIZE);
    leaf->savedLength = length;
    leaf->workLength = static_cast<int>(aligned.size());
    return leaf;
}

// Fresh settings and a table holding only the given leaves.
inline void setUpLeaves(const std::vector<std::string>& alignedTexts) {
    if (initialiseRun() != 0)
        return;
    for (std::size_t i = 0; i < alignedTexts.size(); ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "s%zu", i + 1);
        nodeTable[i] = makeAlignedLeaf(name, alignedTexts[i]);
    }
    leafCount = nodeCount = static_cast<int>(alignedTexts.size());
}

inline void releaseLeaves() {
    for (int i = 0; i < nodeCount; ++i)
        releaseNode(nodeTable[i]);
    resetNodeTable();
}

} // namespace vorbex::testing
