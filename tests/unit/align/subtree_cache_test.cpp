#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <vector>

#include "align/align.h"
#include "align/subtree_cache.h"
#include "run/run.h"
#include "support/nodes.h"

namespace vorbex {
namespace {

using test_support::NodePool;

class SubtreeCache : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(initialiseRun(), 0);
        clearSubtreeCache();
    }

    void TearDown() override {
        clearSubtreeCache();
        setSubtreeCacheBudget(defaultSubtreeCacheBudget());
    }

    // A node of `length` columns, gap and mixed columns among definite ones.
    TreeNode* randomProfile(int length) {
        TreeNode* node = pool.empty();
        for (int c = 0; c < length; ++c) {
            ProfileColumn& column = node->savedProfile[c];
            const int kind = static_cast<int>(random() % 6);
            if (kind == 0)
                column = ProfileColumn{};
            else if (kind == 1)
                for (double& weight : column.weight)
                    weight = static_cast<double>(random() % 1000) / 997.0;
            else
                column.weight[random() % BASE_COUNT] = 1.0;
        }
        node->workLength = node->savedLength = length;
        std::memcpy(node->workProfile, node->savedProfile, sizeof(ProfileColumn) * length);
        return node;
    }

    // A copy of the node as its parent's alignment would find it.
    TreeNode* copyOf(const TreeNode* node) {
        TreeNode* copy = pool.empty();
        copy->workLength = copy->savedLength = node->savedLength;
        std::memcpy(copy->savedProfile, node->savedProfile, sizeof(ProfileColumn) * node->savedLength);
        std::memcpy(copy->workProfile, node->savedProfile, sizeof(ProfileColumn) * node->savedLength);
        return copy;
    }

    // The steps of an alignment of pairs alone, as long as the longest
    const std::vector<std::uint8_t> pairs = std::vector<std::uint8_t>(MAXSEQLEN, TRACE_DIAG);

    static bool sameColumns(const TreeNode* a, const TreeNode* b) {
        return a->workLength == b->workLength &&
               std::memcmp(a->workProfile, b->workProfile, sizeof(ProfileColumn) * a->workLength) == 0;
    }

    std::mt19937 random{5};
    NodePool pool;
};

TEST_F(SubtreeCache, KeysAreExactAndTellChildOrderApart) {
    TreeNode* a = pool.leaf("acgt");
    TreeNode* b = pool.leaf("acgt"); // same columns, another leaf
    const SubtreeKey keyA = leafSubtreeKey(a);
    const SubtreeKey keyB = leafSubtreeKey(b);
    EXPECT_NE(keyA, NO_SUBTREE_KEY);
    EXPECT_NE(keyA, keyB);
    EXPECT_EQ(leafSubtreeKey(a), keyA);

    const SubtreeKey ab = pairSubtreeKey(keyA, keyB);
    const SubtreeKey ba = pairSubtreeKey(keyB, keyA);
    EXPECT_NE(ab, ba);
    EXPECT_EQ(pairSubtreeKey(keyA, keyB), ab);
    std::set<SubtreeKey> all = {keyA,
                                keyB,
                                ab,
                                ba,
                                pairSubtreeKey(ab, keyA),
                                pairSubtreeKey(keyA, ab),
                                pairSubtreeKey(ab, ba),
                                pairSubtreeKey(ba, ab),
                                pairSubtreeKey(keyA, keyA)};
    EXPECT_EQ(all.size(), 9u);
    EXPECT_EQ(pairSubtreeKey(ab, NO_SUBTREE_KEY), NO_SUBTREE_KEY);
    EXPECT_EQ(pairSubtreeKey(NO_SUBTREE_KEY, ab), NO_SUBTREE_KEY);
}

TEST_F(SubtreeCache, KeysHandedOutBeforeAClearNeverComeBack) {
    TreeNode* a = pool.leaf("ac");
    TreeNode* b = pool.leaf("gt");
    std::set<SubtreeKey> seen = {leafSubtreeKey(a), leafSubtreeKey(b)};
    seen.insert(pairSubtreeKey(*seen.begin(), *seen.rbegin()));
    clearSubtreeCache();
    const SubtreeKey keyA = leafSubtreeKey(a);
    const SubtreeKey keyB = leafSubtreeKey(b);
    for (SubtreeKey key : {keyA, keyB, pairSubtreeKey(keyA, keyB)})
        EXPECT_TRUE(seen.insert(key).second) << key;
}

TEST_F(SubtreeCache, HitRebuildsExactlyTheAlignedChildren) {
    for (int trial = 0; trial < 20; ++trial) {
        SCOPED_TRACE(trial);
        runSettings.workMode = trial % 3;
        runSettings.gapOpenPenalty = trial % 4 == 0 ? 0.0 : -2.0;
        const int n = 1 + static_cast<int>(random() % 60);
        const int m = 1 + static_cast<int>(random() % 60);
        TreeNode* first = randomProfile(n);
        TreeNode* second = randomProfile(m);
        TreeNode* cachedFirst = copyOf(first);
        TreeNode* cachedSecond = copyOf(second);

        double similarity;
        ASSERT_EQ(alignProfiles(first, second, similarity), 0);
        const SubtreeKey key = pairSubtreeKey(leafSubtreeKey(first), leafSubtreeKey(second));
        storeAlignment(key, similarity, n, m, mainWorkspace().alignmentPath, first->workLength);

        CachedAlignment kept;
        ASSERT_TRUE(findCachedAlignment(key, kept));
        EXPECT_EQ(kept.similarity, similarity);
        EXPECT_EQ(kept.firstLength, n);
        EXPECT_EQ(kept.secondLength, m);
        rebuildAlignedChildren(kept, cachedFirst, cachedSecond);
        EXPECT_TRUE(sameColumns(cachedFirst, first));
        EXPECT_TRUE(sameColumns(cachedSecond, second));
    }
}

TEST_F(SubtreeCache, LeastRecentlyUsedGoFirstAndTheBudgetIsNeverPassed) {
    // Long enough that one alignment outweighs the keys
    const int length = MAXSEQLEN;
    const SubtreeKey leaf = leafSubtreeKey(pool.leaf("a"));
    std::vector<SubtreeKey> keys;
    for (int i = 0; i < 6; ++i)
        keys.push_back(pairSubtreeKey(leaf, i == 0 ? leaf : keys.back()));
    const std::size_t keyBytes = subtreeCacheBytes();
    storeAlignment(keys[0], 0.0, length, length, pairs.data(), length);
    const std::size_t entryBytes = subtreeCacheBytes() - keyBytes;
    // Room for the keys and three alignments
    const std::size_t budget = keyBytes + 3 * entryBytes;
    setSubtreeCacheBudget(budget);

    CachedAlignment kept;
    for (int i = 1; i < 3; ++i)
        storeAlignment(keys[i], i, length, length, pairs.data(), length);
    ASSERT_EQ(subtreeCacheEntries(), 3);
    ASSERT_TRUE(findCachedAlignment(keys[0], kept)); // now the most recent
    storeAlignment(keys[3], 3.0, length, length, pairs.data(), length);
    EXPECT_EQ(subtreeCacheEntries(), 3);
    EXPECT_LE(subtreeCacheBytes(), budget);
    EXPECT_TRUE(findCachedAlignment(keys[0], kept));
    EXPECT_EQ(kept.similarity, 0.0);
    EXPECT_FALSE(findCachedAlignment(keys[1], kept));
    EXPECT_TRUE(findCachedAlignment(keys[2], kept));
    EXPECT_TRUE(findCachedAlignment(keys[3], kept));
    EXPECT_EQ(kept.similarity, 3.0);

    // A smaller budget drops the oldest at once
    setSubtreeCacheBudget(keyBytes + entryBytes);
    EXPECT_EQ(subtreeCacheEntries(), 1);
    EXPECT_TRUE(findCachedAlignment(keys[3], kept));
}

TEST_F(SubtreeCache, StoringStopsAtTheBudgetWithoutFailing) {
    const SubtreeKey leaf = leafSubtreeKey(pool.leaf("a"));
    const std::size_t budget = 64 * 1024;
    setSubtreeCacheBudget(budget);
    SubtreeKey key = leaf;
    int found = 0;
    for (int i = 0; i < 1000; ++i) {
        key = pairSubtreeKey(leaf, key);
        storeAlignment(key, i, MAXSEQLEN, 1, pairs.data(), MAXSEQLEN);
        EXPECT_LE(subtreeCacheBytes(), budget);
        CachedAlignment kept;
        found += findCachedAlignment(key, kept) ? 1 : 0;
    }
    // Every new alignment found room by dropping old ones, until the keys
    // themselves filled half the budget and everything started again
    EXPECT_EQ(found, 1000);
    EXPECT_LT(subtreeCacheEntries(), 1000);

    // An alignment larger than the whole budget is simply not kept
    setSubtreeCacheBudget(300);
    const SubtreeKey small = pairSubtreeKey(leaf, leaf);
    storeAlignment(small, 1.0, MAXSEQLEN, 1, pairs.data(), MAXSEQLEN);
    CachedAlignment kept;
    EXPECT_FALSE(findCachedAlignment(small, kept));
    EXPECT_LE(subtreeCacheBytes(), std::size_t{300});
}

TEST_F(SubtreeCache, NoBudgetMeansNoKeys) {
    setSubtreeCacheBudget(0);
    EXPECT_EQ(leafSubtreeKey(pool.leaf("a")), NO_SUBTREE_KEY);
    storeAlignment(NO_SUBTREE_KEY, 1.0, 3, 3, pairs.data(), 3);
    EXPECT_EQ(subtreeCacheEntries(), 0);
    EXPECT_EQ(subtreeCacheBytes(), 0u);
}

TEST_F(SubtreeCache, DefaultBudgetIsAtMostHalfAGibibyteButNotNothing) {
    EXPECT_LE(defaultSubtreeCacheBudget(), std::size_t{512} << 20);
    EXPECT_GE(defaultSubtreeCacheBudget(), std::size_t{1} << 20);
}

} // namespace
} // namespace vorbex
