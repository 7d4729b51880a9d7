#include "state/macro_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/input_codes.h"

namespace {

using rv::MacroEvent;

int64_t micros(double seconds) {
    return std::llround(seconds * 1e6);
}

rv::MacroReading reread(const rv::MacroFile& file, std::string* text = nullptr) {
    std::string written, problem;
    EXPECT_TRUE(rv::writeMacroText(file, written, problem)) << problem;
    if (text) *text = written;
    return rv::readMacroText(written);
}

void expectSameEvents(const std::vector<MacroEvent>& want, const std::vector<MacroEvent>& got) {
    ASSERT_EQ(want.size(), got.size());
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE("event " + std::to_string(i));
        EXPECT_EQ(want[i].kind, got[i].kind);
        EXPECT_EQ(micros(want[i].time), micros(got[i].time));
        EXPECT_NEAR(want[i].time, got[i].time, 0.5e-6 + 1e-12);
        EXPECT_EQ(want[i].x, got[i].x);
        EXPECT_EQ(want[i].y, got[i].y);
        EXPECT_EQ(want[i].flags, got[i].flags);
        EXPECT_EQ(want[i].vk, got[i].vk);
        EXPECT_EQ(want[i].down, got[i].down);
        EXPECT_EQ(want[i].wheel, got[i].wheel);
    }
}

// Every kind of event the recorder makes, as capture.cpp builds it, stamped as it stamps them
// (counter ticks over the frequency, so times are not whole microseconds).
TEST(MacroFile, RecordedEventsRoundTripEveryField) {
    const double tick = 1.0 / 10000000.0;
    std::vector<MacroEvent> events = {
        {rv::kAbsoluteMove, 0, 640, 400, 0, 0, false, 0},
        {rv::kAbsoluteMove, 123457 * tick, -1920, -5, 0, 0, false, 0},
        {rv::kRelativeMove, 223457 * tick, 3, -1, 0, 0, false, 0},
        {rv::kRelativeMove, 223457 * tick, INT32_MIN, INT32_MAX, 0, 0, false, 0},
        {rv::kButton, 1.5, 10, 20, rv::MOUSEEVENTF_LEFTDOWN, 0, false, 0},
        {rv::kButton, 1.6, 10, 20, rv::MOUSEEVENTF_LEFTUP, 0, false, 0},
        {rv::kButton, 1.7, 11, 21, rv::MOUSEEVENTF_RIGHTDOWN, 0, false, 0},
        {rv::kButton, 1.8, 11, 21, rv::MOUSEEVENTF_RIGHTUP, 0, false, 0},
        {rv::kButton, 1.9, 12, 22, rv::MOUSEEVENTF_MIDDLEDOWN, 0, false, 0},
        {rv::kButton, 2.0, 12, 22, rv::MOUSEEVENTF_MIDDLEUP, 0, false, 0},
        {rv::kButton, 2.1, 13, 23, rv::MOUSEEVENTF_XDOWN, 5, false, 0},
        {rv::kButton, 2.2, 13, 23, rv::MOUSEEVENTF_XUP, 5, false, 0},
        {rv::kButton, 2.3, 14, 24, rv::MOUSEEVENTF_XDOWN, 6, false, 0},
        {rv::kButton, 2.4, 14, 24, rv::MOUSEEVENTF_XUP, 6, false, 0},
        {rv::kWheel, 2.5, 0, 0, 0, 0, false, 120},
        {rv::kWheel, 2.5, 0, 0, 0, 0, false, -360},
        {rv::kWheel, 2.6, 0, 0, 0, 0, false, INT16_MIN},
        {rv::kKey, 3.0000005, 0, 0, 0, 65, true, 0},
        {rv::kKey, 3.1, 0, 0, 0, 65, false, 0},
        {rv::kKey, 3.2, 0, 0, 0, 0xA0, true, 0},   // LeftShift
        {rv::kKey, 3.3, 0, 0, 0, 0x30, true, 0},   // the digit 0
        {rv::kKey, 3.4, 0, 0, 0, 0xFF, false, 0},  // no name: Key255
        {rv::kKey, 3.5, 0, 0, 0, 0, true, 0},
        {rv::kAbsoluteMove, 7200.123456, 1, 1, 0, 0, false, 0},
    };
    rv::MacroFile file{1920, 1080, "Log in", "made by a test", events};
    std::string text;
    rv::MacroReading reading = reread(file, &text);
    ASSERT_TRUE(reading.file) << rv::macroProblemsText(reading);
    EXPECT_EQ(1920, reading.file->screenWidth);
    EXPECT_EQ(1080, reading.file->screenHeight);
    EXPECT_EQ("Log in", reading.file->name);
    EXPECT_EQ("made by a test", reading.file->note);
    expectSameEvents(events, reading.file->events);
    // What was read writes the same text again.
    std::string again, problem;
    ASSERT_TRUE(rv::writeMacroText(*reading.file, again, problem));
    EXPECT_EQ(text, again);
    // And it reads as a person would write it.
    EXPECT_NE(text.find("\r\n12.346 move -1920 -5\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" press side2 14 24\r\n"), std::string::npos);
    EXPECT_NE(text.find(" key-down LeftShift 160\r\n"), std::string::npos);
    EXPECT_NE(text.find(" key-up Key255 255\r\n"), std::string::npos);
    EXPECT_NE(text.find(" wheel -360\r\n"), std::string::npos);
}

// Events a session file may hold that no plain step describes keep every field through `event`.
TEST(MacroFile, OddEventsKeepEveryFieldAndLongGapsBecomeWaits) {
    std::vector<MacroEvent> events = {
        {9, 0.25, 1, 2, 3, 4, true, 5},
        {rv::kButton, 0.5, 10, 20, rv::MOUSEEVENTF_XDOWN, 0, false, 0},  // a side button that says none
        {rv::kButton, 0.5, 10, 20, rv::MOUSEEVENTF_LEFTDOWN, 0, true, 0},
        {rv::kKey, 0.75, 0, 0, 0, 300, true, 0},
        {rv::kWheel, 0.8, 0, 0, 0, 0, false, 40000},
        {rv::kAbsoluteMove, 0.9, 1, 2, 0xFFFFFFFFu, 0, false, 0},
        {rv::kKey, 0.9 + 30 * 3600.0, 0, 0, 0, 13, true, 0},  // 30 hours later
    };
    std::string text;
    rv::MacroReading reading = reread(rv::MacroFile{0, 0, "", "", events}, &text);
    ASSERT_TRUE(reading.file) << rv::macroProblemsText(reading);
    expectSameEvents(events, reading.file->events);
    EXPECT_NE(text.find("\r\nwait 86400000\r\n"), std::string::npos) << text;
    EXPECT_EQ(std::string::npos, text.find("screen")) << "no screen size known, none written";
}

TEST(MacroFile, HandWrittenFileReads) {
    const std::string text =
        "\xEF\xBB\xBFRavelin macro 1\r\n"
        "# made in an editor\n"
        "name Fill the form # with a hash\n"
        "screen 800 600\n"
        "\n"
        "  0 move 100 200   # to the field\n"
        "wait 1000\n"
        "wait 0.5\n"
        "20.25 press left 100 200\n"
        "\t5 release left 100 200\n"
        "1 key-down enter\n"
        "1 key-up ENTER 13\n"
        "0.001 key-down Key7\n";
    rv::MacroReading reading = rv::readMacroText(text);
    ASSERT_TRUE(reading.file) << rv::macroProblemsText(reading);
    EXPECT_EQ("Fill the form # with a hash", reading.file->name);
    EXPECT_EQ(800, reading.file->screenWidth);
    std::vector<MacroEvent> want = {
        {rv::kAbsoluteMove, 0, 100, 200, 0, 0, false, 0},
        {rv::kButton, 1.02075, 100, 200, rv::MOUSEEVENTF_LEFTDOWN, 0, false, 0},
        {rv::kButton, 1.02575, 100, 200, rv::MOUSEEVENTF_LEFTUP, 0, false, 0},
        {rv::kKey, 1.02675, 0, 0, 0, 13, true, 0},
        {rv::kKey, 1.02775, 0, 0, 0, 13, false, 0},
        {rv::kKey, 1.027751, 0, 0, 0, 7, true, 0},
    };
    expectSameEvents(want, reading.file->events);
}

// Each bad file is refused whole, with the line and a sentence that says what is wrong.
TEST(MacroFile, BadFilesAreRefusedWithLineAndReason) {
    const std::string head = "Ravelin macro 1\n";
    struct Case {
        std::string text;
        size_t line;
        const char* says;
    };
    const std::vector<Case> cases = {
        {"", 0, "empty"},
        {"\xEF\xBB\xBF", 0, "empty"},
        {std::string("\x7F"
                     "ELF\x02\x01\x01\0\0\0",
                     10),
         1, "not a Ravelin macro file"},
        {"Ravelin macro 2\n0 move 1 1\n", 1, "format \"2\""},
        {"move 1 1\n", 1, "not a Ravelin macro file"},
        {head + "0 jump 1 1\n", 2, "unknown step \"jump\""},
        {head + "hello\n", 2, "unknown word \"hello\""},
        {head + "31536000000 move 1 1\n", 2, "longer than 24 hours"},
        {head + "wait 31536000000\n0 move 1 1\n", 2, "longer than 24 hours"},
        {head + "0 move 4294967296 1\n", 2, "X \"4294967296\" is not a whole number"},
        {head + "0 move 1 -2147483649\n", 2, "Y"},
        {head + "0 move 1\n", 2, "needs 2 values"},
        {head + "0 move 1 2 3\n", 2, "unexpected \"3\""},
        {head + "0 wheel 40000\n", 2, "wheel turn"},
        {head + "0 press thumb 1 1\n", 2, "not a button"},
        {head + "0 key-down A 66\n", 2, "has the code 65, not 66"},
        {head + "0 key-down Hyper\n", 2, "not a key name"},
        {head + "0 key-down A 256\n", 2, "key code"},
        {head + "1.2345 move 1 1\n", 2, "at most three after the point"},
        {head + "-5 move 1 1\n", 2, "unknown word"},
        {head + "0x10 move 1 1\n", 2, "not milliseconds"},
        {head + "0 move 1 1\nscreen 10 10\n", 3, "before the first step"},
        {head + "name a\nname b\n", 3, "a second \"name\""},
        {head + "screen 0 600\n", 2, "screen width"},
        {head + "0 move 1 1\nwait 5\n", 3, "no step after it"},
        {head + "0 move 1 1\n" + std::string(1 << 20, 'x') + "\n", 3, "1048576 bytes long"},
        {head + "0 move 1 1\nname \xFF\xFE\n", 3, "not UTF-8"},
        {head + "0 event 1 2 3 4 5 2 7\n", 2, "down"},
        {head + "0 event 1 2 3 -4 5 1 7\n", 2, "flags"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 60));
        rv::MacroReading reading = rv::readMacroText(c.text);
        EXPECT_FALSE(reading.file);
        ASSERT_FALSE(reading.problems.empty());
        EXPECT_EQ(c.line, reading.problems[0].line);
        EXPECT_NE(reading.problems[0].what.find(c.says), std::string::npos) << reading.problems[0].what;
    }
}

TEST(MacroFile, RefusalKeepsTheFirstTenProblemsAndCountsTheRest) {
    std::string text = "Ravelin macro 1\n0 move 1 1\n";
    for (int i = 0; i < 25; ++i) text += "0 fly\n";
    rv::MacroReading reading = rv::readMacroText(text);
    EXPECT_FALSE(reading.file);
    ASSERT_EQ(10u, reading.problems.size());
    EXPECT_EQ(25u, reading.problemCount);
    EXPECT_EQ(3u, reading.problems[0].line);
    EXPECT_EQ(12u, reading.problems[9].line);
    std::string said = rv::macroProblemsText(reading);
    EXPECT_EQ(0u, said.find("line 3: unknown step \"fly\""));
    EXPECT_NE(said.find("and 15 more"), std::string::npos);
}

TEST(MacroFile, WriterRefusesTimesNoFileCanHold) {
    std::string text, problem;
    for (double bad : {std::nan(""), -0.001, 400 * 86400.0}) {
        rv::MacroFile file{0, 0, "", "", {{rv::kAbsoluteMove, bad, 1, 1, 0, 0, false, 0}}};
        EXPECT_FALSE(rv::writeMacroText(file, text, problem));
        EXPECT_NE(problem.find("Step 1"), std::string::npos);
    }
    rv::MacroFile backwards{0, 0, "", "", {{0, 2.0, 1, 1, 0, 0, false, 0}, {0, 1.0, 1, 1, 0, 0, false, 0}}};
    EXPECT_FALSE(rv::writeMacroText(backwards, text, problem));
    EXPECT_NE(problem.find("Step 2 comes before"), std::string::npos);
    // A header that would break the file's lines is written on one line.
    rv::MacroFile named{0, 0, "two\nlines", "note\r\nsteps", {}};
    ASSERT_TRUE(rv::writeMacroText(named, text, problem));
    rv::MacroReading reading = rv::readMacroText(text);
    ASSERT_TRUE(reading.file) << rv::macroProblemsText(reading);
    EXPECT_EQ("two lines", reading.file->name);
    EXPECT_EQ("note  steps", reading.file->note);
    // A name too long for the header is cut before a whole character.
    named.name = std::string(rv::kMacroMaxNameBytes - 1, 'a') + "\xF0\x9F\x98\x80";
    ASSERT_TRUE(rv::writeMacroText(named, text, problem));
    reading = rv::readMacroText(text);
    ASSERT_TRUE(reading.file) << rv::macroProblemsText(reading);
    EXPECT_EQ(std::string(rv::kMacroMaxNameBytes - 1, 'a'), reading.file->name);
}

TEST(MacroFile, NameRules) {
    for (const char* good : {"Log in", "a", "été 2", "COM10", "CONSOLE", "LPT", "x.rvm", "..a", "ü"})
        EXPECT_EQ("", rv::macroNameProblem(good)) << good;
    for (const char* bad :
         {"",         ".",           "..",   "a/b",   "a\\b", "../up",     "C:x",     "a*",
          "what?",    "\"q\"",       "<a>",  "a|b",   "CON",  "con",       "Nul.txt", "com1",
          "LPT9.rvm", "COM\xC2\xB9", "aux ", " lead", "dot.", "tab\there", "\xFF"})
        EXPECT_NE("", rv::macroNameProblem(bad)) << bad;
    EXPECT_NE("", rv::macroNameProblem(std::string(rv::kMacroMaxNameBytes + 1, 'a')));
}

TEST(MacroFile, KeyNamesAreOneToOne) {
    for (int32_t vk = 0; vk < 256; ++vk) EXPECT_EQ(vk, rv::macroKeyCode(rv::macroKeyName(vk))) << vk;
    EXPECT_EQ(0x70 + 7, rv::macroKeyCode("f8"));
    EXPECT_EQ(-1, rv::macroKeyCode("Key256"));
    EXPECT_EQ(-1, rv::macroKeyCode("Key-1"));
    EXPECT_EQ(-1, rv::macroKeyCode("Key"));
}

}  // namespace
