#include "state/numbers.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>

using rv::parseInt32;

TEST(NumberRule, ReadsLeadingNumberAndIgnoresTheRest) {
    struct Case {
        const char* text;
        std::optional<int32_t> value;
    };
    const Case cases[] = {
        {"0", 0},
        {"42", 42},
        {"-3", -3},
        {"+7", 7},
        {" 7", 7},
        {"\t\n 12", 12},
        {"12px", 12},
        {"1.9", 1},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"3000000000", std::nullopt},
        {"99999999999999999999999", std::nullopt},
        {"", std::nullopt},
        {" ", std::nullopt},
        {"true", std::nullopt},
        {"null", std::nullopt},
        {"x5", std::nullopt},
        {"-", std::nullopt},
        {"+-1", std::nullopt},
        {"- 1", std::nullopt},
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

TEST(NumberRule, DecimalsTakeOneOptionalSignAndAtLeastOneDigit) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::string zeros(400, '0');
    struct Case {
        std::string text;
        std::optional<double> value;
    };
    const Case cases[] = {
        {"1234.57", 1234.57},
        {" 0.5xyz", 0.5},
        {"-2e3", -2000.0},
        {"+7", 7.0},
        {".25", 0.25},
        {"-.5", -0.5},
        {"1,5", 1.0},
        {"\t\n 3", 3.0},
        {"5.", 5.0},
        {"1e", 1.0},
        {"2e+2", 200.0},
        {"0", 0.0},
        {"--5", std::nullopt},
        {"+-5", std::nullopt},
        {"-+5", std::nullopt},
        {"- 5", std::nullopt},
        {"-", std::nullopt},
        {".", std::nullopt},
        {".e5", std::nullopt},
        {"abc", std::nullopt},
        {"", std::nullopt},
        {"inf", std::nullopt},
        {"-nan", std::nullopt},
        {"infinity", std::nullopt},
        {"0x10", 0.0},
        // Digit runs far outside a double's range: huge is infinity, tiny is zero, leading zeros
        // change nothing.
        {zeros + "1", 1.0},
        {zeros + "1.5", 1.5},
        {"-" + zeros + "2", -2.0},
        {"1" + zeros, inf},
        {"-1" + zeros, -inf},
        {"1e400", inf},
        {"1e99999999999999999", inf},
        {"0." + zeros + "1", 0.0},
        {"-0." + zeros + "1", -0.0},
        {"1e-400", 0.0},
        {"1" + zeros + "e-800", 0.0},
        {zeros + "." + zeros, 0.0},
        {"0." + zeros + "1e500", 1e99},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rv::parseDouble(c.text), c.value) << "text: '" << c.text.substr(0, 40) << "'";
    }
}

TEST(NumberRule, FloatsMustFitA32BitFloat) {
    EXPECT_EQ(rv::parseFloat("1e39"), std::nullopt);
    EXPECT_EQ(rv::parseFloat("1" + std::string(400, '0')), std::nullopt);
    EXPECT_EQ(rv::parseFloat("0." + std::string(400, '0') + "1"), 0.0f);
    EXPECT_EQ(rv::parseFloat("--2"), std::nullopt);
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
