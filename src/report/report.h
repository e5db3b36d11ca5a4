// Reporting: dumps of profiles and of alignment steps into the report file,
// and the result report.
#pragma once

#include "input/input.h"

namespace vorbex {

void dumpNode(const TreeNode* node);
void dumpStep(const TreeNode* parent, const TreeNode* first, const TreeNode* second);

// Under output bit 8, every leaf's aligned text from the trim position.
void writeAlignedSequences(int trimPosition);
// The candidate's summary line, for a tree with polytomies or under output bit 16.
// Under --scoring=sp the line ends with the sum of pairs.
void writeCandidateSummary(int candidateNumber, bool polytomic, int length, int conserv0, int conserv1,
                           double consIndex, double sumOfPairs);

// "RC=n ( WORDS )" on standard output and in the report file.
void writeResultReport(int code);

} // namespace vorbex
