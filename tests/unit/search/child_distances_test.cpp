#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "search/child_distances.h"
#include "support/trees.h"

namespace vorbex {
namespace {

using test_support::fileWith;

class ChildDistances : public testing::Test {
  protected:
    void TearDown() override { test_support::releaseEverything(); }

    // The distances between the root's children of `newick`, its leaves'
    // sequences read from `fasta`
    static std::vector<std::vector<double>> rootDistances(const std::string& newick,
                                                          const std::string& fasta) {
        // The tree of an earlier case goes first
        test_support::releaseEverything();
        treeFile = fileWith(newick);
        inputFile = fileWith(fasta);
        testing::internal::CaptureStdout();
        const int treeCode = readTree();
        const int sequenceCode = treeCode == 0 ? readSequences() : treeCode;
        testing::internal::GetCapturedStdout();
        std::fclose(treeFile);
        std::fclose(inputFile);
        treeFile = inputFile = nullptr;
        EXPECT_EQ(sequenceCode, 0) << newick << fasta;
        if (sequenceCode != 0)
            return {};
        return childDistances(rootNode);
    }
};

void expectAWellFormedTable(const std::vector<std::vector<double>>& d, std::size_t order) {
    ASSERT_EQ(d.size(), order);
    for (std::size_t a = 0; a < order; ++a) {
        ASSERT_EQ(d[a].size(), order);
        EXPECT_EQ(d[a][a], 0.0);
        for (std::size_t b = 0; b < order; ++b) {
            EXPECT_TRUE(std::isfinite(d[a][b])) << a << "," << b;
            EXPECT_GE(d[a][b], 0.0);
            EXPECT_LE(d[a][b], 1.0 + 1e-12);
            EXPECT_EQ(d[a][b], d[b][a]) << a << "," << b;
        }
    }
}

TEST_F(ChildDistances, RelatedChildrenAreCloserThanUnrelatedOnes) {
    const std::string same = "acgttgcaatgccgtaggctaacgt";
    const auto d = rootDistances("((x1,x2),y,z,w,v);", ">x1\n" + same + "\n>x2\n" + same + "\n>y\n" + same +
                                                           // one substitution
                                                           "\n>z\nacgttgcaatgcagtaggctaacgt\n"
                                                           // no word in common with the others
                                                           ">w\nccccccccccccccccccc\n"
                                                           // the same word by word, in capitals and with u
                                                           ">v\nACGUUGCAAUGCCGUAGGCUAACGU\n");
    expectAWellFormedTable(d, 5);
    if (d.size() != 5)
        return;
    EXPECT_EQ(d[0][1], 0.0); // a pair of the same sequence against that sequence
    EXPECT_EQ(d[0][4], 0.0);
    EXPECT_GT(d[0][2], 0.0);
    EXPECT_LT(d[0][2], 0.5);
    EXPECT_NEAR(d[0][3], 1.0, 1e-12);
    EXPECT_NEAR(d[2][3], 1.0, 1e-12);
}

TEST_F(ChildDistances, SubtreesWeighTheirSequencesEqually) {
    struct Case {
        const char* what;
        const char* newick;
        const char* fasta;
        double distance; // between the root's two children
    };
    for (const Case& c : {
             Case{"half of the words shared", "((x1,x2),y);", ">x1\naaaaaa\n>x2\ncccccc\n>y\naaaaaaaaaaa\n",
                  0.5},
             // Each sequence counts once, whatever its length
             Case{"a long and a short sequence", "((x1,x2),(y1,y2));",
                  ">x1\naaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\n>x2\ncccc\n>y1\naaaa\n>y2\ncccccccccccc\n", 0.0},
             // Words overlap: cccc ccca ccaa caaa aaaa
             Case{"one word of five shared", "(x,y);", ">x\nccccaaaa\n>y\naaaa\n", 0.8},
             // A sequence with no word of four bases is no part of the mean
             Case{"a sequence without words", "((x1,x2),y);", ">x1\nacgtacgt\n>x2\nacgnacgn\n>y\nacgtacgt\n",
                  0.0},
         }) {
        const auto d = rootDistances(c.newick, c.fasta);
        expectAWellFormedTable(d, 2);
        if (d.size() == 2) {
            EXPECT_NEAR(d[0][1], c.distance, 1e-12) << c.what;
        }
    }
}

TEST_F(ChildDistances, ChildrenWithoutAnyWordAreHarmless) {
    const auto d =
        rootDistances("(a,b,(c1,c2),d,e);",
                      ">a\nnnnnnnnn\n>b\nacg\n>c1\nacgnacgnrykm\n>c2\nac\n>d\nacgtacgt\n>e\nswswsw\n");
    expectAWellFormedTable(d, 5);
    if (d.size() != 5)
        return;
    // No words on either side: nothing tells them apart
    EXPECT_EQ(d[0][1], 0.0);
    EXPECT_EQ(d[1][2], 0.0);
    EXPECT_EQ(d[0][4], 0.0);
}

} // namespace
} // namespace vorbex
