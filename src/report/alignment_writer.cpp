// The best alignment in the formats other programs read.
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "base/settings.h"
#include "report/result_files.h"

namespace vorbex {
namespace {

constexpr std::size_t FASTA_LINE = 60;
constexpr std::size_t CLUSTAL_BLOCK = 60;
constexpr int NAME_GAP = 6; // blanks at least between a name and its row

std::size_t rowLength(const std::vector<AlignmentRow>& rows) {
    return rows.empty() ? 0 : rows.front().columns.size();
}

int widestName(const std::vector<AlignmentRow>& rows) {
    std::size_t widest = 0;
    for (const AlignmentRow& row : rows)
        widest = std::max(widest, row.name.size());
    return static_cast<int>(widest);
}

// The base a letter stands for: case aside, u is t.
char baseOf(char letter) {
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
    return lower == 'u' ? 't' : lower;
}

// A column of the same base in every row.
bool isConserved(const std::vector<AlignmentRow>& rows, std::size_t column) {
    const char first = baseOf(rows[0].columns[column]);
    if (first == '-')
        return false;
    for (const AlignmentRow& row : rows)
        if (baseOf(row.columns[column]) != first)
            return false;
    return true;
}

void writeFasta(FILE* out, const std::vector<AlignmentRow>& rows) {
    for (const AlignmentRow& row : rows) {
        std::fwrite(row.header.data(), 1, row.header.size(), out);
        std::fputc('\n', out);
        for (std::size_t at = 0; at < row.columns.size(); at += FASTA_LINE)
            std::fprintf(out, "%s\n", row.columns.substr(at, FASTA_LINE).c_str());
    }
}

void writeClustal(FILE* out, const std::vector<AlignmentRow>& rows) {
    std::fprintf(out, "CLUSTAL multiple sequence alignment by vorbex %s\n\n\n", VERSION);
    const int width = widestName(rows) + NAME_GAP;
    const std::size_t length = rowLength(rows);
    for (std::size_t at = 0; at < length; at += CLUSTAL_BLOCK) {
        const std::size_t block = std::min(CLUSTAL_BLOCK, length - at);
        for (const AlignmentRow& row : rows)
            std::fprintf(out, "%-*s%s\n", width, row.name.c_str(), row.columns.substr(at, block).c_str());
        // The conservation line spans the whole block, blanks included, as readers expect
        std::string stars(block, ' ');
        for (std::size_t c = 0; c < block; ++c)
            if (isConserved(rows, at + c))
                stars[c] = '*';
        std::fprintf(out, "%*s%s\n\n", width, "", stars.c_str());
    }
}

// One line per row, the whole row behind its name: PHYLIP and Stockholm alike.
void writeWholeRows(FILE* out, const std::vector<AlignmentRow>& rows) {
    const int width = widestName(rows) + 1;
    for (const AlignmentRow& row : rows)
        std::fprintf(out, "%-*s%s\n", width, row.name.c_str(), row.columns.c_str());
}

void writePhylip(FILE* out, const std::vector<AlignmentRow>& rows) {
    std::fprintf(out, "%zu %zu\n", rows.size(), rowLength(rows));
    writeWholeRows(out, rows);
}

void writeStockholm(FILE* out, const std::vector<AlignmentRow>& rows, const std::string& comment) {
    std::fprintf(out, "# STOCKHOLM 1.0\n\n");
    if (!comment.empty())
        std::fprintf(out, "#=GF CC %s\n\n", comment.c_str());
    writeWholeRows(out, rows);
    std::fprintf(out, "//\n");
}

} // namespace

std::string oneWordName(const std::string& name) {
    std::string word = name;
    for (char& c : word)
        if (std::isspace(static_cast<unsigned char>(c)))
            c = '_';
    return word;
}

void writeAlignment(FILE* out, AlignmentFormat format, const std::vector<AlignmentRow>& rows,
                    const std::string& comment) {
    switch (format) {
    case AlignmentFormat::FASTA:
        writeFasta(out, rows);
        break;
    case AlignmentFormat::CLUSTAL:
        writeClustal(out, rows);
        break;
    case AlignmentFormat::PHYLIP:
        writePhylip(out, rows);
        break;
    case AlignmentFormat::STOCKHOLM:
        writeStockholm(out, rows, comment);
        break;
    }
}

} // namespace vorbex
