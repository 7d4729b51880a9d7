#include <filesystem>

#include "bridge/texts.h"
#include "capture/recording.h"
#include "state/state.h"
#include "support/fresh_state.h"

namespace {

class Status : public FreshState {
  protected:
    void SetUp() override {
        FreshState::SetUp();
        rv::profiles = {rv::Profile{"p", "", {rv::MacroEvent{}, rv::MacroEvent{}}}, rv::Profile{"q", "", {}}};
    }
};

const char* kFresh =
    "{\"state\":\"Idle\",\"count\":2,\"restore\":[],\"hkRec\":\"F8\",\"hkPlay\":\"F7\",\"hkAuto\":\"F6\","
    "\"hkKeySpam\":\"F9\",\"hkStopAll\":\"\",\"hkProfile1\":\"\",\"hkProfile2\":\"\",\"hkProfile3\":\"\","
    "\"keySpamTarget\":\"Space\",\"keySpamKeys\":[],\"reassigning\":\"\",\"panelHover\":"
    "false,"
    "\"autoClicking\":false,\"keySpamming\":false,\"pickingSequence\":false,\"clickRate\":0,\"clicks\":0,"
    "\"keyPressRate\":0,"
    "\"keyPresses\":0,\"lastClicks\":0,\"lastKeyPresses\":0,\"playEvent\":0,\"playEvents\":0,\"playPass\":0,"
    "\"clickLeft\":-1,\"keySpamLeft\":-1,\"playLeft\":-1,"
    "\"clickerWaiting\":false,"
    "\"inputBlocked\":false,\"saveProblem\":\"\",\"scheduling\":\"normal\","
    "\"session\":\"Running on X11: clicks, keys, hotkeys and recording reach every window.\","
    "\"sessionNotice\":\"\"}";

}  // namespace

const char* kFreshFile =
    "{\"state\":\"Idle\",\"count\":2,\"restore\":[],\"hkRec\":\"F8\",\"hkPlay\":\"F7\",\"hkAuto\":\"F6\","
    "\"hkKeySpam\":\"F9\",\"hkStopAll\":\"\",\"hkProfile1\":\"\",\"hkProfile2\":\"\",\"hkProfile3\":\"\","
    "\"keySpamTarget\":\"Space\",\"keySpamKeys\":[],\"reassigning\":\"\",\"panelHover\":"
    "false,"
    "\"autoClicking\":false,\"keySpamming\":false,\"pickingSequence\":false,\"lastClicks\":0,"
    "\"lastKeyPresses\":0,\"playEvents\":0,"
    "\"clickerWaiting\":false,\"inputBlocked\":false,\"saveProblem\":\"\"}";

TEST_F(Status, FreshStateTextAndTheStatusFileWithoutTheFigures) {
    EXPECT_EQ(rv::trackerStatus(), kFresh);
    EXPECT_EQ(readFile("status.txt"), kFreshFile);  // no line end
}

// The page reads the status about once a second; the file changes only when the status does, not
// with the figures of what runs.
TEST_F(Status, TheStatusFileIsWrittenOnlyWhenTheStatusChanges) {
    rv::autoClicking = true;
    rv::trackerStatus();
    std::filesystem::remove(inFolder("status.txt"));
    rv::clickCount = 40;
    rv::playEventIndex = 3, rv::playPass = 2;
    const std::string page = rv::trackerStatus();
    EXPECT_NE(page.find("\"clicks\":40,"), std::string::npos) << page;
    EXPECT_FALSE(std::filesystem::exists(inFolder("status.txt"))) << "rewritten for a figure";

    // A recording in progress grows with every event: its size is a figure too.
    rv::autoClicking = false;
    rv::startRecording();
    rv::trackerStatus();
    EXPECT_NE(readFile("status.txt").find("{\"state\":\"Recording\",\"restore\":[],"), std::string::npos)
        << readFile("status.txt");
    std::filesystem::remove(inFolder("status.txt"));
    rv::recordCapturedEvent(rv::MacroEvent{});
    EXPECT_NE(rv::trackerStatus().find("\"count\":1,"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(inFolder("status.txt")));
    rv::stopRecording();
    rv::trackerStatus();
    EXPECT_NE(readFile("status.txt").find("\"count\":1,"), std::string::npos);
}

TEST_F(Status, StateCountReassignmentAndFlags) {
    rv::playing = true;
    rv::recording = true;
    rv::currentProfile = 1;
    rv::reassignTarget = 5;
    rv::autoClicking = true;
    rv::panelHover = true;
    std::string text = rv::statusText();
    EXPECT_NE(text.find("\"state\":\"Recording\",\"count\":0,"), std::string::npos) << text;
    EXPECT_NE(text.find("\"reassigning\":\"keyspamtarget\",\"panelHover\":true,\"autoClicking\":true,"
                        "\"keySpamming\":false,"),
              std::string::npos)
        << text;
    rv::recording = false;
    rv::reassignTarget = 11;  // no such target
    text = rv::statusText();
    EXPECT_NE(text.find("\"state\":\"Playing\""), std::string::npos);
    EXPECT_NE(text.find("\"reassigning\":\"\""), std::string::npos);
}

// The page learns from the status alone whether the clicker waits, as getClickerWaiting tells it;
// a note left from a clicker that has stopped never shows.
TEST_F(Status, ClickerWaitingOnlyWhileTheClickerRuns) {
    rv::clickerWaiting = true;
    EXPECT_NE(rv::statusText().find("\"clickerWaiting\":false,"), std::string::npos);
    rv::autoClicking = true;
    EXPECT_NE(rv::statusText().find("\"clickerWaiting\":true,"), std::string::npos);
    rv::clickerWaiting = false;
    EXPECT_NE(rv::statusText().find("\"clickerWaiting\":false,"), std::string::npos);
}

// Input the system refused shows while the clicker or the key spammer runs, never after.
TEST_F(Status, InputBlockedOnlyWhileAWorkerRuns) {
    rv::inputBlocked = true;
    EXPECT_NE(rv::statusText().find("\"inputBlocked\":false,"), std::string::npos);
    rv::keySpamming = true;
    EXPECT_NE(rv::statusText().find("\"inputBlocked\":true,"), std::string::npos);
    rv::keySpamming = false;
    rv::autoClicking = true;
    EXPECT_NE(rv::statusText().find("\"inputBlocked\":true,"), std::string::npos);
    rv::inputBlocked = false;
    EXPECT_NE(rv::statusText().find("\"inputBlocked\":false,"), std::string::npos);
}

TEST_F(Status, KeyNamesAreEscapedAndFallBack) {
    fake::setKeyNames({{220, "\\"}, {117, "F6"}});
    rv::hkRec = 220;
    rv::hkPlay = 2;
    rv::keySpamTarget = 7;
    std::string text = rv::statusText();
    EXPECT_NE(text.find("\"hkRec\":\"\\\\\",\"hkPlay\":\"Right Mouse\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"keySpamTarget\":\"Key[7]\""), std::string::npos) << text;

    // A key name in an 8-bit code page ("Einfg" with a Latin-1 umlaut) must not spoil the whole text.
    fake::setKeyNames({{45, "Einf\xFCg"}, {117, "F6"}});
    rv::hkRec = 45;
    text = rv::statusText();
    EXPECT_NE(text.find("\"hkRec\":\"Einf\xEF\xBF\xBDg\""), std::string::npos) << text;
}

TEST_F(Status, AStatusFileThatCannotBeWrittenChangesNothingAndIsTriedAgain) {
    std::filesystem::create_directories(inFolder("status.txt"));  // a folder where the file should be
    EXPECT_EQ(rv::trackerStatus(), kFresh);
    std::filesystem::remove(inFolder("status.txt"));
    rv::trackerStatus();
    EXPECT_EQ(readFile("status.txt"), kFreshFile);
}

// The status says the least any time-critical thread got, whatever order they noted it in.
TEST(Scheduling, TheStatusSaysTheLeastAnyThreadGot) {
    using K = plat::SchedulingKind;
    struct Case {
        std::vector<plat::Scheduling> noted;
        const char* text;
    };
    const Case cases[] = {
        {{}, "normal"},
        {{{K::RealTime, 10}, {K::RealTime, 10}}, "real-time (priority 10)"},
        {{{K::RealTime, 10}, {K::RealTime, 5}, {K::RealTime, 10}}, "real-time (priority 5)"},
        {{{K::RealTime, 10}, {K::Nice, -5}}, "nice -5"},
        {{{K::Nice, -10}, {K::Nice, -2}, {K::Nice, -10}}, "nice -2"},
        {{{K::TimeCritical, 15}}, "time-critical priority"},
        {{{K::Nice, -5}, {K::Normal, 0}, {K::RealTime, 10}}, "normal"},
    };
    for (const Case& c : cases) {
        rv::resetStateForTests();
        for (const plat::Scheduling& s : c.noted) rv::noteScheduling(s);
        EXPECT_EQ(rv::schedulingText(), c.text) << c.text;
    }
}
