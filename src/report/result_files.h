// Result files: the best alignment, its tree and the table of candidate
// trees. Each is written under a temporary name beside its target and put in
// place only when the run ends well, so a failed or killed run never leaves a
// half-written result.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "base/result_code.h"
#include "base/settings.h"

namespace vorbex {

// One row of an alignment file.
struct AlignmentRow {
    std::string header;  // the header line as read, for FASTA
    std::string name;    // the name, one word for the other formats
    std::string columns; // letters as read, '-' for a gap
};

// The name with every blank made '_'.
std::string oneWordName(const std::string& name);
// `comment`, when given, goes where the format has room for one (Stockholm's #=GF CC).
void writeAlignment(FILE* out, AlignmentFormat format, const std::vector<AlignmentRow>& rows,
                    const std::string& comment = {});

// What the result files need of one candidate, taken while its tree stands.
struct CandidateCapture {
    std::string tree; // NEWICK text with its ';'
    std::string rows; // the aligned rows, one "record columns" line per leaf in tree order
    // For --refine: the tree as NEWICK of the rows' indices, and the rows untrimmed
    std::string shape;
};

bool resultFilesWanted();
// Refuses, with a message and ERIO, a target that is an input file, a
// directory, or the same file as the report or another target. Call before
// the report is opened.
[[nodiscard]] ResultCode checkResultTargets();
// Creates each target's temporary file; ERIO after a message when one cannot be.
[[nodiscard]] ResultCode openResultFiles();
// ERDATA after a message when the format needs one-word names and two of the
// aligned sequences' names become the same word.
[[nodiscard]] ResultCode checkResultNames();
// Takes from the candidate standing in the tree what the files need:
// `mayBeBest` when it is the best this process has seen.
void captureCandidate(int trimPosition, bool mayBeBest, CandidateCapture& capture);
// Called in candidate order with every candidate's values.
// The rows and shape of the best candidate so far, for --refine.
std::vector<std::string> bestAlignmentRows();
const std::string& bestAlignmentShape();
// Replaces the best alignment's rows (same order) and its score; returns
// the length written, after -T's trim.
int replaceBestAlignment(const std::vector<std::string>& rows, double sumOfPairs);
void recordCandidate(int number, int length, int conserv0, int conserv1, double consIndex, double sumOfPairs,
                     bool isBest, const CandidateCapture& capture);
// Writes every file in full under its temporary name and puts it in place;
// ERIO after a message when one cannot be written.
[[nodiscard]] ResultCode commitResultFiles();
// Removes the temporary files. Once the run is under way the report says so.
void discardResultFiles();

} // namespace vorbex
