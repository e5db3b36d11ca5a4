#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run/run.h"

namespace vorbex {
namespace {

struct Parsed {
    int result;
    std::string output;
};

// Parses a command line after the program's own name, from fresh defaults.
Parsed parse(std::vector<std::string> arguments) {
    EXPECT_EQ(initialiseRun(), 0);
    arguments.insert(arguments.begin(), "vorbex");
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    testing::internal::CaptureStdout();
    const int result = parseArguments(static_cast<int>(argv.size()), argv.data());
    return {result, testing::internal::GetCapturedStdout()};
}

std::string derivedName(const std::string& input) {
    const Parsed parsed = parse({input, "tree.nwk"});
    EXPECT_EQ(parsed.result, 0) << parsed.output;
    return runSettings.outputFileName;
}

TEST(ParseArguments, HelpIsRecognisedOnlyInFirstPlace) {
    for (const char* help : {"-h", "/H", "-?", "/?x", "?", "?abc", "-H"}) {
        const Parsed parsed = parse({help, "seq.fa", "tree.nwk"});
        EXPECT_EQ(parsed.result, USAGE_SHOWN) << help;
        EXPECT_NE(parsed.output.find("Usage: vorbex [options] infile treefile [outfile]"), std::string::npos);
    }
    EXPECT_EQ(parse({}).result, USAGE_SHOWN);

    const Parsed later = parse({"seq.fa", "-h", "tree.nwk"});
    EXPECT_EQ(later.result, ERARG);
    EXPECT_EQ(later.output, "1 errors in arguments\n");
}

TEST(ParseArguments, DashHelpIsAnUnknownOptionNotAHelpRequest) {
    const Parsed parsed = parse({"-help"});
    EXPECT_EQ(parsed.result, ERARG);
    EXPECT_EQ(parsed.output, "Lack of filename(s) in arguments\n2 errors in arguments\n");
}

TEST(ParseArguments, DefaultsStandWithoutOptions) {
    ASSERT_EQ(parse({"seq.fa", "tree.nwk"}).result, 0);
    const RunSettings& s = runSettings;
    EXPECT_EQ(s.appendOutput, 0);
    EXPECT_EQ(s.absoluteBonus, 1.0);
    EXPECT_EQ(s.almostBonus, 0.1);
    EXPECT_EQ(s.seriesBonus, 0.2);
    EXPECT_EQ(s.gapOpenPenalty, -2.0);
    EXPECT_EQ(s.gapExtendPenalty, -0.2);
    EXPECT_EQ(s.outputMask, 40);
    for (double weight : s.baseWeights)
        EXPECT_EQ(weight, 1.0);
    EXPECT_EQ(s.gapSymbol, '-');
    EXPECT_EQ(s.leftTrim, 0);
    EXPECT_EQ(s.workMode, 1);
}

TEST(ParseArguments, EveryOptionSetsItsFieldCaseInsensitively) {
    const Parsed parsed = parse({"-a", "-ca1.5", "-CB0.25", "/cs-1e-1", "-d-3.5", "-g-0.5", "-o63", "-ra0.5",
                                 "-Rc2", "-rG3", "-rt4", "-sx", "-t", "-w2", "seq.fa", "tree.nwk"});
    ASSERT_EQ(parsed.result, 0) << parsed.output;
    const RunSettings& s = runSettings;
    EXPECT_EQ(s.appendOutput, 1);
    EXPECT_EQ(s.absoluteBonus, 1.5);
    EXPECT_EQ(s.almostBonus, 0.25);
    EXPECT_EQ(s.seriesBonus, -0.1);
    EXPECT_EQ(s.gapOpenPenalty, -3.5);
    EXPECT_EQ(s.gapExtendPenalty, -0.5);
    EXPECT_EQ(s.outputMask, 63);
    EXPECT_EQ(s.baseWeights[0], 0.5);
    EXPECT_EQ(s.baseWeights[1], 2.0);
    EXPECT_EQ(s.baseWeights[2], 3.0);
    EXPECT_EQ(s.baseWeights[3], 4.0);
    EXPECT_EQ(s.gapSymbol, 'X');
    EXPECT_EQ(s.leftTrim, 1);
    EXPECT_EQ(s.workMode, 2);
}

TEST(ParseArguments, ValuesFollowAtofAndAtoiWithoutRangeChecks) {
    ASSERT_EQ(parse({"-o", "-d", "-g 7", "-w3abc", "-ca", "seq.fa", "tree.nwk"}).result, 0);
    EXPECT_EQ(runSettings.outputMask, 0);
    EXPECT_EQ(runSettings.gapOpenPenalty, 0.0);
    EXPECT_EQ(runSettings.gapExtendPenalty, 7.0); // leading blanks are skipped
    EXPECT_EQ(runSettings.workMode, 3);
    EXPECT_EQ(runSettings.absoluteBonus, 0.0);
}

TEST(ParseArguments, GapSymbolIsUpperCasedOrBlank) {
    ASSERT_EQ(parse({"-s", "seq.fa", "tree.nwk"}).result, 0);
    EXPECT_EQ(runSettings.gapSymbol, ' ');
    ASSERT_EQ(parse({"-S--", "seq.fa", "tree.nwk"}).result, 0);
    EXPECT_EQ(runSettings.gapSymbol, '-');
    ASSERT_EQ(parse({"-s.", "seq.fa", "tree.nwk"}).result, 0);
    EXPECT_EQ(runSettings.gapSymbol, '.');
}

TEST(ParseArguments, BadSubLettersAndUnknownLettersEachCountOneError) {
    const Parsed parsed = parse({"-rn2", "-r", "-cx1", "-c", "-", "/", "-5", "-q", "seq.fa", "tree.nwk"});
    EXPECT_EQ(parsed.result, ERARG);
    EXPECT_EQ(parsed.output, "8 errors in arguments\n");
}

TEST(ParseArguments, LaterOptionOverridesEarlierAndOptionsMayStandAnywhere) {
    ASSERT_EQ(parse({"seq.fa", "-d-1", "tree.nwk", "-D-4", "out.txt", "-t"}).result, 0);
    EXPECT_EQ(runSettings.gapOpenPenalty, -4.0);
    EXPECT_EQ(runSettings.leftTrim, 1);
    EXPECT_STREQ(runSettings.outputFileName, "out.txt");
}

TEST(ParseArguments, SlashTIsAnOptionNotAFileName) {
    const Parsed parsed = parse({"/tmp/seq.fa", "tree.nwk"});
    EXPECT_EQ(parsed.result, ERARG);
    EXPECT_EQ(runSettings.leftTrim, 1);
    EXPECT_EQ(parsed.output, "Lack of filename(s) in arguments\n1 errors in arguments\n");
}

TEST(ParseArguments, FileNamesKeepTheirCaseAndFillSlotsInOrder) {
    ASSERT_EQ(parse({"Seq.FA", "Tree.NWK", "Out.Log"}).result, 0);
    EXPECT_STREQ(runSettings.inputFileName, "Seq.FA");
    EXPECT_STREQ(runSettings.treeFileName, "Tree.NWK");
    EXPECT_STREQ(runSettings.outputFileName, "Out.Log");
}

TEST(ParseArguments, FourthFileNameIsAnExcessError) {
    const Parsed parsed = parse({"a", "b", "c", "d e"});
    EXPECT_EQ(parsed.result, ERARG);
    EXPECT_EQ(parsed.output, "Excess filename \"d e\" in arguments\n1 errors in arguments\n");
}

TEST(ParseArguments, MissingFileNamesCountOneErrorTogether) {
    const Parsed parsed = parse({"-t"});
    EXPECT_EQ(parsed.result, ERARG);
    EXPECT_EQ(parsed.output, "Lack of filename(s) in arguments\n1 errors in arguments\n");
    EXPECT_EQ(parse({"seq.fa"}).result, ERARG);
    EXPECT_EQ(parse({"", "seq.fa"}).result, ERARG); // an empty argument fills no slot
}

TEST(ParseArguments, ReportNameIsDerivedFromTheInputName) {
    EXPECT_EQ(derivedName("seq.fasta"), "seq.log");
    EXPECT_EQ(derivedName("a.b.c"), "a.b.log");
    EXPECT_EQ(derivedName("seq"), "seq.log");
    EXPECT_EQ(derivedName(".hidden"), ".hidden.log");
    EXPECT_EQ(derivedName("../seq"), "../seq.log");
    EXPECT_EQ(derivedName("../dir/seq.fa"), "../dir/seq.log");
    EXPECT_EQ(derivedName("data.old/seq"), "data.log");
    EXPECT_EQ(derivedName("x.log"), "x.log");
}

TEST(ParseArguments, FileNamesOf255AreTakenAndLongerOnesRefused) {
    const std::string longest(255, 'n');
    ASSERT_EQ(parse({longest, "tree.nwk", longest + "x"}).result, ERARG);
    ASSERT_EQ(parse({longest, "tree.nwk", "out"}).result, 0);
    EXPECT_EQ(std::string(runSettings.inputFileName), longest);
    // Cut to its slot, the name would open another file: the report could overwrite it
    for (int slot = 0; slot < 3; ++slot) {
        std::vector<std::string> names = {"seq.fa", "tree.nwk", "out.log"};
        names[slot] = std::string(256, 'n');
        const Parsed parsed = parse(names);
        EXPECT_EQ(parsed.result, ERARG) << slot;
        EXPECT_EQ(parsed.output,
                  "File name longer than 255 characters: \"" + names[slot] + "\"\n1 errors in arguments\n")
            << slot;
    }
}

TEST(ParseArguments, LongOptionsAreCutAt255Characters) {
    // An option's value beyond 255 characters is not read
    ASSERT_EQ(parse({"-o" + std::string(253, '0') + "7", "seq", "tree"}).result, 0);
    EXPECT_EQ(runSettings.outputMask, 0);
}

TEST(ParseArguments, DerivedNameThatWouldNotFitIsRefused) {
    // 251 + ".log" fits exactly; one more does not
    EXPECT_EQ(derivedName(std::string(251, 'n')), std::string(251, 'n') + ".log");
    const Parsed parsed = parse({std::string(252, 'n'), "tree.nwk"});
    EXPECT_EQ(parsed.result, ERARG);
    EXPECT_NE(parsed.output.find("longer than 255 characters"), std::string::npos);
    EXPECT_NE(parsed.output.find("1 errors in arguments\n"), std::string::npos);
}

} // namespace
} // namespace vorbex

namespace vorbex {
namespace {

TEST(ParseLongOptions, TakeTheirValueAfterEqualsOrAsTheNextArgumentAnywhere) {
    const Parsed parsed = parse({"--alignment=best.fa",
                                 "seq.fa",
                                 "--alignment-format",
                                 "CLUSTAL",
                                 "-T",
                                 "--order=tree",
                                 "tree.nwk",
                                 "--tree",
                                 "Best Tree.nwk",
                                 "--candidates=c.tsv",
                                 "--threads=3",
                                 "--max-length",
                                 "536870911",
                                 "--max-nodes=8000000",
                                 "--newick=standard",
                                 "--fasta-names",
                                 "word",
                                 "--extra-sequences=ignore",
                                 "--progress",
                                 "Always"});
    ASSERT_EQ(parsed.result, 0) << parsed.output;
    const LongOptions& o = longOptions;
    EXPECT_EQ(o.alignmentFileName, "best.fa");
    EXPECT_EQ(o.alignmentFormat, AlignmentFormat::CLUSTAL);
    EXPECT_EQ(o.rowOrder, RowOrder::TREE);
    EXPECT_EQ(o.treeFileName, "Best Tree.nwk");
    EXPECT_EQ(o.candidatesFileName, "c.tsv");
    EXPECT_EQ(o.processorLimit, 3);
    EXPECT_EQ(o.maxLength, MAX_LENGTH_LIMIT);
    EXPECT_EQ(o.maxNodes, MAX_NODES_LIMIT);
    EXPECT_TRUE(o.standardNewick);
    EXPECT_TRUE(o.firstWordNames);
    EXPECT_TRUE(o.ignoreExtraSequences);
    EXPECT_EQ(o.progressLine, ProgressLine::ALWAYS);
    EXPECT_EQ(runSettings.leftTrim, 1);
    EXPECT_STREQ(runSettings.inputFileName, "seq.fa");
    EXPECT_STREQ(runSettings.treeFileName, "tree.nwk");
}

TEST(ParseLongOptions, BadOnesAreArgumentErrorsCountedWithTheOthers) {
    const struct {
        const char* argument;
        const char* message;
    } cases[] = {
        {"--frobnicate", "Unknown option \"--frobnicate\"\n"},
        {"--Alignment=x", "Unknown option \"--Alignment=x\"\n"},
        {"--help=yes", "Unknown option \"--help=yes\"\n"},
        {"--alignment=", "Invalid value \"\" for option \"--alignment\"\n"},
        {"--alignment-format=nexus", "Invalid value \"nexus\" for option \"--alignment-format\"\n"},
        {"--order=random", "Invalid value \"random\" for option \"--order\"\n"},
        {"--threads=0", "Invalid value \"0\" for option \"--threads\"\n"},
        {"--newick=nexus", "Invalid value \"nexus\" for option \"--newick\"\n"},
        {"--progress=sometimes", "Invalid value \"sometimes\" for option \"--progress\"\n"},
        {"--threads=2x", "Invalid value \"2x\" for option \"--threads\"\n"},
        {"--threads=-1", "Invalid value \"-1\" for option \"--threads\"\n"},
        {"--threads=99999999999999999999",
         "Invalid value \"99999999999999999999\" for option \"--threads\"\n"},
        {"--max-length=0", "Invalid value \"0\" for option \"--max-length\"\n"},
        {"--max-length=1e4", "Invalid value \"1e4\" for option \"--max-length\"\n"},
        {"--max-length=536870912", "Invalid value \"536870912\" for option \"--max-length\"\n"},
        {"--max-nodes=0", "Invalid value \"0\" for option \"--max-nodes\"\n"},
        {"--max-nodes=4k", "Invalid value \"4k\" for option \"--max-nodes\"\n"},
        {"--max-nodes=8000001", "Invalid value \"8000001\" for option \"--max-nodes\"\n"},
    };
    for (const auto& c : cases) {
        const Parsed parsed = parse({"seq.fa", c.argument, "tree.nwk"});
        EXPECT_EQ(parsed.result, ERARG) << c.argument;
        EXPECT_EQ(parsed.output, std::string(c.message) + "1 errors in arguments\n") << c.argument;
    }
    const Parsed last = parse({"seq.fa", "tree.nwk", "-X", "--tree"});
    EXPECT_EQ(last.output, "Option \"--tree\" needs a value\n2 errors in arguments\n");
}

TEST(ParseLongOptions, DoubleDashMakesEveryLaterArgumentAFileName) {
    const Parsed parsed = parse({"-T", "--", "/data/seq.fa", "-tree.nwk", "--alignment=x"});
    ASSERT_EQ(parsed.result, 0) << parsed.output;
    EXPECT_EQ(runSettings.leftTrim, 1);
    EXPECT_STREQ(runSettings.inputFileName, "/data/seq.fa");
    EXPECT_STREQ(runSettings.treeFileName, "-tree.nwk");
    EXPECT_STREQ(runSettings.outputFileName, "--alignment=x");
    EXPECT_EQ(longOptions.alignmentFileName, "");
}

TEST(ParseLongOptions, HelpAndVersionAnywhereBeforeDoubleDashEndTheRun) {
    const Parsed help = parse({"seq.fa", "-Q", "--help"});
    EXPECT_EQ(help.result, USAGE_SHOWN);
    EXPECT_NE(help.output.find("Usage: vorbex"), std::string::npos);
    EXPECT_NE(help.output.find(" --alignment=FILE"), std::string::npos);
    const Parsed version = parse({"--version", "--help"});
    EXPECT_EQ(version.result, USAGE_SHOWN);
    EXPECT_EQ(version.output, "vorbex 1.52\n");
    EXPECT_EQ(parse({"seq.fa", "tree.nwk", "--", "--help"}).result, 0);
}

} // namespace
} // namespace vorbex
