#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "input/input.h"
#include "run/run.h"
#include "support/files.h"

namespace vorbex {
namespace {

// Reads `fasta` against the tree (s1,s2,Homo); the names that got a sequence
// and the messages.
struct Read {
    int result;
    std::string named;
    std::string messages;
};

Read readWith(const std::string& fasta, bool words, bool ignoreExtra) {
    EXPECT_EQ(initialiseRun(), 0);
    const std::string tree = "(s1,s2,Homo);";
    treeFile = test_support::fileWith(tree);
    inputFile = test_support::fileWith(fasta);
    longOptions.firstWordNames = words;
    longOptions.ignoreExtraSequences = ignoreExtra;
    testing::internal::CaptureStdout();
    EXPECT_EQ(readTree(), 0);
    testing::internal::GetCapturedStdout();
    testing::internal::CaptureStdout();
    Read read{readSequences(), "", ""};
    read.messages = testing::internal::GetCapturedStdout();
    for (const char* name : {"s1", "s2", "Homo"})
        for (int i = 0; i < nodeCount; ++i)
            if (std::string(nodeTable[i]->name) == name && nodeTable[i]->workText != nullptr)
                read.named += std::string(read.named.empty() ? "" : " ") + name;
    for (FILE** file : {&treeFile, &inputFile}) {
        std::fclose(*file);
        *file = nullptr;
    }
    releaseTree();
    longOptions = LongOptions{}; // the tests after this one read by the defaults
    return read;
}

TEST(SequenceReaderOptions, FirstWordNamesEndAtABlankTabOrBar) {
    const struct {
        const char* header;
        bool words;
        const char* named;
        const char* messages;
    } cases[] = {
        {">s1 first sequence", true, "s1", ""},
        {">s1\tfirst", true, "s1", ""},
        {">s1|a b", true, "s1", ""},
        {">Homo sapiens", true, "Homo", ""},
        {">s1 first sequence", false, "", "Unknown name \"s1 first sequence\" in line 1\n"},
        {">s1|a b", false, "s1", ""},
    };
    for (const auto& c : cases) {
        const Read read = readWith(std::string(c.header) + "\nacgt\n", c.words, false);
        EXPECT_EQ(read.named, c.named) << c.header;
        EXPECT_EQ(read.messages, c.messages) << c.header;
        EXPECT_EQ(read.result, c.messages[0] == '\0' ? 0 : ERDATA) << c.header;
    }
}

TEST(SequenceReaderOptions, ExtraRecordsArePassedOverAndCountedOnce) {
    const std::string fasta = ">x1\nacgt\n>s1\nacgt\n>x2\nac!t\n>s2\nggg\n";
    const Read ignored = readWith(fasta, false, true);
    EXPECT_EQ(ignored.result, 0);
    EXPECT_EQ(ignored.named, "s1 s2");
    EXPECT_EQ(ignored.messages, "2 sequences not in the tree passed over\n");
    const Read refused = readWith(fasta, false, false);
    EXPECT_EQ(refused.result, ERDATA);
    EXPECT_EQ(refused.named, "s1 s2");
    EXPECT_EQ(refused.messages, "Unknown name \"x1\" in line 1\nUnknown name \"x2\" in line 5\n");
}

} // namespace
} // namespace vorbex
