// What a process that evaluated a candidate tells the one that writes the
// report: the worker processes of one machine send it through a pipe, the
// ranks of an MPI run as one message.
#pragma once

#include <cstddef>
#include <string>

#include "align/align.h"
#include "align/subtree_cache.h"
#include "report/result_files.h"

namespace vorbex {

enum MessageKind : int {
    CANDIDATE_DONE = 1, // a candidate's report text, score and capture for the result files
    CANDIDATE_FAILED,   // the run ended inside a candidate (an overflow): partial texts and the code
    BUILD_FAILED,       // nextCandidateTree failed building candidate `number`
    ALL_BUILT,          // no candidate is left; the sender's sharing counters
};

struct MessageHeader {
    int kind;
    int number;
    int code;
    AlignmentScore score;
    SharingCounters counters;
    std::size_t reportBytes; // then the report text
    std::size_t outputBytes; // then the standard output text
    std::size_t treeBytes;   // then the capture's tree
    std::size_t rowsBytes;   // and its rows
    std::size_t shapeBytes;  // and its shape
};

struct CandidateMessage {
    MessageHeader header;
    std::string report;
    std::string output;
    CandidateCapture files;
};

// From here on, the report text and standard output go into memory, until
// packCandidateMessage gives them back (false when memory cannot be had).
bool beginCandidateCapture();
// Ends the capture, with reportFile and stdout as they were before it, and
// packs the message: header, then report, output, tree and rows.
std::string packCandidateMessage(MessageKind kind, int number, int code, const AlignmentScore& score,
                                 const CandidateCapture& files = {});
// False when `size` bytes are not one whole message.
bool unpackCandidateMessage(const char* data, std::size_t size, CandidateMessage& message);
// The message's texts into the report and standard output of this process.
void writeCandidateTexts(const CandidateMessage& message);

} // namespace vorbex
