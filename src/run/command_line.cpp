#include <cctype>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <strings.h>

#include "run/run.h"

namespace vorbex {
namespace {

bool isOptionStart(char c) {
    return c == '-' || c == '/';
}

bool isHelpRequest(const char* first) {
    if (first[0] == '?')
        return true;
    if (!isOptionStart(first[0]))
        return false;
    if (first[1] == '?')
        return true;
    return (first[1] == 'h' || first[1] == 'H') && first[2] == '\0';
}

// Copies at most 255 characters and terminates: the name slots and the work buffer.
void copyCut(char* slot, const char* text, bool upperCase) {
    int length = 0;
    for (; length < MAX_NAME_LENGTH && text[length] != '\0'; ++length) {
        const unsigned char c = static_cast<unsigned char>(text[length]);
        slot[length] = static_cast<char>(upperCase ? std::toupper(c) : c);
    }
    slot[length] = '\0';
}

// Decodes one option from its upper-cased copy; returns the number of errors (0 or 1).
int decodeOption(const char* option) {
    RunSettings& s = runSettings;
    switch (option[1]) {
    case 'A':
        s.appendOutput = 1;
        return 0;
    case 'C': {
        double* bonus = option[2] == 'A'   ? &s.absoluteBonus
                        : option[2] == 'B' ? &s.almostBonus
                        : option[2] == 'S' ? &s.seriesBonus
                                           : nullptr;
        if (bonus == nullptr)
            return 1;
        *bonus = std::atof(option + 3);
        return 0;
    }
    case 'D':
        s.gapOpenPenalty = std::atof(option + 2);
        return 0;
    case 'G':
        s.gapExtendPenalty = std::atof(option + 2);
        return 0;
    case 'O':
        s.outputMask = std::atoi(option + 2);
        return 0;
    case 'R': {
        if (option[2] == '\0')
            return 1;
        const double weight = std::atof(option + 3);
        const char* bases = "ACGT";
        const char* base = std::strchr(bases, option[2]);
        if (base == nullptr)
            return 1;
        s.baseWeights[base - bases] = weight;
        return 0;
    }
    case 'S':
        s.gapSymbol = option[2] != '\0' ? option[2] : ' ';
        return 0;
    case 'T':
        s.leftTrim = 1;
        return 0;
    case 'W':
        s.workMode = std::atoi(option + 2);
        return 0;
    default:
        return 1;
    }
}

// Returns 0, or 1 after an excess or overlong name was reported. A name cut
// to its slot would name another file, which the report could overwrite.
int takeFileName(const char* argument) {
    if (std::strlen(argument) > MAX_NAME_LENGTH) {
        std::printf("File name longer than %d characters: \"%s\"\n", MAX_NAME_LENGTH, argument);
        return 1;
    }
    for (char* slot : {runSettings.inputFileName, runSettings.treeFileName, runSettings.outputFileName}) {
        if (slot[0] == '\0') {
            copyCut(slot, argument, false);
            return 0;
        }
    }
    std::printf("Excess filename \"%s\" in arguments\n", argument);
    return 1;
}

// The report name: the input name without its extension, plus ".log".
// Returns 0, or 1 when the result would not fit its slot.
int deriveOutputFileName() {
    const char* input = runSettings.inputFileName;
    std::size_t stem = std::strlen(input);
    if (const char* dot = std::strrchr(input, '.')) {
        const std::size_t at = static_cast<std::size_t>(dot - input);
        const bool leadingDot = at == 0 || (at == 1 && input[0] == '.');
        if (!leadingDot)
            stem = at;
    }
    const char* extension = ".log";
    if (stem + std::strlen(extension) > MAX_NAME_LENGTH) {
        std::printf("Output file name derived from \"%s\" is longer than %d characters\n", input,
                    MAX_NAME_LENGTH);
        return 1;
    }
    std::memcpy(runSettings.outputFileName, input, stem);
    std::strcpy(runSettings.outputFileName + stem, extension);
    return 0;
}

// ---- Long options: GNU style, "--name=value" or "--name value"

bool isLongOption(const char* argument) {
    return argument[0] == '-' && argument[1] == '-';
}

// A whole number from 1 to `most`, nothing else.
bool parseCount(const char* text, int most, int& count) {
    if (*text == '\0')
        return false;
    long value = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9')
            return false;
        value = value * 10 + (*c - '0');
        if (value > most)
            return false;
    }
    count = static_cast<int>(value);
    return value >= 1;
}

template <typename Choice>
bool parseChoice(const char* text, std::initializer_list<const char*> words,
                 std::initializer_list<Choice> choices, Choice& chosen) {
    auto choice = choices.begin();
    for (const char* word : words) {
        if (strcasecmp(text, word) == 0) {
            chosen = *choice;
            return true;
        }
        ++choice;
    }
    return false;
}

// Whether --search was given: --star-tree searches heuristically unless told otherwise
bool searchGiven = false;

// Takes a long option's value; returns 0, or 1 after a message.
int takeLongValue(const std::string& name, const char* value) {
    LongOptions& o = longOptions;
    bool valid = *value != '\0';
    if (name == "alignment")
        o.alignmentFileName = value;
    else if (name == "tree")
        o.treeFileName = value;
    else if (name == "candidates")
        o.candidatesFileName = value;
    else if (name == "alignment-format")
        valid = parseChoice(value, {"fasta", "clustal", "phylip", "stockholm"},
                            {AlignmentFormat::FASTA, AlignmentFormat::CLUSTAL, AlignmentFormat::PHYLIP,
                             AlignmentFormat::STOCKHOLM},
                            o.alignmentFormat);
    else if (name == "order")
        valid = parseChoice(value, {"input", "tree"}, {RowOrder::INPUT, RowOrder::TREE}, o.rowOrder);
    else if (name == "threads")
        valid = parseCount(value, MAX_PROCESSOR_LIMIT, o.processorLimit);
    else if (name == "max-length")
        valid = parseCount(value, MAX_LENGTH_LIMIT, o.maxLength);
    else if (name == "max-nodes")
        valid = parseCount(value, MAX_NODES_LIMIT, o.maxNodes) && o.maxNodes > 0;
    else if (name == "newick")
        valid = parseChoice(value, {"names", "standard"}, {false, true}, o.standardNewick);
    else if (name == "fasta-names")
        valid = parseChoice(value, {"line", "word"}, {false, true}, o.firstWordNames);
    else if (name == "scoring")
        valid = parseChoice(value, {"classic", "sp"}, {Scoring::CLASSIC, Scoring::SUM_OF_PAIRS}, o.scoring);
    else if (name == "refine")
        valid = parseCount(value, MAX_REFINE_ROUNDS, o.refineRounds);
    else if (name == "search") {
        valid = parseChoice(value, {"exhaustive", "heuristic"}, {Search::EXHAUSTIVE, Search::HEURISTIC},
                            o.search);
        searchGiven = true;
    } else if (name == "progress")
        valid =
            parseChoice(value, {"terminal", "always", "never"},
                        {ProgressLine::TERMINAL, ProgressLine::ALWAYS, ProgressLine::NEVER}, o.progressLine);
    else if (name == "extra-sequences")
        valid = parseChoice(value, {"error", "ignore"}, {false, true}, o.ignoreExtraSequences);
    if (valid)
        return 0;
    std::printf("Invalid value \"%s\" for option \"--%s\"\n", value, name.c_str());
    return 1;
}

bool takesValue(const std::string& name) {
    for (const char* known :
         {"alignment", "alignment-format", "order", "tree", "candidates", "threads", "max-length",
          "max-nodes", "newick", "fasta-names", "extra-sequences", "progress", "scoring", "refine", "search"})
        if (name == known)
            return true;
    return false;
}

// Decodes the long option argv[index], with its value from the next argument
// when it has none of its own; returns the number of errors (0 or 1).
int decodeLongOption(int argc, char** argv, int& index) {
    const char* argument = argv[index];
    const char* equals = std::strchr(argument, '=');
    const std::string name =
        equals != nullptr ? std::string(argument + 2, equals) : std::string(argument + 2);
    if (name == "star-tree" && equals == nullptr) {
        longOptions.starTree = true;
        return 0;
    }
    if (!takesValue(name)) {
        std::printf("Unknown option \"%s\"\n", argument);
        return 1;
    }
    if (equals != nullptr)
        return takeLongValue(name, equals + 1);
    if (index + 1 >= argc) {
        std::printf("Option \"--%s\" needs a value\n", name.c_str());
        return 1;
    }
    return takeLongValue(name, argv[++index]);
}

// Under --star-tree there is no tree file: the second name is the report's.
// Returns 0, or 1 after a message on a third name.
int takeStarTreeFileNames() {
    RunSettings& s = runSettings;
    if (!searchGiven)
        longOptions.search = Search::HEURISTIC;
    if (s.outputFileName[0] != '\0') {
        std::printf("Excess filename \"%s\" in arguments\n", s.outputFileName);
        return 1;
    }
    std::memcpy(s.outputFileName, s.treeFileName, NAME_SIZE);
    s.treeFileName[0] = '\0';
    return 0;
}

// "--help" or "--version" before any "--" ends the run after its text.
bool answerInformationRequest(int argc, char** argv) {
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            printUsage();
            printLongOptions();
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("vorbex %s\n", VERSION);
            return true;
        }
    }
    return false;
}

} // namespace

void printLongOptions() {
    std::printf(
        "\nLong options (GNU style, --name=value or --name value):\n"
        " --alignment=FILE         write the best alignment to FILE\n"
        " --alignment-format=F     its format: fasta (default), clustal, phylip, stockholm\n"
        " --order=O                its records in input (default) or tree order\n"
        " --tree=FILE              write the best candidate tree to FILE (NEWICK)\n"
        " --candidates=FILE        write a table of every candidate tree to FILE\n"
        " --threads=N              use at most N processors\n"
        " --max-length=N           sequences and alignments of up to N columns (2047: the default)\n"
        " --max-nodes=N            trees of up to N nodes, leaves included (4095: the default)\n"
        " --newick=standard        read the tree as other programs write it: branch lengths,\n"
        "                          support values, quoted labels, [comments] (names: the default)\n"
        " --fasta-names=word       a sequence's name is the first word of its header (line: default)\n"
        " --extra-sequences=ignore pass over sequences not in the tree (error: the default)\n"
        " --progress=P             the progress line: terminal (default), always, never\n"
        " --scoring=sp             align profiles by the weighted sum of pairs (classic: the default)\n"
        " --refine=N               with --scoring=sp: up to N rounds of refining the best alignment\n"
        " --search=heuristic       search the resolutions of polytomies of any number and order\n"
        "                          by rearrangements (exhaustive: every resolution, the default)\n"
        " --star-tree              no tree file (vorbex --star-tree [options] infile [outfile]):\n"
        "                          every sequence under one root, resolved by the heuristic search\n"
        " --help                   show this text\n"
        " --version                show the version\n"
        " --                       every later argument is a file name\n");
}

void printUsage() {
    const RunSettings& d = DEFAULT_SETTINGS;
    std::printf("\n");
    std::printf(BANNER, VERSION);
    std::printf("\n");
    std::printf("Usage: vorbex [options] infile treefile [outfile]\n\n"
                " infile   :file with a set of sequences (FASTA)\n"
                " treefile :file containing a tree (NEWICK)\n"
                " outfile  :result file (infile.log default)\n\n"
                "Options (case insensitive):\n");
    std::printf(" -A       append to the output file (re-write by default)\n");
    std::printf(" -CAn     bonus for absolute conserved site in alignment (%g default)\n", d.absoluteBonus);
    std::printf(" -CBn     bonus for almost conserved site in alignment (%g default)\n", d.almostBonus);
    std::printf(" -CSn     additional bonus for series of abs. conserved sites (%g default)\n",
                d.seriesBonus);
    std::printf(" -Dn      penalty for first gap in alignment (%g default)\n", d.gapOpenPenalty);
    std::printf(" -Gn      penalty for further gaps in alignment (%g default)\n", d.gapExtendPenalty);
    std::printf(" -H       display this help information\n");
    std::printf(" -On      out: 1=init 2=steps 4=final 8=align 16=verb 32=trees (%d default)\n",
                d.outputMask);
    std::printf(" -RXn     X={A|C|G|T}, n=relative weight of nucleotide (1 default)\n");
    std::printf(" -Sc      gap symbol 'c' in alignment, blank if empty ('%c' default)\n", d.gapSymbol);
    std::printf(" -T       left trim alignment to first site without gaps (none default)\n");
    std::printf(" -Wn      work mode: 1=L1_distance 2=L2_distance (%d default)\n", d.workMode);
}

int parseArguments(int argc, char** argv) {
    if (argc <= 1 || isHelpRequest(argv[1])) {
        printUsage();
        return USAGE_SHOWN;
    }
    if (answerInformationRequest(argc, argv))
        return USAGE_SHOWN;
    int errors = 0;
    bool optionsEnded = false;
    searchGiven = false;
    for (int i = 1; i < argc; ++i) {
        if (!optionsEnded && isLongOption(argv[i])) {
            if (argv[i][2] == '\0')
                optionsEnded = true;
            else
                errors += decodeLongOption(argc, argv, i);
            continue;
        }
        char upper[NAME_SIZE];
        copyCut(upper, argv[i], true);
        if (!optionsEnded && isOptionStart(upper[0]))
            errors += decodeOption(upper);
        else
            errors += takeFileName(argv[i]);
    }
    if (longOptions.starTree)
        errors += takeStarTreeFileNames();
    if (runSettings.inputFileName[0] == '\0' ||
        (runSettings.treeFileName[0] == '\0' && !longOptions.starTree)) {
        std::printf("Lack of filename(s) in arguments\n");
        ++errors;
    }
    if (runSettings.outputFileName[0] == '\0')
        errors += deriveOutputFileName();
    if (longOptions.refineRounds > 0 && longOptions.scoring != Scoring::SUM_OF_PAIRS) {
        std::printf("Option \"--refine\" needs \"--scoring=sp\"\n");
        ++errors;
    }
    if (errors > 0) {
        std::printf("%d errors in arguments\n", errors);
        return ERARG;
    }
    return 0;
}

} // namespace vorbex
