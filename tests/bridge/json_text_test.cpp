#include "bridge/json_text.h"

#include <gtest/gtest.h>

#include <string>

#include "state/utf8_text.h"

namespace {

// Whatever bytes a name or key name holds, the JSON string is well-formed UTF-8 and quotes,
// backslashes and control characters are escaped.
TEST(JsonString, EscapesAndAlwaysWritesWellFormedUtf8) {
    struct Case {
        const char* name;
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"empty", "", "\"\""},
        {"quote and backslash", "a\"b\\c", "\"a\\\"b\\\\c\""},
        {"controls", std::string("\0\t\n\x1f", 4), "\"\\u0000\\u0009\\u000a\\u001f\""},
        {"german key name",
         "Gro\xC3\x9F"
         "schreibtaste",
         "\"Gro\xC3\x9F"
         "schreibtaste\""},
        {"russian key name", "\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB1\xD0\xB5\xD0\xBB",
         "\"\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB1\xD0\xB5\xD0\xBB\""},
        {"emoji", "\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""},
        {"code page 1252 byte", "\xE4", "\"\xEF\xBF\xBD\""},
        {"cut sequence before a quote", "\xE6\x97\"", "\"\xEF\xBF\xBD\\\"\""},
        {"lead byte swallowing the closing quote", "\xC3", "\"\xEF\xBF\xBD\""},
        {"encoded surrogate", "\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string out = rv::jsonString(c.in);
        EXPECT_EQ(out, c.out);
        EXPECT_EQ(rv::validUtf8(out), out);
    }
}

}  // namespace
