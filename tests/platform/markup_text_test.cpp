#include "platform/markup_text.h"

#include <gtest/gtest.h>

TEST(MarkupText, MarkupEscapingKeepsTextAndLineBreaksAndMakesMarkupInert) {
    struct Case {
        std::string text, escaped;
    };
    const Case cases[] = {
        {"", ""},
        {"C:\\Users\\\xC5\x81ukasz\\Ravelin.exe", "C:\\Users\\\xC5\x81ukasz\\Ravelin.exe"},
        {"<a href=\"x\">&'</a>", "&lt;a href=&quot;x&quot;&gt;&amp;&apos;&lt;/a&gt;"},
        {"line\r\nnext\ttab", "line\r\nnext\ttab"},
        {std::string("a\0b\x01\x1f\x7f", 6), "a_b__\x7f"},
    };
    for (const Case& c : cases) EXPECT_EQ(rv::markupEscaped(c.text), c.escaped) << c.text;
}
