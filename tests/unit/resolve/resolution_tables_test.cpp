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

    static std::string topology(int order, int index) {
        char text[TOPOLOGY_TEXT_SIZE];
        return topologyText(order, index, text) ? text : "missing";
    }
    static std::vector<std::string> table(int order) {
        std::vector<std::string> strings;
        for (int index = 0; index < topologyCount[order]; ++index)
            strings.push_back(topology(order, index));
        return strings;
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
        EXPECT_EQ(topology(order, 0), "missing");
}

TEST_F(ResolutionTables, OrdersThreeAndFourStandInTheirFixedOrder) {
    maxPolytomyOrder = 4;
    ASSERT_EQ(buildResolutionTables(), 0);
    EXPECT_EQ(table(3), (std::vector<std::string>{"(AC)B", "(AB)C", "A(BC)"}));
    EXPECT_EQ(table(4),
              (std::vector<std::string>{"((AD)C)B", "((AD)B)C", "(AD)(BC)", "((AC)B)D", "(AC)(BD)",
                                        "(AB)(CD)", "A((BD)C)", "((AC)D)B", "(A(CD))B", "((AB)D)C",
                                        "(A(BD))C", "((AB)C)D", "(A(BC))D", "A((BC)D)", "A(B(CD))"}));
    EXPECT_EQ(topology(5, 0), "missing");
    EXPECT_EQ(topology(4, 15), "missing");
    EXPECT_EQ(topology(4, -1), "missing");
}

TEST_F(ResolutionTables, OrderFiveBuildsTheSmallerOrdersAndKnownStrings) {
    maxPolytomyOrder = 5;
    ASSERT_EQ(buildResolutionTables(), 0);
    EXPECT_EQ(topologyCount[3], 3);
    EXPECT_EQ(topologyCount[4], 15);
    ASSERT_EQ(topologyCount[5], 105);
    EXPECT_EQ(topology(5, 0), "(((AE)D)C)B");
    EXPECT_EQ(topology(5, 14), "A(((BE)D)C)");
    EXPECT_EQ(topology(5, 15), "(((AE)C)D)B");
    EXPECT_EQ(topology(5, 104), "A(B(C(DE)))");
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
        const std::string text = topology(9, j);
        ASSERT_EQ(text.size(), 23u) << j;
        ASSERT_NE(canonical(text, 9), "malformed") << text;
    }
}

TEST_F(ResolutionTables, OrderBeyondTheMemoryIsRefusedBeforeAnyOrderIsBuilt) {
    // Two numbers of 4 bytes for each split: 3 of order 3, 7 of order 4
    EXPECT_EQ(resolutionTableBytes(4), (3 + 7) * 2 * 4);
    maxPolytomyOrder = 5;
    testing::internal::CaptureStdout();
    EXPECT_EQ(buildResolutionTables(resolutionTableBytes(4) + 1), ERMEM);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("order 5"), std::string::npos) << printed;
    for (int order = 3; order <= 5; ++order) {
        EXPECT_EQ(topology(order, 0), "missing") << order;
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
    EXPECT_EQ(topology(4, 14), "A(B(CD))");
    EXPECT_EQ(topology(5, 0), "missing");
}

// Order 11, once 27.5 GB of strings, now fits any machine
TEST_F(ResolutionTables, OrderElevenIsBuiltInLittleMemory) {
    EXPECT_LT(resolutionTableBytes(11), 20000.0);
    maxPolytomyOrder = 11;
    ASSERT_EQ(buildResolutionTables(), 0);
    EXPECT_EQ(topologyCount[10], 34459425);
    ASSERT_EQ(topologyCount[11], 654729075);
    EXPECT_EQ(topology(11, 0), "(((((((((AK)J)I)H)G)F)E)D)C)B");
    EXPECT_EQ(topology(11, 654729074).size(), 29u);
    EXPECT_EQ(topology(11, 654729075), "missing");
}

} // namespace
} // namespace vorbex
