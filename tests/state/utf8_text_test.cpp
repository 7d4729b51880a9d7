#include "state/utf8_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kReplacement = "\xEF\xBF\xBD";

TEST(Utf8Text, WellFormedTextIsKeptAndIllFormedPartsAreReplaced) {
    struct Case {
        const char* name;
        std::string in;
        std::string out;
    };
    const std::string r = kReplacement;
    const Case cases[] = {
        {"empty", "", ""},
        {"ascii with controls", std::string("a\0\x1f\x7f", 4), std::string("a\0\x1f\x7f", 4)},
        {"two, three and four bytes", "\xC5\x81 \xE6\x97\xA5 \xF0\x9F\x98\x80",
         "\xC5\x81 \xE6\x97\xA5 \xF0\x9F\x98\x80"},
        {"edges of the ranges",
         "\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xF0\x90\x80\x80\xF4\x8F\xBF\xBF",
         "\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
        // Windows-1252 "Größe", as a German system's 8-bit functions give it.
        {"code page 1252",
         "Gr\xF6\xDF"
         "e",
         "Gr" + r + r + "e"},
        {"stray continuation bytes",
         "a\x80\xBF"
         "b",
         "a" + r + r + "b"},
        {"cut at the end", "ab\xE6\x97", "ab" + r},
        {"cut before ascii",
         "\xF0\x9F\x98"
         "x",
         r + "x"},
        {"overlong two bytes", "\xC0\xAF\xC1\xBF", r + r + r + r},
        {"overlong three bytes", "\xE0\x80\xAF", r + r + r},
        {"overlong four bytes", "\xF0\x80\x80\xAF", r + r + r + r},
        {"encoded surrogate", "\xED\xA0\x80", r + r + r},
        {"above U+10FFFF", "\xF4\x90\x80\x80", r + r + r + r},
        {"never a lead byte", "\xF5\xFE\xFF", r + r + r},
        {"lead without continuation",
         "\xC5 \xE6"
         "a",
         r + " " + r + "a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string out = rv::validUtf8(c.in);
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(rv::validUtf8(out), out);  // what comes out is well-formed
    }
}

TEST(Utf8Text, Utf16LengthCountsWhatWindowsCounts) {
    EXPECT_EQ(rv::utf16Length(""), 0u);
    EXPECT_EQ(rv::utf16Length("C:\\a"), 4u);
    EXPECT_EQ(rv::utf16Length("\xC5\x81ukasz \xE6\x97\xA5\xE6\x9C\xAC"), 9u);
    EXPECT_EQ(rv::utf16Length("\xF0\x9F\x98\x80"), 2u);  // a surrogate pair
    EXPECT_EQ(rv::utf16Length("a\x80\xE6\x97"), 3u);     // each ill-formed part is one U+FFFD
    EXPECT_EQ(rv::utf16Length(std::string(300, 'x')), 300u);
}

}  // namespace
