// The resolution tables, computed entry by entry from the index, against the
// tables built string by string: every entry up to order 9, and first, last
// and seeded random entries of orders 10 and 11 against the slow walk.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "bench/workload.h"
#include "reference/plain_resolution_tables.h"
#include "resolve/resolve.h"
#include "support/trees.h"

namespace vorbex {
namespace {

using reference::PlainResolutionTables;
using reference::WalkedResolutionTable;

class ResolutionTablesDifferential : public testing::Test {
  protected:
    void TearDown() override { test_support::releaseEverything(); }

    static std::string topology(int order, int index) {
        char text[TOPOLOGY_TEXT_SIZE];
        return topologyText(order, index, text) ? text : "missing";
    }
};

TEST_F(ResolutionTablesDifferential, EveryEntryUpToOrderNineEqualsThePlainTables) {
    const PlainResolutionTables plain(9);
    maxPolytomyOrder = 9;
    ASSERT_EQ(buildResolutionTables(), 0);
    for (int order = 3; order <= 9; ++order) {
        ASSERT_EQ(topologyCount[order], plain.count(order)) << order;
        for (int index = 0; index < plain.count(order); ++index)
            ASSERT_EQ(topology(order, index), plain(order, index)) << "order " << order << " entry " << index;
    }
}

// The walk over families must itself give the plain tables where both exist
TEST_F(ResolutionTablesDifferential, TheFamilyWalkEqualsThePlainTables) {
    const PlainResolutionTables plain(8);
    for (int order = 3; order <= 8; ++order) {
        const WalkedResolutionTable walked(order, plain);
        ASSERT_EQ(walked.count(), plain.count(order));
        for (int index = 0; index < plain.count(order); ++index)
            ASSERT_EQ(walked(index), plain(order, index)) << "order " << order << " entry " << index;
    }
}

TEST_F(ResolutionTablesDifferential, OrdersTenAndElevenAtFirstLastAndRandomEntriesEqualTheWalk) {
    const PlainResolutionTables plain(9);
    const WalkedResolutionTable ten(10, plain);
    const WalkedResolutionTable eleven(11, plain, &ten);
    maxPolytomyOrder = 11;
    ASSERT_EQ(buildResolutionTables(), 0);
    bench::SplitMix64 random(20240614);
    for (const auto& [order, walked] : {std::pair{10, &ten}, std::pair{11, &eleven}}) {
        const long count = walked->count();
        ASSERT_EQ(topologyCount[order], count);
        std::vector<long> indexes = {0, 1, count - 2, count - 1};
        for (int i = 0; i < 400; ++i)
            indexes.push_back(static_cast<long>(random.next() % static_cast<std::uint64_t>(count)));
        for (const long index : indexes)
            ASSERT_EQ(topology(order, static_cast<int>(index)), (*walked)(index))
                << "order " << order << " entry " << index << " (seed 20240614)";
    }
}

} // namespace
} // namespace vorbex
