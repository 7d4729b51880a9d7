// UTF-8 ⇄ UTF-16 at the Windows API edge, under Windows or Wine.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32/wide_text.h"

namespace {

TEST(WideText, RoundTripsEveryPlane) {
    struct Case {
        const char* name;
        std::string utf8;
        std::wstring wide;
    };
    const Case cases[] = {
        {"empty", "", L""},
        {"ascii", "C:\\Ravelin\\session.txt", L"C:\\Ravelin\\session.txt"},
        {"latin and cjk", "C:\\users\\\u0141ukasz \u65E5\u672C", L"C:\\users\\\u0141ukasz \u65E5\u672C"},
        {"cyrillic", "\u041F\u0440\u043E\u0431\u0435\u043B", L"\u041F\u0440\u043E\u0431\u0435\u043B"},
        // Outside the basic plane: a surrogate pair in UTF-16, four bytes in UTF-8.
        {"emoji", "a\U0001F600b",
         L"a\xD83D\xDE00"
         L"b"},
        {"embedded nul", std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(plat::toWide(c.utf8), c.wide);
        EXPECT_EQ(plat::toUtf8(c.wide), c.utf8);
        EXPECT_EQ(plat::toUtf8(c.wide.data(), c.wide.size()), c.utf8);
    }
}

TEST(WideText, InvalidInputBecomesReplacementCharacters) {
    // A lone continuation byte and a cut sequence: replaced, never dropped together with what follows.
    std::wstring wide = plat::toWide("a\x80z\xE6\x97");
    ASSERT_GE(wide.size(), 3u);
    EXPECT_EQ(wide.front(), L'a');
    EXPECT_NE(wide.find(L'z'), std::wstring::npos);
    EXPECT_NE(wide.find(L'\xFFFD'), std::wstring::npos);

    // An unpaired surrogate becomes valid UTF-8 (U+FFFD), never the surrogate's own three bytes.
    std::wstring lone = std::wstring(L"x") + wchar_t(0xD800) + L"y";
    EXPECT_EQ(plat::toUtf8(lone), "x\xEF\xBF\xBDy");
    EXPECT_EQ(plat::toUtf8(nullptr, 5), "");
}

TEST(WideText, NulTextsAreRecognised) {
    EXPECT_TRUE(plat::hasNoNul("C:\\folder"));
    EXPECT_TRUE(plat::hasNoNul(""));
    EXPECT_FALSE(plat::hasNoNul(std::string("C:\\a\0b", 6)));
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
