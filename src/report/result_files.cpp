#include "report/result_files.h"

#include <algorithm>
#include <pthread.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

#include "base/output.h"
#include "input/input.h"

namespace vorbex {
namespace {

struct ResultFile {
    const std::string* target = nullptr; // empty when not asked for
    std::string temporary;               // empty until created
    FILE* stream = nullptr;
};

enum ResultKind { ALIGNMENT_FILE, TREE_FILE, CANDIDATES_FILE, RESULT_KINDS };

struct ResultState {
    ResultFile files[RESULT_KINDS];
    bool underWay = false;                                // every temporary file exists: the run has begun
    long bestFlagOffset = -1;                             // in the table, the flag of the best row so far
    CandidateCapture best;                                // of the best candidate so far
    double bestSumOfPairs = 0.0;                          // its score under --scoring=sp
    std::string treeText;                                 // room for writeNewick
    std::unordered_map<const TreeNode*, int> leafRecords; // leaf -> index in sequenceRecords
};

ResultState state;

// The temporary names as the signal handler sees them: an interrupted run
// removes its temporary files, as a failed one does.
const char* volatile temporaryNames[RESULT_KINDS];
constexpr int ENDING_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};

void removeTemporariesAndEnd(int signal) {
    for (const char* name : temporaryNames)
        if (name != nullptr)
            unlink(name);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void guardTemporaries(bool on) {
    for (int kind = 0; kind < RESULT_KINDS; ++kind) {
        const std::string& name = state.files[kind].temporary;
        temporaryNames[kind] = on && !name.empty() ? name.c_str() : nullptr;
    }
    for (const int signal : ENDING_SIGNALS)
        std::signal(signal, on ? &removeTemporariesAndEnd : SIG_DFL);
}

const std::string& targetOf(ResultKind kind) {
    switch (kind) {
    case ALIGNMENT_FILE:
        return longOptions.alignmentFileName;
    case TREE_FILE:
        return longOptions.treeFileName;
    default:
        return longOptions.candidatesFileName;
    }
}

bool wanted(ResultKind kind) {
    return !targetOf(kind).empty();
}

// The same path once resolved, or the same existing file under another name.
bool isSameTarget(const std::string& a, const std::string& b) {
    std::error_code error;
    const auto resolved = [&error](const std::string& name) {
        return error ? std::filesystem::path{}
                     : std::filesystem::weakly_canonical(std::filesystem::absolute(name, error), error);
    };
    const auto first = resolved(a);
    const auto second = resolved(b);
    if (!error && first == second)
        return true;
    struct stat named, other;
    return stat(a.c_str(), &named) == 0 && stat(b.c_str(), &other) == 0 && named.st_dev == other.st_dev &&
           named.st_ino == other.st_ino;
}

bool isDirectory(const std::string& name) {
    struct stat status;
    return stat(name.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

void closeAndRemove(ResultFile& file) {
    if (file.stream != nullptr)
        std::fclose(file.stream);
    file.stream = nullptr;
    if (!file.temporary.empty())
        std::remove(file.temporary.c_str());
    file.temporary.clear();
}

void writeTableHeader(FILE* out) {
    std::fprintf(out, longOptions.scoring == Scoring::SUM_OF_PAIRS
                          ? "candidate\tMA_length\tConserv0\tConserv1\tConsIndex\tSP\tbest\ttree\n"
                          : "candidate\tMA_length\tConserv0\tConserv1\tConsIndex\tbest\ttree\n");
}

// Records of the aligned leaves, found once per process
void mapLeavesToRecords() {
    if (!state.leafRecords.empty())
        return;
    std::unordered_map<const TreeNode*, int> recordOfNode;
    for (std::size_t r = 0; r < sequenceRecords.size(); ++r)
        recordOfNode.emplace(sequenceRecords[r].node, static_cast<int>(r));
    for (int entry = 0; entry < leafCount; ++entry) {
        const auto found = recordOfNode.find(nodeTable[entry]);
        if (found != recordOfNode.end())
            state.leafRecords.emplace(nodeTable[entry], found->second);
    }
}

std::string newickOfCandidate() {
    if (state.treeText.empty())
        state.treeText.resize(newickTextSize());
    char* const text = state.treeText.data();
    char* end = writeNewick(rootNode, text, text + state.treeText.size() - 1);
    if (end == nullptr)
        return ";";
    return std::string(text, static_cast<std::size_t>(end - text)) + ";";
}

// A leaf's row from its first reported column: the letters as read, '-' where
// the alignment put a gap.
void appendRow(const TreeNode* leaf, int trimPosition, std::string& rows) {
    const auto found = state.leafRecords.find(leaf);
    if (found == state.leafRecords.end())
        return;
    const std::string& letters = sequenceRecords[static_cast<std::size_t>(found->second)].letters;
    const int textLength = workTextLength(leaf);
    const int columns = std::min(textLength, leaf->workLength);
    rows += std::to_string(found->second);
    rows += ' ';
    std::size_t next = 0;
    for (int i = 0; i < columns; ++i) {
        const bool gap = isGapColumnOf(leaf, i);
        const char letter = gap ? '-' : next < letters.size() ? letters[next] : leaf->workText[i];
        if (!gap)
            ++next;
        if (i >= trimPosition)
            rows += letter;
    }
    rows += '\n';
}

// The tree below `node` as NEWICK of row indices, leaving out what holds no row;
// false when nothing below it does.
bool appendShape(const TreeNode* node, const std::unordered_map<const TreeNode*, int>& rowOf,
                 std::string& out) {
    if (node->childCount == 0) {
        const auto found = rowOf.find(node);
        if (found == rowOf.end())
            return false;
        out += std::to_string(found->second);
        return true;
    }
    std::string inner;
    int written = 0;
    // A labelled inner node's own sequence hangs beside its children
    if (const auto own = rowOf.find(node); own != rowOf.end()) {
        inner += std::to_string(own->second);
        ++written;
    }
    for (int c = 0; c < node->childCount; ++c) {
        std::string part;
        if (appendShape(childrenOf(node)[c], rowOf, part)) {
            inner += written++ > 0 ? "," : "";
            inner += part;
        }
    }
    if (written == 0)
        return false;
    out += '(' + inner + ')';
    return true;
}

// The captured rows' "record columns" lines as pairs.
std::vector<std::pair<int, std::string>> capturedRows(const std::string& text) {
    std::vector<std::pair<int, std::string>> rows;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t blank = text.find(' ', at);
        const std::size_t end = text.find('\n', at);
        if (blank == std::string::npos || end == std::string::npos || blank > end)
            break;
        rows.emplace_back(std::atoi(text.c_str() + at), text.substr(blank + 1, end - blank - 1));
        at = end + 1;
    }
    return rows;
}

std::vector<AlignmentRow> bestRows() {
    std::vector<std::pair<int, std::string>> kept = capturedRows(state.best.rows);
    if (longOptions.rowOrder == RowOrder::INPUT)
        std::stable_sort(kept.begin(), kept.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    const bool oneWord = longOptions.alignmentFormat != AlignmentFormat::FASTA;
    std::vector<AlignmentRow> rows;
    for (auto& [record, columns] : kept) {
        const SequenceRecord& read = sequenceRecords[static_cast<std::size_t>(record)];
        rows.push_back({read.header, oneWord ? oneWordName(read.name) : read.name, std::move(columns)});
    }
    return rows;
}

// The best alignment's score under --scoring=sp, as the best line gives it; empty otherwise.
std::string sumOfPairsNote() {
    if (longOptions.scoring != Scoring::SUM_OF_PAIRS)
        return {};
    char note[64];
    std::snprintf(note, sizeof note, "SP=%.4f", state.bestSumOfPairs);
    return note;
}

// Everything written and on disk, the stream closed; false on any failure.
bool finishFile(ResultFile& file) {
    FILE* stream = file.stream;
    file.stream = nullptr;
    bool ok = std::fflush(stream) == 0 && std::ferror(stream) == 0;
    // The temporary file was made private; the result gets the usual permissions
    const mode_t mask = umask(0);
    umask(mask);
    ok = fchmod(fileno(stream), 0666 & ~mask) == 0 && ok;
    ok = fsync(fileno(stream)) == 0 && ok;
    return std::fclose(stream) == 0 && ok;
}

void writeContents(ResultKind kind, FILE* out) {
    switch (kind) {
    case ALIGNMENT_FILE:
        writeAlignment(out, longOptions.alignmentFormat, bestRows(), sumOfPairsNote());
        break;
    case TREE_FILE:
        std::fprintf(out, "%s\n", state.best.tree.c_str());
        break;
    default:
        // The flag of the best row, written 0 like every other
        if (state.bestFlagOffset >= 0 && std::fseek(out, state.bestFlagOffset, SEEK_SET) == 0)
            std::fputc('1', out);
        break;
    }
}

} // namespace

bool resultFilesWanted() {
    return wanted(ALIGNMENT_FILE) || wanted(TREE_FILE) || wanted(CANDIDATES_FILE);
}

ResultCode checkResultTargets() {
    for (int kind = 0; kind < RESULT_KINDS; ++kind) {
        const std::string& target = targetOf(static_cast<ResultKind>(kind));
        if (target.empty())
            continue;
        if (isSameFile(target.c_str(), inputFile) || isSameFile(target.c_str(), treeFile)) {
            std::printf("ERROR: Output file \"%s\" is an input file", target.c_str());
            return ERIO;
        }
        bool twice = isSameTarget(target, runSettings.outputFileName);
        for (int earlier = 0; earlier < kind; ++earlier) {
            const std::string& other = targetOf(static_cast<ResultKind>(earlier));
            twice = twice || (!other.empty() && isSameTarget(target, other));
        }
        if (twice) {
            std::printf("ERROR: Output file \"%s\" is named twice", target.c_str());
            return ERIO;
        }
        if (isDirectory(target)) {
            std::printf("ERROR: Cannot open output file \"%s\"", target.c_str());
            return ERIO;
        }
    }
    return 0;
}

// Holds back the ending signals while it lives: a temporary file made but not
// yet known to the handler would outlive an interrupted run.
class EndingSignalsHeld {
  public:
    EndingSignalsHeld() {
        sigset_t ending;
        sigemptyset(&ending);
        for (const int signal : ENDING_SIGNALS)
            sigaddset(&ending, signal);
        pthread_sigmask(SIG_BLOCK, &ending, &previous_);
    }
    ~EndingSignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

  private:
    sigset_t previous_;
};

ResultCode openResultFiles() {
    const EndingSignalsHeld held;
    state.underWay = false;
    state.bestFlagOffset = -1;
    state.best = CandidateCapture{};
    state.bestSumOfPairs = 0.0;
    state.leafRecords.clear();
    for (int kind = 0; kind < RESULT_KINDS; ++kind) {
        ResultFile& file = state.files[kind];
        file = ResultFile{&targetOf(static_cast<ResultKind>(kind)), "", nullptr};
        if (file.target->empty())
            continue;
        std::string name = *file.target + ".vorbex-XXXXXX";
        const int fd = mkstemp(name.data());
        if (fd >= 0) {
            file.temporary = name;
            file.stream = fdopen(fd, "w");
            if (file.stream == nullptr)
                close(fd);
        }
        if (file.stream == nullptr) {
            std::printf("ERROR: Cannot open output file \"%s\"", file.target->c_str());
            discardResultFiles();
            return ERIO;
        }
    }
    if (wanted(CANDIDATES_FILE))
        writeTableHeader(state.files[CANDIDATES_FILE].stream);
    state.underWay = resultFilesWanted();
    if (state.underWay)
        guardTemporaries(true);
    return 0;
}

ResultCode checkResultNames() {
    if (!wanted(ALIGNMENT_FILE))
        return 0;
    mapLeavesToRecords();
    if (longOptions.alignmentFormat == AlignmentFormat::FASTA)
        return 0;
    std::unordered_map<std::string, const std::string*> names;
    for (const auto& [leaf, record] : state.leafRecords) {
        const std::string& name = sequenceRecords[static_cast<std::size_t>(record)].name;
        const auto [found, fresh] = names.emplace(oneWordName(name), &name);
        if (!fresh) {
            reportBoth("ERROR: Names \"%s\" and \"%s\" are both \"%s\" in the alignment file\n",
                       found->second->c_str(), name.c_str(), found->first.c_str());
            return ERDATA;
        }
    }
    return 0;
}

void captureCandidate(int trimPosition, bool mayBeBest, CandidateCapture& capture) {
    capture.tree.clear();
    capture.rows.clear();
    capture.shape.clear();
    if (wanted(CANDIDATES_FILE) || (wanted(TREE_FILE) && mayBeBest))
        capture.tree = newickOfCandidate();
    const bool refine = longOptions.refineRounds > 0;
    if ((wanted(ALIGNMENT_FILE) || refine) && mayBeBest) {
        mapLeavesToRecords();
        // Refinement trims after it has run
        for (int entry = 0; entry < leafCount; ++entry)
            appendRow(nodeTable[entry], refine ? 0 : trimPosition, capture.rows);
        if (refine) {
            std::unordered_map<const TreeNode*, int> rowOf;
            for (int entry = 0; entry < leafCount; ++entry)
                if (state.leafRecords.count(nodeTable[entry]) != 0)
                    rowOf.emplace(nodeTable[entry], static_cast<int>(rowOf.size()));
            appendShape(rootNode, rowOf, capture.shape);
        }
    }
}

std::vector<std::string> bestAlignmentRows() {
    std::vector<std::string> rows;
    for (auto& [record, columns] : capturedRows(state.best.rows))
        rows.push_back(std::move(columns));
    return rows;
}

const std::string& bestAlignmentShape() {
    return state.best.shape;
}

int replaceBestAlignment(const std::vector<std::string>& rows, double sumOfPairs) {
    // -T: from the first column by which every sequence has begun
    std::size_t trim = 0;
    if (runSettings.leftTrim)
        for (const std::string& row : rows) {
            const std::size_t first = row.find_first_not_of('-');
            if (first != std::string::npos && first > trim)
                trim = first;
        }
    std::string text;
    const std::vector<std::pair<int, std::string>> old = capturedRows(state.best.rows);
    for (std::size_t row = 0; row < old.size() && row < rows.size(); ++row) {
        text += std::to_string(old[row].first);
        text += ' ';
        text.append(rows[row], std::min(trim, rows[row].size()));
        text += '\n';
    }
    state.best.rows = std::move(text);
    state.bestSumOfPairs = sumOfPairs;
    const std::size_t length = rows.empty() ? 0 : rows[0].size();
    return static_cast<int>(length - std::min(trim, length));
}

void recordCandidate(int number, int length, int conserv0, int conserv1, double consIndex, double sumOfPairs,
                     bool isBest, const CandidateCapture& capture) {
    if (isBest) {
        state.best = capture;
        state.bestSumOfPairs = sumOfPairs;
    }
    FILE* table = state.files[CANDIDATES_FILE].stream;
    if (table == nullptr)
        return;
    std::fprintf(table, "%d\t%d\t%d\t%d\t%.2f\t", number, length, conserv0, conserv1, consIndex);
    if (longOptions.scoring == Scoring::SUM_OF_PAIRS)
        std::fprintf(table, "%.4f\t", sumOfPairs);
    if (isBest)
        state.bestFlagOffset = std::ftell(table);
    std::fprintf(table, "0\t%s\n", capture.tree.c_str());
}

ResultCode commitResultFiles() {
    if (!state.underWay)
        return 0;
    // Every file whole on disk first, then all put in place
    for (int kind = 0; kind < RESULT_KINDS; ++kind) {
        ResultFile& file = state.files[kind];
        if (file.stream == nullptr)
            continue;
        writeContents(static_cast<ResultKind>(kind), file.stream);
        if (!finishFile(file)) {
            reportBoth("ERROR: Cannot write result file \"%s\"\n", file.target->c_str());
            discardResultFiles();
            return ERIO;
        }
    }
    ResultCode code = 0;
    guardTemporaries(false);
    for (ResultFile& file : state.files) {
        if (file.temporary.empty())
            continue;
        if (std::rename(file.temporary.c_str(), file.target->c_str()) != 0) {
            reportBoth("ERROR: Cannot write result file \"%s\"\n", file.target->c_str());
            std::remove(file.temporary.c_str());
            code = ERIO;
        }
        file.temporary.clear();
    }
    state.underWay = false;
    return code;
}

void discardResultFiles() {
    const bool underWay = state.underWay;
    state.underWay = false;
    guardTemporaries(false);
    bool removed = false;
    for (ResultFile& file : state.files) {
        removed = removed || !file.temporary.empty();
        closeAndRemove(file);
    }
    if (underWay && removed)
        reportBoth("Result files not written: the run failed\n");
}

} // namespace vorbex
