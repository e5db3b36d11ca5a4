#include <gtest/gtest.h>

#include <deque>
#include <set>
#include <string>
#include <vector>

#include "resolve/resolve.h"
#include "search/topology.h"
#include "support/trees.h"

namespace vorbex {
namespace {

class Topologies : public testing::Test {
  protected:
    void SetUp() override {
        maxPolytomyOrder = 7;
        ASSERT_EQ(buildResolutionTables(), 0);
    }
    void TearDown() override { test_support::releaseEverything(); }

    static std::vector<std::string> table(int order) {
        std::vector<std::string> texts;
        char text[TOPOLOGY_TEXT_SIZE];
        for (int index = 0; topologyText(order, index, text); ++index)
            texts.emplace_back(text);
        return texts;
    }
};

// (2k-3)!!
long long resolutions(int order) {
    long long count = 1;
    for (int k = 2 * order - 3; k > 1; k -= 2)
        count *= k;
    return count;
}

// Every text reached from `from` by interchanges, each topology's
// neighbours checked on the way
std::set<std::string> interchangeClosure(const Topology& from) {
    std::set<std::string> reached = {topologyTextOf(from)};
    std::deque<Topology> pending = {from};
    while (!pending.empty()) {
        const Topology at = pending.front();
        pending.pop_front();
        const std::string text = topologyTextOf(at);
        const std::vector<Topology> neighbours = interchangeNeighbours(at);
        // A rooted binary tree has order - 2 edges below inner nodes, two interchanges each, all distinct
        EXPECT_EQ(static_cast<int>(neighbours.size()), 2 * (at.order - 2)) << text;
        std::set<std::string> distinct;
        for (const Topology& next : neighbours) {
            const std::string nextText = topologyTextOf(next);
            EXPECT_NE(nextText, text);
            EXPECT_TRUE(distinct.insert(nextText).second) << text << " repeats " << nextText;
            EXPECT_EQ(topologyFromText(nextText, at.order).order, at.order) << nextText;
            if (reached.insert(nextText).second)
                pending.push_back(next);
        }
    }
    return reached;
}

TEST_F(Topologies, InterchangesReachExactlyTheTablesOfEachOrder) {
    for (int order = 3; order <= 7; ++order) {
        SCOPED_TRACE(order);
        const std::vector<std::string> texts = table(order);
        ASSERT_EQ(static_cast<long long>(texts.size()), resolutions(order));
        // From the middle of the table, so neither end is the start
        const Topology start = topologyFromText(texts[texts.size() / 2], order);
        ASSERT_EQ(start.order, order);
        const std::set<std::string> reached = interchangeClosure(start);
        EXPECT_EQ(static_cast<long long>(reached.size()), resolutions(order));
        EXPECT_EQ(reached, std::set<std::string>(texts.begin(), texts.end()));
    }
}

TEST_F(Topologies, EveryTableTextReadsBackToItself) {
    for (int order = 3; order <= 7; ++order)
        for (const std::string& text : table(order)) {
            const Topology topology = topologyFromText(text, order);
            ASSERT_EQ(topology.order, order) << text;
            ASSERT_EQ(topology.left.size(), static_cast<std::size_t>(order - 1)) << text;
            ASSERT_EQ(topologyTextOf(topology), text);
        }
    // Two children: one join
    EXPECT_EQ(topologyTextOf(topologyFromText("AB", 2)), "AB");
}

TEST_F(Topologies, SidesInAnyOrderReadAsTheCanonicalText) {
    struct Case {
        const char* text;
        int order;
        const char* canonical;
    };
    for (const Case& c :
         {Case{"B(AC)", 3, "(AC)B"}, Case{"(BC)A", 3, "A(BC)"}, Case{"B((DA)C)", 4, "((AD)C)B"},
          Case{"(DC)(BA)", 4, "(AB)(CD)"}, Case{"((ED)C)(BA)", 5, "(AB)(C(DE))"}})
        EXPECT_EQ(topologyTextOf(topologyFromText(c.text, c.order)), c.canonical) << c.text;
}

TEST_F(Topologies, MalformedTextsGiveOrderZero) {
    struct Case {
        const char* text;
        int order;
    };
    for (const Case& c : {
             Case{"((AA)C)B", 4},  // repeated letter
             Case{"((AD)C)C", 4},  // repeated, another missing
             Case{"(AD)C", 4},     // missing letter
             Case{"((AD)C)", 4},   // one side only
             Case{"((AD)CB", 4},   // unclosed
             Case{"((AD))C)B", 4}, // a group of one
             Case{"(A(D)C)B", 4},  // a letter in parentheses
             Case{"((ADC)B", 4},   // a group of three
             Case{"(AD)C)B", 4},   // closing without opening
             Case{"((AD)C)BA", 4}, // trailing letter
             Case{"((AD)C)B)", 4}, // trailing parenthesis
             Case{"((AD)C)B ", 4}, // trailing blank
             Case{"((AE)C)B", 4},  // letter beyond the order
             Case{"((ad)c)b", 4},  // not a child's letter
             Case{"(AC)B", 4},     // a text of another order
             Case{"((AD)C)B", 5},  Case{"", 3}, Case{"A", 1}, Case{"AB", 0},
         }) {
        const Topology topology = topologyFromText(c.text, c.order);
        EXPECT_EQ(topology.order, 0) << '"' << c.text << "\" of order " << c.order;
        EXPECT_EQ(topologyTextOf(topology), "") << c.text;
    }
}

TEST_F(Topologies, AverageLinkageJoinsTheClosestClustersFirst) {
    struct Case {
        const char* what;
        std::vector<std::vector<double>> distances;
        std::vector<int> left;
        std::vector<int> right;
        const char* text;
    };
    const std::vector<Case> cases = {
        {"A-D, then B-C, then B-C with E at 7, then the rest",
         {{0, 8, 8, 2, 8}, {8, 0, 3, 8, 7}, {8, 3, 0, 8, 7}, {2, 8, 8, 0, 8}, {8, 7, 7, 8, 0}},
         {0, 1, 6, 5},
         {3, 2, 4, 7},
         "(AD)((BC)E)"},
        // ABC to D is (2 * 4 + 7) / 3 = 5 weighted by members, below D-E's 5.2
        // (but 5.5 as the mean of the two clusters joined)
        {"averages weigh each member",
         {{0, 1, 2, 4, 9}, {1, 0, 2, 4, 9}, {2, 2, 0, 7, 9}, {4, 4, 7, 0, 5.2}, {9, 9, 9, 5.2, 0}},
         {0, 5, 6, 7},
         {1, 2, 3, 4},
         "(((AB)C)D)E"},
        {"all equal: the lowest indexes first",
         {{0, 1, 1, 1, 1}, {1, 0, 1, 1, 1}, {1, 1, 0, 1, 1}, {1, 1, 1, 0, 1}, {1, 1, 1, 1, 0}},
         {0, 5, 6, 7},
         {1, 2, 3, 4},
         "(((AB)C)D)E"},
        {"a tie between pairs far apart",
         {{0, 5, 5, 5}, {5, 0, 1, 5}, {5, 1, 0, 1}, {5, 5, 1, 0}},
         {1, 4, 0},
         {2, 3, 5},
         "A((BC)D)"},
        {"two children", {{0, 3}, {3, 0}}, {0}, {1}, "AB"},
    };
    for (const Case& c : cases) {
        const Topology topology = averageLinkageTopology(c.distances);
        EXPECT_EQ(topology.order, static_cast<int>(c.distances.size())) << c.what;
        EXPECT_EQ(topology.left, c.left) << c.what;
        EXPECT_EQ(topology.right, c.right) << c.what;
        EXPECT_EQ(topologyTextOf(topology), c.text) << c.what;
    }
}

} // namespace
} // namespace vorbex
