#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <strings.h>
#include <vector>

#include "base/output.h"
#include "base/result_code.h"
#include "input/input.h"
#include "input/name_index.h"

namespace vorbex {

std::vector<SequenceRecord> sequenceRecords;

namespace {

constexpr const char* COMMENT_STARTS = " <$^:%@#*/\\;!?()";
constexpr const char* SKIPPED_CHARACTERS = "-_=";

// A physical line is read in pieces of one more character than the longest
// record, each handled and counted as a line of its own.
int lineReadLimit() {
    return longOptions.maxLength + 1;
}

// The line as read, and the record being read: its text and its columns,
// grown with the record up to the longest allowed.
struct Scratch {
    char* line = static_cast<char*>(std::calloc(static_cast<std::size_t>(lineReadLimit()) + 2, 1));
    std::vector<char> text;
    std::vector<ProfileColumn> profile;
    Scratch() = default;
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    ~Scratch() { std::free(line); }
    bool complete() const { return line != nullptr; }
};

// One read: the characters up to and including the next line feed, at most
// lineReadLimit(). -1 when nothing is left to read.
int readPiece(char* line) {
    const int limit = lineReadLimit();
    int length = 0;
    int c = 0;
    while (length < limit && (c = std::getc(inputFile)) != EOF) {
        line[length++] = static_cast<char>(c);
        if (c == '\n')
            break;
    }
    line[length] = '\0';
    return length == 0 ? -1 : length;
}

// The rest of a physical line that was cut at the read limit, kept in `rest`
// when given.
void skipRestOfLine(std::string* rest) {
    int c;
    while ((c = std::getc(inputFile)) != EOF && c != '\n')
        if (rest != nullptr)
            rest->push_back(static_cast<char>(c));
}

void dropLineEnd(std::string& line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
}

bool isLineEnd(char c) {
    return c == '\n' || c == '\r';
}

char toLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Gives the node its own copy of the record: both texts and both profiles
// (unless they are deferred, to be made from the text).
ResultCode storeRecord(TreeNode* node, const Scratch& scratch) {
    const int length = node->workLength;
    // Room for the alignments the record is likely to take part in, so that
    // it seldom has to grow
    const int room = scaledColumnCapacity(length, longOptions.maxLength);
    if (!storeTexts(node, scratch.text.data(), length) || !reserveWorkText(node, room + 1))
        return ERMEM;
    node->savedLength = length;
    if (!lightPasses) {
        if (!reserveProfiles(node, room))
            return ERMEM;
        for (int c = 0; c < length; ++c)
            node->workProfile[c] = node->savedProfile[c] = scratch.profile[static_cast<std::size_t>(c)];
    }
    if (length > columnCapacity)
        columnCapacity = length;
    return 0;
}

struct ReaderState {
    TreeNode* currentRecord = nullptr;
    bool headerSeen = false;
    bool recordTooLong = false;
    int extraRecords = 0; // passed over: not in the tree
    int lineNumber = 1;
    ResultCode result = 0;
};

// The name runs from behind ">" to the first "|" (or the first blank, when
// names are words); trailing blanks and tabs go, but never its first character.
void headerName(const char* line, char* name) {
    const char* ends = longOptions.firstWordNames ? "| \t" : "|";
    int length = 0;
    for (const char* c = line + 1; *c != '\0' && std::strchr(ends, *c) == nullptr && length < MAX_NAME_LENGTH;
         ++c)
        name[length++] = *c;
    while (length > 1 && (name[length - 1] == ' ' || name[length - 1] == '\t'))
        --length;
    name[length] = '\0';
}

ResultCode readHeader(ReaderState& state, Scratch& scratch, std::string& wholeLine) {
    state.headerSeen = true;
    if (TreeNode* record = state.currentRecord; record != nullptr) {
        state.currentRecord = nullptr;
        if (record->workLength == 0) {
            reportBoth("No sequence for \"%s\" in line %d\n", record->name, state.lineNumber);
            state.result |= ERDATA;
        } else if (const ResultCode code = storeRecord(record, scratch); code != 0) {
            return code;
        }
    }
    char name[NAME_SIZE];
    headerName(scratch.line, name);
    TreeNode* node = findNode(name);
    // Under --star-tree each new name is a leaf; the root holds no sequence
    if (longOptions.starTree && (node == nullptr || node == rootNode)) {
        int code = 0;
        node = addStarLeaf(name, code);
        if (node == nullptr)
            return code;
    }
    if (node == nullptr && longOptions.ignoreExtraSequences) {
        ++state.extraRecords;
        return 0;
    }
    if (node == nullptr) {
        reportBoth("Unknown name \"%s\" in line %d\n", name, state.lineNumber);
        state.result |= ERDATA;
        return 0;
    }
    // A second record must not touch the first one
    if (node->workText != nullptr) {
        reportBoth("Second sequence for \"%s\" in line %d\n", node->name, state.lineNumber);
        state.result |= ERDATA;
        return 0;
    }
    state.currentRecord = node;
    state.recordTooLong = false;
    node->workLength = 0;
    scratch.text.clear();
    scratch.profile.clear();
    sequenceRecords.push_back({std::move(wholeLine), name, "", node});
    return 0;
}

void readSequenceLine(ReaderState& state, Scratch& scratch, int length) {
    if (!state.headerSeen) {
        reportBoth("No name for line %d\n", state.lineNumber);
        state.result |= ERDATA;
        return;
    }
    // The record of an unknown or repeated name: already reported at its header
    TreeNode* record = state.currentRecord;
    if (record == nullptr)
        return;
    for (int i = 0; i < length; ++i) {
        const char c = toLower(scratch.line[i]);
        if (std::strchr(SKIPPED_CHARACTERS, c) != nullptr && c != '\0')
            continue;
        ProfileColumn column;
        if (nucleotideColumn(c, column) != 0) {
            reportBoth("Invalid character '%c' in line %d(%d)\n", c, state.lineNumber, i + 1);
            state.result |= ERDATA;
        }
        // Nothing beyond the longest alignment is kept; the record is refused once
        if (record->workLength >= longOptions.maxLength) {
            if (!state.recordTooLong) {
                reportBoth("String too long in line %d\n", state.lineNumber);
                state.result |= ERDATA;
                state.recordTooLong = true;
            }
            continue;
        }
        scratch.text.push_back(c);
        sequenceRecords.back().letters.push_back(scratch.line[i]);
        scratch.profile.push_back(column);
        ++record->workLength;
    }
}

int readSequenceFile() {
    columnCapacity = 0;
    sequenceRecords.clear();
    Scratch scratch;
    if (!scratch.complete())
        return ERMEM;
    ReaderState state;
    // Only the start of a physical line can be a header or a comment; the
    // pieces of a cut sequence line go on with the sequence
    bool atLineStart = true;
    for (int length; (length = readPiece(scratch.line)) >= 0; ++state.lineNumber) {
        const bool cut = length == lineReadLimit() && scratch.line[length - 1] != '\n';
        const bool lineStart = atLineStart;
        atLineStart = !cut;
        const char first = scratch.line[0];
        const bool header = lineStart && first == '>';
        const bool comment = lineStart && (first == '\0' || std::strchr(COMMENT_STARTS, first) != nullptr);
        // Header and comment lines are read whole, so that their tail never passes for a sequence line
        std::string wholeLine;
        if (header)
            wholeLine.assign(scratch.line, static_cast<std::size_t>(length));
        if (cut && (header || comment)) {
            skipRestOfLine(header ? &wholeLine : nullptr);
            atLineStart = true;
        }
        if (comment)
            continue;
        if (length > 0 && isLineEnd(scratch.line[length - 1]))
            scratch.line[--length] = '\0';
        if (length > 0 && isLineEnd(scratch.line[length - 1]))
            scratch.line[--length] = '\0';
        if (length == 0)
            continue;
        if (header) {
            dropLineEnd(wholeLine);
            if (const ResultCode code = readHeader(state, scratch, wholeLine); code != 0)
                return code;
        } else {
            readSequenceLine(state, scratch, length);
        }
    }
    if (std::ferror(inputFile))
        state.result |= ERIO;
    if (state.extraRecords > 0)
        reportBoth("%d sequences not in the tree passed over\n", state.extraRecords);
    if (TreeNode* record = state.currentRecord; record != nullptr) {
        if (record->workLength == 0) {
            reportBoth("No sequence for \"%s\" in line %d\n", record->name, state.lineNumber);
            state.result |= ERDATA;
        }
        if (const ResultCode code = storeRecord(record, scratch); code != 0)
            return code;
    }
    return state.result;
}

} // namespace

int readSequences() {
    try {
        return readSequenceFile();
    } catch (const std::bad_alloc&) {
        // A record longer than the memory holds
        return ERMEM;
    }
}

} // namespace vorbex
