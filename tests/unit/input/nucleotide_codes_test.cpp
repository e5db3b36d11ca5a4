#include <string>

#include <gtest/gtest.h>

#include "input/input.h"

namespace vorbex {
namespace {

void expectColumn(char c, double a, double cc, double g, double t) {
    ProfileColumn column;
    EXPECT_EQ(nucleotideColumn(c, column), 0) << c;
    const double expected[] = {a, cc, g, t};
    for (int base = 0; base < BASE_COUNT; ++base)
        EXPECT_EQ(column.weight[base], expected[base]) << c << " base " << base;
}

TEST(NucleotideColumn, EveryCodeGivesItsWeightsInAcgtOrder) {
    const double third = 1.0 / 3.0;
    expectColumn('a', 1, 0, 0, 0);
    expectColumn('c', 0, 1, 0, 0);
    expectColumn('g', 0, 0, 1, 0);
    expectColumn('t', 0, 0, 0, 1);
    expectColumn('u', 0, 0, 0, 1);
    expectColumn('r', 0.5, 0, 0.5, 0);
    expectColumn('y', 0, 0.5, 0, 0.5);
    expectColumn('k', 0, 0, 0.5, 0.5);
    expectColumn('m', 0.5, 0.5, 0, 0);
    expectColumn('s', 0, 0.5, 0.5, 0);
    expectColumn('w', 0.5, 0, 0, 0.5);
    expectColumn('b', 0, third, third, third);
    expectColumn('d', third, 0, third, third);
    expectColumn('h', third, third, 0, third);
    expectColumn('v', third, third, third, 0);
    expectColumn('n', 0.25, 0.25, 0.25, 0.25);
}

TEST(NucleotideColumn, OnlyTheSixteenLowerCaseCodesAreCodesAndOthersLeaveAGap) {
    const std::string codes = "acgturykmswbdhvn";
    int codeCount = 0;
    for (int byte = 0; byte < 256; ++byte) {
        const char c = static_cast<char>(byte);
        // Start from a filled column: a non-code must clear it
        ProfileColumn column{{0.5, 0.5, 0.5, 0.5}};
        const int result = nucleotideColumn(c, column);
        if (codes.find(c) != std::string::npos && c != '\0') {
            EXPECT_EQ(result, 0) << byte;
            ++codeCount;
        } else {
            EXPECT_EQ(result, -1) << byte;
            EXPECT_TRUE(isGapColumn(column)) << byte;
        }
    }
    EXPECT_EQ(codeCount, 16);
}

TEST(ColumnKinds, DefiniteGapAndMixtureAreTellApartWithinTheTolerance) {
    ProfileColumn column;
    ASSERT_EQ(nucleotideColumn('a', column), 0);
    EXPECT_TRUE(isDefiniteColumn(column));
    EXPECT_FALSE(isGapColumn(column));
    ASSERT_EQ(nucleotideColumn('n', column), 0);
    EXPECT_FALSE(isDefiniteColumn(column));
    EXPECT_FALSE(isGapColumn(column));

    EXPECT_TRUE(isGapColumn(ProfileColumn{{0.9e-8, 0, 0.9e-8, 0}}));
    EXPECT_FALSE(isGapColumn(ProfileColumn{{1e-8, 0, 0, 0}}));
    EXPECT_TRUE(isDefiniteColumn(ProfileColumn{{0, 0, 0, 1.0 - 0.9e-8}}));
    EXPECT_FALSE(isDefiniteColumn(ProfileColumn{{0, 0, 0, 1.0 - 2e-8}}));
    // The mean of two different bases is a mixture
    EXPECT_FALSE(isDefiniteColumn(ProfileColumn{{0.5, 0.5, 0, 0}}));
}

} // namespace
} // namespace vorbex
