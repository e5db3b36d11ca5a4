#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "align/align.h"
#include "pairwise/kernels.h"
#include "run/run.h"
#include "support/nodes.h"

namespace vorbex {
namespace {

using test_support::NodePool;
using test_support::workText;

// A random sequence and a copy of it with changes, long enough for bands
std::vector<std::string> relatedPair(unsigned seed, int length) {
    std::mt19937 random(seed);
    std::string first;
    for (int i = 0; i < length; ++i)
        first += "ACGT"[random() % 4];
    std::string second;
    for (char base : first)
        if (random() % 12 != 0)
            second += random() % 9 == 0 ? "ACGT"[random() % 4] : base;
    return {first, second};
}

struct Aligned {
    double score;
    std::string first, second;
    std::vector<std::uint8_t> path;
};

Aligned alignIn(PairwiseWorkspace& work, NodePool& pool, const std::vector<std::string>& texts) {
    TreeNode* a = pool.leaf(texts[0].c_str());
    TreeNode* b = pool.leaf(texts[1].c_str());
    Aligned result{0.0, "", "", {}};
    EXPECT_EQ(alignProfiles(work, a, b, result.score), 0);
    result.first = workText(a);
    result.second = workText(b);
    result.path.assign(work.alignmentPath, work.alignmentPath + a->workLength);
    return result;
}

// Two threads aligning at once, each in its own workspace by its own
// choices, give what each alignment gives alone, and each workspace keeps
// its own last alignment.
TEST(PairwiseWorkspace, EachThreadAlignsInItsOwnByItsOwnChoices) {
    // The default settings, under which bands can be proven
    ASSERT_EQ(initialiseRun(), 0);
    const auto one = relatedPair(3, 700);
    const auto other = relatedPair(4, 500);
    NodePool pool;
    Aligned expectedOne, expectedOther;
    {
        PairwiseWorkspace alone;
        expectedOne = alignIn(alone, pool, one);
        expectedOther = alignIn(alone, pool, other);
    }
    PairwiseWorkspace plain({.plain = true});
    PairwiseWorkspace fast({.threads = 1});
    // The nodes are made here: the pool is not shared between threads
    TreeNode* nodes[4] = {pool.leaf(one[0].c_str()), pool.leaf(one[1].c_str()), pool.leaf(other[0].c_str()),
                          pool.leaf(other[1].c_str())};
    double scores[2] = {0.0, 0.0};
    ResultCode codes[2] = {-1, -1};
    for (int round = 0; round < 3; ++round) {
        std::thread first([&] { codes[0] = alignProfiles(plain, nodes[0], nodes[1], scores[0]); });
        std::thread second([&] { codes[1] = alignProfiles(fast, nodes[2], nodes[3], scores[1]); });
        first.join();
        second.join();
        ASSERT_EQ(codes[0], 0);
        ASSERT_EQ(codes[1], 0);
        EXPECT_EQ(scores[0], expectedOne.score);
        EXPECT_EQ(scores[1], expectedOther.score);
        EXPECT_EQ(workText(nodes[0]), expectedOne.first);
        EXPECT_EQ(workText(nodes[3]), expectedOther.second);
        // The next round aligns the same profiles again
        for (TreeNode* node : nodes) {
            node->workLength = node->savedLength;
            std::memcpy(node->workProfile, node->savedProfile, sizeof(ProfileColumn) * node->savedLength);
        }
    }
    EXPECT_TRUE(std::equal(expectedOne.path.begin(), expectedOne.path.end(), plain.alignmentPath));
    EXPECT_TRUE(std::equal(expectedOther.path.begin(), expectedOther.path.end(), fast.alignmentPath));
    // Only the plain kernel keeps score matrices, and only the fast one tries bands
    EXPECT_NE(plain.scoreMatrix, nullptr);
    EXPECT_EQ(fast.scoreMatrix, nullptr);
    EXPECT_EQ(plain.cellCounts.inBands, 0.0);
    EXPECT_GT(fast.cellCounts.inBands, 0.0);
}

// A band's rows lie one after the other, each of its diagonals' cells once:
// row i at i * width .. i * width + width - 1.
TEST(PairwiseWorkspace, BandRowsFollowEachOtherWithoutGapsOrOverlaps) {
    PairwiseWorkspace work;
    const int n = 40;
    const int m = 50;
    for (const auto& [lowest, highest] :
         {std::pair{-3, 5}, std::pair{0, 0}, std::pair{-40, 0}, std::pair{0, 50}}) {
        ASSERT_TRUE(work.reserveBandTraceStorage(n, m, lowest, highest, 0));
        const std::size_t width = static_cast<std::size_t>(highest - lowest) + 1;
        for (int i = 0; i <= n; ++i)
            for (int d = lowest; d <= highest; ++d)
                ASSERT_EQ(work.traceCell(i, i + d), static_cast<std::size_t>(i) * width + (d - lowest))
                    << "band " << lowest << ".." << highest << " row " << i;
    }
    // The whole matrix again after a band: row by row, m + 1 wide
    ASSERT_TRUE(work.reserveTraceStorage(n, m));
    EXPECT_EQ(work.traceCell(3, 7), 3u * (m + 1) + 7);
    EXPECT_FALSE(work.reserveBandTraceStorage(n, m, 1, 5, 0));
}

// Storage given back is taken again by the next alignment, with the same result.
TEST(PairwiseWorkspace, AlignsAgainAfterGivingItsStorageBack) {
    ASSERT_EQ(initialiseRun(), 0);
    const auto texts = relatedPair(8, 300);
    NodePool pool;
    PairwiseWorkspace work;
    const Aligned before = alignIn(work, pool, texts);
    work.releaseWorkStorage();
    EXPECT_EQ(work.traceMatrix, nullptr);
    EXPECT_EQ(work.alignmentPath, nullptr);
    const Aligned after = alignIn(work, pool, texts);
    EXPECT_EQ(after.score, before.score);
    EXPECT_EQ(after.first, before.first);
    EXPECT_EQ(after.path, before.path);
}

} // namespace
} // namespace vorbex
