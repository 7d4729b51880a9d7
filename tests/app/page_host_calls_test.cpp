#include "app/page_host_calls.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Kind = rv::PageCallLine::Kind;

TEST(PageHostCalls, LinesTable) {
    struct Case {
        const char* line;
        Kind kind;
        const char* name;
        const char* arguments;
    };
    const Case cases[] = {
        {"getTrackerStatus []", Kind::Call, "getTrackerStatus", "[]"},
        {"updateSpammer [0,0,0,50,0,0,1,10,0]", Kind::Call, "updateSpammer", "[0,0,0,50,0,0,1,10,0]"},
        // The arguments go to the binding exactly as written, blanks inside included.
        {"addProfile [\"two words\", 1]", Kind::Call, "addProfile", "[\"two words\", 1]"},
        {"  getSettings\t[]  \r", Kind::Call, "getSettings", "[]"},
        {"getSettings", Kind::Call, "getSettings", "[]"},
        {"getSettings\r", Kind::Call, "getSettings", "[]"},
        {"close", Kind::Close, "", ""},
        {"  close\r", Kind::Close, "", ""},
        {"", Kind::Blank, "", ""},
        {" \t\r", Kind::Blank, "", ""},
        {"# a comment []", Kind::Blank, "", ""},
        {"getSettings {}", Kind::Malformed, "", ""},
        {"getSettings [1", Kind::Malformed, "", ""},
        {"getSettings 1]", Kind::Malformed, "", ""},
        {"get-Settings []", Kind::Malformed, "", ""},
        {"[1,2]", Kind::Malformed, "", ""},
        // "close" with arguments is a call of a function of that name, which the host then refuses.
        {"close []", Kind::Call, "close", "[]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const rv::PageCallLine call = rv::parsePageCallLine(c.line);
        EXPECT_EQ(call.kind, c.kind);
        if (c.kind != Kind::Call) continue;
        EXPECT_EQ(call.name, c.name);
        EXPECT_EQ(call.arguments, c.arguments);
    }
}

TEST(PageHostCalls, InputIsCutIntoLinesAsItArrives) {
    std::string pending;
    std::string line;
    std::vector<std::string> lines;
    // Chunks as reads may deliver them: a line split across reads, CR LF and LF, an empty line.
    for (const char* chunk : {"getSett", "ings []\r\nclose", "\n\nget", "Profiles"}) {
        pending += chunk;
        while (rv::takeLine(pending, line)) lines.push_back(line);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"getSettings []", "close", ""}));
    EXPECT_EQ(pending, "getProfiles");
    EXPECT_FALSE(rv::takeLine(pending, line));
}

TEST(PageHostCalls, MalformedLinesSayWhyOnOneLine) {
    const rv::PageCallLine call = rv::parsePageCallLine("getSettings {}");
    const std::string line = rv::pageCallError(call.arguments);
    EXPECT_EQ(line, "error: the arguments of getSettings are not a JSON array");
    EXPECT_EQ(rv::pageCallError("a\nb\rc"), "error: a b c");
}

TEST(PageHostCalls, ResultsAreOneJsonStringLine) {
    struct Case {
        std::string text;
        std::string line;
    };
    const Case cases[] = {
        {"", "\"\""},
        {"{\"sh\":0,\"name\":\"a\\\\b\"}", "\"{\\\"sh\\\":0,\\\"name\\\":\\\"a\\\\\\\\b\\\"}\""},
        {"a\nb\r\tc", "\"a\\nb\\r\\tc\""},
        {std::string("\x01\x1f\x7f", 3), "\"\\u0001\\u001f\x7f\""},
        {std::string("nul\0end", 7), "\"nul\\u0000end\""},
        {"caf\xc3\xa9", "\"caf\xc3\xa9\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const std::string line = rv::jsonStringLine(c.text);
        EXPECT_EQ(line, c.line);
        EXPECT_EQ(line.find('\n'), std::string::npos);
    }
}

TEST(PageHostCalls, PanelCallsNameComesFromTheTitle) {
    EXPECT_EQ(rv::panelCallsName("Ravelin (clicker)"), "clicker");
    EXPECT_EQ(rv::panelCallsName("Ravelin (Key Spam)"), "KeySpam");
    EXPECT_EQ(rv::panelCallsName("Ravelin (../x/y)"), "xy");
    EXPECT_EQ(rv::panelCallsName("Ravelin ()"), "Panel");
    EXPECT_EQ(rv::panelCallsName("Ravelin (\xc3\xa9)"), "Panel");
}

}  // namespace
