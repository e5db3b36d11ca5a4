#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

#include "resolve/resolve.h"
#include "run/run.h"
#include "support/trees.h"

namespace vorbex {
namespace {

class ResolutionTables : public testing::Test {
  protected:
    void TearDown() override { test_support::releaseEverything(); }

    static std::vector<std::string> table(int order) {
        return std::vector<std::string>(resolutionTable[order],
                                        resolutionTable[order] + topologyCount[order]);
    }
};

// Canonical form of a rooted binary topology: each group with its two sides sorted.
// Also checks the grammar: every letter of the order once, groups of exactly two items.
std::string canonical(const std::string& topology, int order) {
    std::vector<std::string> items;
    std::vector<size_t> groupStarts;
    std::set<char> letters;
    for (char c : topology) {
        if (c == '(') {
            groupStarts.push_back(items.size());
        } else if (c == ')') {
            if (groupStarts.empty() || items.size() != groupStarts.back() + 2)
                return "malformed";
            const std::string a = items[items.size() - 2], b = items.back();
            items.resize(groupStarts.back());
            groupStarts.pop_back();
            items.push_back("(" + std::min(a, b) + std::max(a, b) + ")");
        } else {
            if (c < 'A' || c >= 'A' + order || !letters.insert(c).second)
                return "malformed";
            items.push_back(std::string(1, c));
        }
    }
    if (!groupStarts.empty() || items.size() != 2 || static_cast<int>(letters.size()) != order)
        return "malformed";
    return "(" + std::min(items[0], items[1]) + std::max(items[0], items[1]) + ")";
}

TEST_F(ResolutionTables, NothingIsBuiltWithoutAPolytomy) {
    maxPolytomyOrder = 0;
    EXPECT_EQ(buildResolutionTables(), 0);
    for (int order = 0; order < CHILD_SLOTS; ++order)
        EXPECT_EQ(resolutionTable[order], nullptr);
}

TEST_F(ResolutionTables, OrdersThreeAndFourStandInTheirFixedOrder) {
    maxPolytomyOrder = 4;
    ASSERT_EQ(buildResolutionTables(), 0);
    EXPECT_EQ(table(3), (std::vector<std::string>{"(AC)B", "(AB)C", "A(BC)"}));
    EXPECT_EQ(table(4),
              (std::vector<std::string>{"((AD)C)B", "((AD)B)C", "(AD)(BC)", "((AC)B)D", "(AC)(BD)",
                                        "(AB)(CD)", "A((BD)C)", "((AC)D)B", "(A(CD))B", "((AB)D)C",
                                        "(A(BD))C", "((AB)C)D", "(A(BC))D", "A((BC)D)", "A(B(CD))"}));
    EXPECT_EQ(resolutionTable[5], nullptr);
}

TEST_F(ResolutionTables, OrderFiveBuildsTheSmallerOrdersAndKnownStrings) {
    maxPolytomyOrder = 5;
    ASSERT_EQ(buildResolutionTables(), 0);
    EXPECT_EQ(topologyCount[3], 3);
    EXPECT_EQ(topologyCount[4], 15);
    ASSERT_EQ(topologyCount[5], 105);
    EXPECT_STREQ(resolutionTable[5][0], "(((AE)D)C)B");
    EXPECT_STREQ(resolutionTable[5][14], "A(((BE)D)C)");
    EXPECT_STREQ(resolutionTable[5][15], "(((AE)C)D)B");
    EXPECT_STREQ(resolutionTable[5][104], "A(B(C(DE)))");
    // One block, string j at j times the slot size of 14
    for (int j = 0; j < 105; ++j)
        EXPECT_EQ(resolutionTable[5][j], resolutionTable[5][0] + j * 14);
}

TEST_F(ResolutionTables, EveryStringIsADistinctBinaryTopologyOverAllLetters) {
    maxPolytomyOrder = 7;
    ASSERT_EQ(buildResolutionTables(), 0);
    const int expectedCounts[] = {0, 0, 0, 3, 15, 105, 945, 10395};
    for (int order = 3; order <= 7; ++order) {
        ASSERT_EQ(topologyCount[order], expectedCounts[order]);
        std::set<std::string> seen;
        for (const std::string& topology : table(order)) {
            EXPECT_EQ(static_cast<int>(topology.size()), 3 * order - 4) << topology;
            const std::string form = canonical(topology, order);
            EXPECT_NE(form, "malformed") << topology;
            EXPECT_TRUE(seen.insert(form).second) << "order " << order << " repeats " << topology;
        }
    }
}

TEST_F(ResolutionTables, OrderNineHasItsCountAndFullLengthStrings) {
    maxPolytomyOrder = 9;
    ASSERT_EQ(buildResolutionTables(), 0);
    ASSERT_EQ(topologyCount[9], 2027025);
    for (int j = 0; j < topologyCount[9]; j += 997) {
        ASSERT_EQ(std::strlen(resolutionTable[9][j]), 23u) << j;
        ASSERT_NE(canonical(resolutionTable[9][j], 9), "malformed") << resolutionTable[9][j];
    }
}

TEST_F(ResolutionTables, OrderBeyondTheMemoryIsRefusedBeforeAnyOrderIsBuilt) {
    EXPECT_EQ(resolutionTableBytes(4), 3 * (8 + sizeof(char*)) + 15 * (11 + sizeof(char*)));
    maxPolytomyOrder = 5;
    testing::internal::CaptureStdout();
    EXPECT_EQ(buildResolutionTables(resolutionTableBytes(4) + 1), ERMEM);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("order 5"), std::string::npos) << printed;
    for (int order = 3; order <= 5; ++order) {
        EXPECT_EQ(resolutionTable[order], nullptr) << order;
        EXPECT_EQ(topologyCount[order], 0) << order;
    }
    // Exactly enough is enough
    testing::internal::CaptureStdout();
    EXPECT_EQ(buildResolutionTables(resolutionTableBytes(5)), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(topologyCount[5], 105);
}

TEST_F(ResolutionTables, TablesAlreadyBuiltStayWhenALargerOrderIsRefused) {
    maxPolytomyOrder = 4;
    ASSERT_EQ(buildResolutionTables(), 0);
    maxPolytomyOrder = 6;
    testing::internal::CaptureStdout();
    EXPECT_EQ(buildResolutionTables(resolutionTableBytes(5)), ERMEM);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(topologyCount[4], 15);
    EXPECT_EQ(resolutionTable[5], nullptr);
}

// Order 11 needs some 27.5 GB: on a machine of 24 GiB the run must end with
// ERMEM and a message instead of being killed; order 10 (1.35 GB) fits
TEST_F(ResolutionTables, OrderElevenIsRefusedByThisMachinesMemory) {
    EXPECT_GT(resolutionTableBytes(11), 27.5e9);
    EXPECT_LT(resolutionTableBytes(10), 1.35e9);
    const double memory = static_cast<double>(sysconf(_SC_PHYS_PAGES)) * sysconf(_SC_PAGESIZE);
    if (memory >= resolutionTableBytes(11))
        GTEST_SKIP() << "this machine could hold the tables of order 11";
    maxPolytomyOrder = 11;
    testing::internal::CaptureStdout();
    EXPECT_EQ(buildResolutionTables(), ERMEM);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(
        printed.rfind("Resolution tables up to order 11 need 27537587088 bytes, more than the memory (", 0),
        0u)
        << printed;
    for (int order = 3; order <= 11; ++order)
        EXPECT_EQ(resolutionTable[order], nullptr) << order;
}

} // namespace
} // namespace vorbex
