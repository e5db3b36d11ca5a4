#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "input/input.h"
#include "run/run.h"
#include "support/files.h"

namespace vorbex {
namespace {

struct Read {
    int result;
    std::string tree;     // the tree read, as NEWICK
    std::string messages; // on standard output, the summary line left out
};

Read readStandard(const std::string& text) {
    EXPECT_EQ(initialiseRun(), 0);
    longOptions.standardNewick = true;
    treeFile = test_support::fileWith(text);
    testing::internal::CaptureStdout();
    Read read{readTree(), "", ""};
    const std::string output = testing::internal::GetCapturedStdout();
    read.messages = output.substr(0, output.find("Source tree read"));
    static std::vector<char> echo(newickTextSize());
    if (read.result == 0 && rootNode != nullptr &&
        writeNewick(rootNode, echo.data(), echo.data() + echo.size()) != nullptr)
        read.tree = echo.data();
    std::fclose(treeFile);
    treeFile = nullptr;
    releaseTree();
    longOptions = LongOptions{}; // the tests after this one read by the defaults
    return read;
}

TEST(StandardNewick, ReadsWhatPhylogeneticsProgramsWrite) {
    const struct {
        const char* text;
        const char* tree;
    } cases[] = {
        {"(a,b,c);", "(a,b,c)NODE000"},
        {"((s1:0.1,s2:0.2)0.95:0.05,s3:0.3);", "((s1,s2)0.95,s3)NODE000"},
        {"((a:1e-3,b:-2.5E+1):.5,c:0x1p-3):0;", "((a,b)NODE001,c)NODE000"},
        {"('Homo sapiens':1,'it''s (odd), really':2)'the root';",
         "(Homo sapiens,it's (odd), really)the root"},
        {"[&R] ( a [first] ,\n\tb : 1 ) lab [x] ;\n", "(a,b)lab"},
        {"((a,b)Glires,(c,d));", "((a,b)Glires,(c,d)NODE004)NODE000"},
        {"(a,b)", "(a,b)NODE000"},
        {"", ""},
    };
    for (const auto& c : cases) {
        const Read read = readStandard(c.text);
        EXPECT_EQ(read.result, 0) << c.text << "\n" << read.messages;
        EXPECT_EQ(read.tree, c.tree) << c.text;
    }
}

TEST(StandardNewick, EveryMalformedFormIsRefusedWithItsPosition) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"('a,b);", "Unclosed quote at pos 1\n"},         {"(a:,b);", "Missing branch length at pos 3\n"},
        {"(a:x,b);", "Missing branch length at pos 3\n"}, {"(a,b);:0.1", "Tree format error at pos 6\n"},
        {"(a,b)c;d", "Tree format error at pos 7\n"},     {"(a,[b);", "Unclosed comment at pos 3\n"},
        {"(a,,b);", "Missing name at pos 3\n"},           {"(a,():1);", "Missing name at pos 4\n"},
        {"(a b,c);", "Tree format error at pos 3\n"},     {"((a,b),c;", "Tree format error at pos 8\n"},
        {"a;", "Tree format error at pos 0\n"},           {"(a,b", "Tree format error at pos 4\n"},
    };
    for (const auto& c : cases) {
        const Read read = readStandard(c.text);
        EXPECT_EQ(read.result, ERTREE) << c.text;
        EXPECT_EQ(read.messages, c.message) << c.text;
    }
}

TEST(StandardNewick, KeepsTheLimitsOfTheTree) {
    const std::string longName(MAX_TREE_NAME_LENGTH + 1, 'x');
    EXPECT_EQ(readStandard("(a,'" + longName + "');").messages, "Name too long at pos 3\n");
    EXPECT_EQ(readStandard("(a,b)" + longName + ";").messages, "Name too long at pos 5\n");
    std::string wide = "(";
    for (int i = 0; i <= MAX_CHILDREN; ++i)
        wide += (i > 0 ? ",n" : "n") + std::to_string(i);
    EXPECT_EQ(readStandard(wide + ");").result, ERTREE);
    EXPECT_EQ(readStandard(wide.substr(0, wide.rfind(',')) + ");").result, 0);
}

} // namespace
} // namespace vorbex
