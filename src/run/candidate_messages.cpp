#include "run/candidate_messages.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "run/run.h"

namespace vorbex {
namespace {

struct Capture {
    FILE* report = nullptr;
    char* reportText = nullptr;
    std::size_t reportSize = 0;
    FILE* output = nullptr;
    char* outputText = nullptr;
    std::size_t outputSize = 0;
    FILE* savedReport = nullptr;
    FILE* savedOutput = nullptr;
};

Capture capture;

void append(std::string& bytes, const void* data, std::size_t size) {
    bytes.append(static_cast<const char*>(data), size);
}

} // namespace

bool beginCandidateCapture() {
    capture = Capture{};
    capture.report = open_memstream(&capture.reportText, &capture.reportSize);
    capture.output = open_memstream(&capture.outputText, &capture.outputSize);
    if (capture.report == nullptr || capture.output == nullptr)
        return false;
    capture.savedReport = reportFile;
    capture.savedOutput = stdout;
    reportFile = capture.report;
    stdout = capture.output;
    return true;
}

std::string packCandidateMessage(MessageKind kind, int number, int code, const AlignmentScore& score,
                                 const CandidateCapture& files) {
    std::fclose(capture.report);
    std::fclose(capture.output);
    reportFile = capture.savedReport;
    stdout = capture.savedOutput;
    const MessageHeader header{kind,
                               number,
                               code,
                               score,
                               sharingCounters,
                               capture.reportSize,
                               capture.outputSize,
                               files.tree.size(),
                               files.rows.size(),
                               files.shape.size()};
    std::string bytes;
    bytes.reserve(sizeof header + capture.reportSize + capture.outputSize + files.tree.size() +
                  files.rows.size() + files.shape.size());
    append(bytes, &header, sizeof header);
    append(bytes, capture.reportText, capture.reportSize);
    append(bytes, capture.outputText, capture.outputSize);
    bytes += files.tree;
    bytes += files.rows;
    bytes += files.shape;
    std::free(capture.reportText);
    std::free(capture.outputText);
    capture = Capture{};
    return bytes;
}

bool unpackCandidateMessage(const char* data, std::size_t size, CandidateMessage& message) {
    if (size < sizeof message.header)
        return false;
    std::memcpy(&message.header, data, sizeof message.header);
    const MessageHeader& h = message.header;
    if (size - sizeof h != h.reportBytes + h.outputBytes + h.treeBytes + h.rowsBytes + h.shapeBytes)
        return false;
    const char* at = data + sizeof h;
    message.report.assign(at, h.reportBytes);
    at += h.reportBytes;
    message.output.assign(at, h.outputBytes);
    at += h.outputBytes;
    message.files.tree.assign(at, h.treeBytes);
    at += h.treeBytes;
    message.files.rows.assign(at, h.rowsBytes);
    at += h.rowsBytes;
    message.files.shape.assign(at, h.shapeBytes);
    return true;
}

void writeCandidateTexts(const CandidateMessage& message) {
    if (reportFile != nullptr)
        std::fwrite(message.report.data(), 1, message.report.size(), reportFile);
    std::fwrite(message.output.data(), 1, message.output.size(), stdout);
}

} // namespace vorbex
