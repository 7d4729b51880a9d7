#include "state/numbers.h"

#include <gtest/gtest.h>

#include <optional>

using rv::parseInt32;

TEST(NumberRule, ReadsLeadingNumberAndIgnoresTheRest) {
    struct Case {
        const char* text;
        std::optional<int32_t> value;
    };
    const Case cases[] = {
        {"0", 0},           {"42", 42},         {"-3", -3},           {"+7", 7},
        {" 7", 7},          {"\t\n 12", 12},    {"12px", 12},         {"1.9", 1},
        {"007", 7},         {"2147483647", 2147483647},               {"-2147483648", INT32_MIN},
        {"2147483648", std::nullopt},           {"-2147483649", std::nullopt},
        {"3000000000", std::nullopt},           {"99999999999999999999999", std::nullopt},
        {"", std::nullopt}, {" ", std::nullopt}, {"true", std::nullopt}, {"null", std::nullopt},
        {"x5", std::nullopt}, {"-", std::nullopt}, {"+-1", std::nullopt}, {"- 1", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(parseInt32(c.text), c.value) << "text: '" << c.text << "'";
}

TEST(NumberRule, UnsignedNegationWrapsModulo2To32) {
    EXPECT_EQ(rv::parseUInt32("4294967295"), 4294967295u);
    EXPECT_EQ(rv::parseUInt32("-1"), 4294967295u);
    EXPECT_EQ(rv::parseUInt32("-2"), 4294967294u);
    EXPECT_EQ(rv::parseUInt32("4294967296"), std::nullopt);
    EXPECT_EQ(rv::parseUInt32("abc"), std::nullopt);
}

TEST(NumberRule, FloatsAreReadInTheClassicFormat) {
    EXPECT_EQ(rv::parseDouble("1234.57"), 1234.57);
    EXPECT_EQ(rv::parseDouble(" 0.5xyz"), 0.5);
    EXPECT_EQ(rv::parseDouble("-2e3"), -2000.0);
    EXPECT_EQ(rv::parseDouble(".25"), 0.25);
    EXPECT_EQ(rv::parseDouble("1,5"), 1.0);  // a decimal comma is not part of the number
    EXPECT_EQ(rv::parseDouble("abc"), std::nullopt);
    EXPECT_EQ(rv::parseDouble(""), std::nullopt);
    EXPECT_EQ(rv::parseFloat("1e39"), std::nullopt);  // does not fit a 32-bit float
    EXPECT_EQ(rv::parseFloat("2"), 2.0f);
}

TEST(NumberRule, FieldSplittingKeepsInnerEmptiesButNotATrailingOne) {
    using V = std::vector<std::string>;
    EXPECT_EQ(rv::splitFields("", ','), V{});
    EXPECT_EQ(rv::splitFields(",", ','), V{""});
    EXPECT_EQ(rv::splitFields("a,,b", ','), (V{"a", "", "b"}));
    EXPECT_EQ(rv::splitFields("a,b,", ','), (V{"a", "b"}));
    EXPECT_EQ(rv::splitFields(",a", ','), (V{"", "a"}));
    EXPECT_EQ(rv::splitFields("a|b||", '|'), (V{"a", "b", ""}));
}

TEST(NumberFormat, SixSignificantDigitsLikePrintfG) {
    EXPECT_EQ(rv::formatG6(1.0), "1");
    EXPECT_EQ(rv::formatG6(0.5), "0.5");
    EXPECT_EQ(rv::formatG6(1.25), "1.25");
    EXPECT_EQ(rv::formatG6(0.016), "0.016");
    EXPECT_EQ(rv::formatG6(1234.5678), "1234.57");
    EXPECT_EQ(rv::formatG6(1234567.0), "1.23457e+06");
    EXPECT_EQ(rv::formatG6(1234567.5), "1.23457e+06");
    EXPECT_EQ(rv::formatG6(0.0001), "0.0001");
    EXPECT_EQ(rv::formatG6(0.00001), "1e-05");
    EXPECT_EQ(rv::formatG6(0.0), "0");
    EXPECT_EQ(rv::formatG6(-2.5), "-2.5");
    EXPECT_EQ(rv::formatG6(static_cast<float>(0.1f)), "0.1");
}
