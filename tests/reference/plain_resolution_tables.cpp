#include "reference/plain_resolution_tables.h"

#include <stdexcept>

namespace vorbex::reference {
namespace {

bool isLetter(char c) {
    return c >= 'A';
}

long doubleFactorialCount(int order) {
    long count = 1;
    for (int odd = 3; odd <= 2 * order - 3; odd += 2)
        count *= odd;
    return count;
}

std::string group(const std::string& letters) {
    return letters.size() > 1 ? "(" + letters + ")" : letters;
}

// Every split of the letters into two sides, the first letter always on the first.
std::vector<std::string> splits(int order) {
    std::vector<std::string> strings;
    for (unsigned mask = 1; mask < (1u << (order - 1)); ++mask) {
        std::string first = "A";
        std::string second;
        for (int j = 1; j < order; ++j)
            (mask & (1u << (j - 1)) ? second : first) += static_cast<char>('A' + j);
        strings.push_back(group(first) + group(second));
    }
    return strings;
}

std::string mapped(const std::string& topology, const std::string& run) {
    std::string text = topology;
    for (char& c : text)
        if (isLetter(c))
            c = run[c - 'A'];
    return text;
}

} // namespace

PlainResolutionTables::PlainResolutionTables(int maxOrder) : tables(maxOrder + 1) {
    for (int order = 3; order <= maxOrder; ++order) {
        std::vector<std::string>& strings = tables[order];
        strings = splits(order);
        strings.reserve(doubleFactorialCount(order));
        for (std::size_t d = 0; d < strings.size(); ++d) {
            std::size_t runStart = 0;
            int runLength = 0;
            for (std::size_t position = 0; position < strings[d].size(); ++position) {
                const char c = strings[d][position];
                if (isLetter(c)) {
                    if (runLength++ == 0)
                        runStart = position;
                    continue;
                }
                const int sideOrder = runLength;
                runLength = 0;
                if (sideOrder <= 2)
                    continue;
                const std::string original = strings[d];
                const std::string prefix = original.substr(0, runStart);
                const std::string run = original.substr(runStart, sideOrder);
                const std::string suffix = original.substr(position);
                for (std::size_t t = 1; t < tables[sideOrder].size(); ++t)
                    strings.push_back(prefix + mapped(tables[sideOrder][t], run) + suffix);
                strings[d] = prefix + mapped(tables[sideOrder][0], run) + suffix;
                position = prefix.size() + 3 * sideOrder - 4 - 1;
            }
        }
        if (static_cast<long>(strings.size()) != doubleFactorialCount(order))
            throw std::logic_error("plain table of the wrong size");
    }
}

// Pieces of literal text and sides: a side stands for every entry of its
// order from `first` on, `count` of them. A family's strings run over its
// sides' entries, the side made first varying slowest: the order in which the
// walk appends them.
struct WalkedResolutionTable::Family {
    struct Piece {
        std::string text;  // literal text, or the side's letters
        int sideOrder = 0; // 0 for literal text
        long first = 0;
        long count = 1;
        int made = 0; // when the side was made, from 0
    };
    std::vector<Piece> pieces;
    int sides = 0;
    long size() const {
        long total = 1;
        for (const Piece& piece : pieces)
            total *= piece.count;
        return total;
    }
};

WalkedResolutionTable::WalkedResolutionTable(int order, const PlainResolutionTables& plain,
                                             const WalkedResolutionTable* smaller)
    : order(order), plain(plain), smaller(smaller) {
    for (const std::string& text : splits(order)) {
        families.push_back(std::make_unique<Family>());
        families.back()->pieces.push_back({text});
    }
    for (std::size_t f = 0; f < families.size(); ++f) {
        Family& family = *families[f];
        int unresolved = 0;
        // Scan the family's first string piece by piece; runs of letters never
        // cross a piece, since sides stand between parentheses
        for (std::size_t p = 0; p < family.pieces.size(); ++p) {
            if (family.pieces[p].sideOrder != 0)
                continue;
            const std::string text = family.pieces[p].text;
            std::size_t runStart = 0;
            int runLength = 0;
            for (std::size_t position = 0; position < text.size(); ++position) {
                if (isLetter(text[position])) {
                    if (runLength++ == 0)
                        runStart = position;
                    continue;
                }
                const int sideOrder = runLength;
                runLength = 0;
                if (sideOrder <= 2)
                    continue;
                // Each string of the family appends its own strings after the
                // others': with two sides to resolve, they would interleave
                if (++unresolved > 1 && family.size() > 1)
                    throw std::logic_error("a family of several strings with two unresolved sides");
                const Family::Piece side{text.substr(runStart, sideOrder), sideOrder, 0, 1, family.sides};
                std::vector<Family::Piece> pieces(family.pieces.begin(), family.pieces.begin() + p);
                pieces.push_back({text.substr(0, runStart)});
                pieces.push_back(side);
                pieces.push_back({text.substr(position)});
                pieces.insert(pieces.end(), family.pieces.begin() + p + 1, family.pieces.end());
                const long others = sideOrder <= 9 ? plain.count(sideOrder) : smaller->count();
                auto appended = std::make_unique<Family>();
                appended->pieces = pieces;
                appended->pieces[p + 1].first = 1;
                appended->pieces[p + 1].count = others - 1;
                appended->sides = family.sides + 1;
                family.pieces = pieces;
                family.sides += 1;
                families.push_back(std::move(appended));
                // Go on with the text after the run, in its own piece now
                break;
            }
        }
    }
    if (count() != doubleFactorialCount(order))
        throw std::logic_error("walked table of the wrong size");
}

WalkedResolutionTable::~WalkedResolutionTable() = default;

long WalkedResolutionTable::count() const {
    long total = 0;
    for (const auto& family : families)
        total += family->size();
    return total;
}

std::string WalkedResolutionTable::side(int sideOrder, long index, const std::string& letters) const {
    const std::string topology =
        sideOrder <= 9 ? plain(sideOrder, static_cast<int>(index)) : (*smaller)(index);
    return mapped(topology, letters);
}

std::string WalkedResolutionTable::entryOf(const Family& family, long index) const {
    // The side made last varies fastest
    std::vector<long> chosen(family.pieces.size(), 0);
    for (int made = family.sides - 1; made >= 0; --made)
        for (std::size_t p = 0; p < family.pieces.size(); ++p)
            if (family.pieces[p].sideOrder != 0 && family.pieces[p].made == made) {
                chosen[p] = family.pieces[p].first + index % family.pieces[p].count;
                index /= family.pieces[p].count;
            }
    std::string text;
    for (std::size_t p = 0; p < family.pieces.size(); ++p) {
        const Family::Piece& piece = family.pieces[p];
        text += piece.sideOrder == 0 ? piece.text : side(piece.sideOrder, chosen[p], piece.text);
    }
    return text;
}

std::string WalkedResolutionTable::operator()(long index) const {
    for (const auto& family : families) {
        if (index < family->size())
            return entryOf(*family, index);
        index -= family->size();
    }
    throw std::out_of_range("no such entry");
}

} // namespace vorbex::reference
