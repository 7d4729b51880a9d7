// The auto-clicker, key-spam and control passes against the fake platform's recorded input and
// virtual clock.
#include <tuple>

#include "app/app.h"
#include "app/main_window.h"
#include "bridge/texts.h"
#include "engine/auto_clicker.h"
#include "engine/control.h"
#include "engine/key_spammer.h"
#include "platform/input_math.h"
#include "state/settings.h"
#include "state/wakes.h"
#include "support/fresh_state.h"

namespace {

using fake::InputKind;
using fake::InputRecord;

class Workers : public FreshState {
  protected:
    void SetUp() override {
        FreshState::SetUp();
        rv::counterFrequency = fake::kFrequency;
        rv::profiles = {rv::Profile{rv::kDefaultProfileName, "", {}}};
    }

    static double ms(int64_t ticks) { return static_cast<double>(ticks) * 1000.0 / fake::kFrequency; }

    // Runs passes until `done` or a generous pass limit.
    template <typename Pass, typename Done>
    static int runUntil(Pass pass, Done done, int limit = 10000) {
        int passes = 0;
        while (!done() && passes < limit) {
            pass();
            ++passes;
        }
        return passes;
    }

    static std::vector<uint32_t> mouseFlags(const std::vector<InputRecord>& records) {
        std::vector<uint32_t> flags;
        for (const InputRecord& r : records) {
            if (r.kind == InputKind::Mouse) flags.push_back(r.flags);
        }
        return flags;
    }
};

using Flags = std::vector<uint32_t>;

}  // namespace

TEST_F(Workers, SingleClickIsHeldAThirdOfTheIntervalAndThePeriodIsTheInterval) {
    rv::autoClicking = true;
    rv::sms = 40;
    rv::autoClickerPass();
    std::vector<InputRecord> records = fake::takeInjected();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(mouseFlags(records), (Flags{rv::MOUSEEVENTF_LEFTDOWN, rv::MOUSEEVENTF_LEFTUP}));
    EXPECT_EQ(records[0].data, 0);
    EXPECT_EQ(rv::clickCount, 1);
    EXPECT_NEAR(ms(records[1].at - records[0].at), 40.0 / 3, 0.01);
    // The pass returned when the 40 ms interval had passed since the press.
    EXPECT_NEAR(ms(fake::now() - records[0].at), 40.0, 0.01);

    // A press length of 0 is the back-to-back press, and the wait then runs from after the click.
    rv::clickPressMs = 0;
    rv::autoClickerPass();
    records = fake::takeInjected();
    EXPECT_EQ(records[1].at, records[0].at);
    EXPECT_NEAR(ms(fake::now() - records[1].at), 40.0, 0.01);
}

TEST_F(Workers, DoubleClickHasAFifteenMillisecondGapAndCountsOnce) {
    rv::autoClicking = true;
    rv::stype = 1;
    rv::sbtn = 1;
    rv::autoClickerPass();
    std::vector<InputRecord> records = fake::takeInjected();
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(mouseFlags(records), (Flags{0x8, 0x10, 0x8, 0x10}));
    double gap = ms(records[2].at - records[1].at);
    EXPECT_GE(gap, 15.0);
    EXPECT_LT(gap, 15.01);
    EXPECT_EQ(rv::clickCount, 1);
}

TEST_F(Workers, ButtonChoiceAndFixedPoint) {
    EXPECT_EQ(rv::clickerButtonFlags(2).down, rv::MOUSEEVENTF_MIDDLEDOWN);
    EXPECT_EQ(rv::clickerButtonFlags(2).up, rv::MOUSEEVENTF_MIDDLEUP);
    EXPECT_EQ(rv::clickerButtonFlags(3).down, 0u);  // unknown buttons send records without a button
    EXPECT_EQ(rv::clickerButtonFlags(-1).up, 0u);

    rv::autoClicking = true;
    rv::locMode = 1, rv::fixedX = 500, rv::fixedY = 300, rv::stype = 1;
    rv::autoClickerPass();
    std::vector<InputRecord> records = fake::takeInjected();
    ASSERT_EQ(records.size(), 5u);  // one move before both halves of the double click
    EXPECT_EQ(records[0].kind, InputKind::AbsoluteMove);
    EXPECT_EQ(records[0].x, 500);
    EXPECT_EQ(records[0].dx, 17067);       // 500 × 65536 / 1920 = 17066.67, rounded up
    EXPECT_EQ(records[0].flags, 0xC001u);  // move, absolute, over the virtual desktop

    // A fixed point on a monitor left of the primary one: normalised over the whole desktop.
    fake::setVirtualDesktop(plat::Rect{-1280, 0, 1920, 1080});
    rv::fixedX = -1000, rv::stype = 0;
    rv::autoClickerPass();
    records = fake::takeInjected();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].dx, 5735);  // 280 × 65536 / 3200 = 5734.4, rounded up
    int32_t x = 0, y = 0;
    plat::cursorPos(x, y);
    EXPECT_EQ(x, -1000);
    EXPECT_EQ(y, 300);

    rv::locMode = 0, rv::stype = 0;
    rv::autoClickerPass();
    for (const InputRecord& r : fake::takeInjected()) EXPECT_NE(r.kind, InputKind::AbsoluteMove);
}

TEST_F(Workers, RepeatLimitStopsAfterExactCount) {
    rv::rptMode = 0;
    for (int times : {10, 1, 0, -3}) {
        rv::rptTimes = times;
        rv::autoClicking = true;
        runUntil(rv::autoClickerPass, [] { return !rv::autoClicking; });
        EXPECT_FALSE(rv::autoClicking);
        EXPECT_EQ(mouseFlags(fake::takeInjected()).size(), static_cast<size_t>(std::max(times, 0) * 2))
            << times;
        rv::autoClickerPass();  // idle again: the count starts over
        EXPECT_EQ(rv::clickCount, 0);
    }

    rv::stype = 1, rv::rptTimes = 10, rv::autoClicking = true;
    runUntil(rv::autoClickerPass, [] { return !rv::autoClicking; });
    EXPECT_EQ(mouseFlags(fake::takeInjected()).size(), 40u);  // ten double clicks
}

// On the lock screen or behind a UAC prompt the system takes nothing: nothing is counted toward the
// figures or the repeat limit, the status says input is blocked, and both workers try again within a
// quarter of a second (an hour's interval or not) until input goes through.
TEST_F(Workers, RefusedInputIsNotCountedAndTheWorkersKeepTrying) {
    rv::rptMode = 0, rv::rptTimes = 2, rv::sh = 1;
    rv::ksRptMode = 0, rv::ksRptTimes = 2, rv::ksms = 10;
    rv::autoClicking = true, rv::keySpamming = true;
    fake::refuseInput(true);
    for (int i = 0; i < 5; ++i) {
        int64_t start = fake::now();
        rv::autoClickerPass();
        EXPECT_LE(ms(fake::now() - start), 251.0);
        start = fake::now();
        rv::keySpammerPass();
        EXPECT_LE(ms(fake::now() - start), 11.0);  // a short interval is kept
    }
    EXPECT_TRUE(fake::injected().empty());
    EXPECT_EQ(rv::clickCount, 0);
    EXPECT_EQ(rv::keyPressCount, 0);
    EXPECT_TRUE(rv::autoClicking);
    EXPECT_TRUE(rv::keySpamming);
    EXPECT_TRUE(rv::inputBlocked);
    EXPECT_NE(rv::statusText().find("\"clicks\":0,"), std::string::npos);
    EXPECT_NE(rv::statusText().find("\"inputBlocked\":true,"), std::string::npos);

    // Input goes through again: counted from there, up to the limit, and the note goes.
    fake::refuseInput(false);
    rv::sh = 0, rv::sms = 10;
    runUntil(rv::autoClickerPass, [] { return !rv::autoClicking; });
    EXPECT_EQ(mouseFlags(fake::takeInjected()).size(), 4u);
    EXPECT_FALSE(rv::inputBlocked);
    runUntil(rv::keySpammerPass, [] { return !rv::keySpamming; });
    EXPECT_EQ(fake::takeInjected().size(), 4u);

    // A fixed point refused blocks the click too; a note left when both stop is dropped.
    rv::autoClickerPass();  // idle: the count starts over
    rv::locMode = 1, rv::rptMode = 1, rv::autoClicking = true;
    fake::refuseInput(true);
    rv::autoClickerPass();
    EXPECT_TRUE(rv::inputBlocked);
    EXPECT_EQ(rv::clickCount, 0);
    rv::autoClicking = false;
    rv::autoClickerPass();
    EXPECT_FALSE(rv::inputBlocked);
}

// The 1 ms system timer is held from the pass that starts something until the pass after the last
// thing stopped, once for any number of things running, and let go when the control thread ends.
TEST_F(Workers, TimerResolutionIsHeldOnlyWhileSomethingRuns) {
    auto timerCalls = [] {
        std::vector<std::string> calls = fake::calls();
        std::string out;
        for (const std::string& call : calls) {
            if (call == "raiseTimerResolution") out += '+';
            if (call == "restoreTimerResolution") out += '-';
        }
        return out;
    };
    rv::controlPass();  // nothing runs: a hold left by an earlier test goes
    const std::string before = timerCalls();
    rv::clickerToggleRequest = true;
    rv::controlPass();
    rv::keySpamToggleRequest = true;
    rv::controlPass();
    rv::clickerToggleRequest = true;
    rv::controlPass();
    EXPECT_EQ(timerCalls(), before + "+");
    rv::keySpamToggleRequest = true;
    rv::controlPass();
    EXPECT_EQ(timerCalls(), before + "+-");
    rv::controlPass();

    rv::recordToggleRequest = true;
    rv::controlPass();
    rv::recordToggleRequest = true;
    rv::controlPass();
    rv::playing = true;  // the player ends by itself and wakes this thread
    rv::controlPass();
    EXPECT_EQ(timerCalls(), before + "+-+-+");
    rv::playing = false;
    rv::controlPass();
    EXPECT_EQ(timerCalls(), before + "+-+-+-");

    rv::autoClicking = true;
    rv::controlPass();
    rv::appRunning = false;
    rv::controlThread();
    EXPECT_EQ(timerCalls(), before + "+-+-+-+-");
}

TEST_F(Workers, SwitchingOffEndsTheWaitWithinAMillisecond) {
    rv::autoClicking = true;
    rv::sh = 1;  // a one-hour interval
    int64_t start = fake::now();
    // As the control thread switches the clicker off: the flag, then the wake.
    fake::onSleep([start](int64_t now) {
        if (now - start >= fake::kFrequency / 20 && rv::autoClicking) {
            rv::autoClicking = false;
            rv::wake(rv::Sleeper::AutoClicker);
        }
    });
    rv::autoClickerPass();
    EXPECT_LT(ms(fake::now() - start), 51.5);
}

TEST_F(Workers, KeyTapUsesScanCodeRecordsAndStopsAtItsLimit) {
    rv::keySpamming = true;
    rv::keySpamTarget = 38;  // Up: extended
    rv::keySpammerPass();
    std::vector<InputRecord> records = fake::takeInjected();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].vk, 38);
    EXPECT_TRUE(records[0].down);
    EXPECT_EQ(records[0].flags, 0x0009u);
    EXPECT_FALSE(records[1].down);
    EXPECT_EQ(records[1].flags, 0x000Bu);
    EXPECT_NEAR(ms(records[1].at - records[0].at), 20.0, 0.01);  // held the longest automatic press
    EXPECT_GE(ms(fake::now() - records[0].at), 100.0);

    rv::keySpamTarget = 65;
    rv::keySpammerPass();
    records = fake::takeInjected();
    EXPECT_EQ(records[0].flags, 0x0008u);
    EXPECT_EQ(records[1].flags, 0x000Au);

    rv::ksRptMode = 0, rv::ksRptTimes = 3;
    rv::keySpamming = false;
    rv::keySpammerPass();  // idle first, so the count starts from 0
    rv::keySpamming = true;
    runUntil(rv::keySpammerPass, [] { return !rv::keySpamming; });
    EXPECT_EQ(fake::takeInjected().size(), 6u);
}

TEST_F(Workers, UserStopReleasesButtonsOrKeyAndWorkerStopDoesNot) {
    rv::clickerToggleRequest = true;
    rv::controlPass();
    EXPECT_TRUE(rv::autoClicking);
    EXPECT_TRUE(fake::takeInjected().empty());  // nothing is released when switching on

    rv::sbtn = 0;
    rv::clickerToggleRequest = true;
    rv::controlPass();
    EXPECT_FALSE(rv::autoClicking);
    EXPECT_EQ(mouseFlags(fake::takeInjected()), (Flags{0x4, 0x10, 0x40}));

    rv::keySpamTarget = 90;
    rv::keySpamToggleRequest = true;
    rv::controlPass();
    rv::keySpamToggleRequest = true;
    rv::controlPass();
    std::vector<InputRecord> records = fake::takeInjected();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].vk, 90);
    EXPECT_FALSE(records[0].down);

    rv::playToggleRequest = true;
    rv::controlPass();
    EXPECT_TRUE(rv::playing);
    rv::playToggleRequest = true;
    rv::controlPass();
    EXPECT_FALSE(rv::playing);
    EXPECT_TRUE(fake::takeInjected().empty());  // the player releases what it held, nothing else

    // The clicker stopping itself at its limit sends no release.
    rv::rptMode = 0, rv::rptTimes = 1, rv::autoClicking = true;
    runUntil(rv::autoClickerPass, [] { return !rv::autoClicking; });
    EXPECT_EQ(mouseFlags(fake::takeInjected()), (Flags{0x2, 0x4}));
}

TEST_F(Workers, RequestsSetTwiceBeforeAPassCountOnce) {
    rv::clickerToggleRequest.exchange(true);
    rv::clickerToggleRequest.exchange(true);
    rv::controlPass();
    EXPECT_TRUE(rv::autoClicking);
    EXPECT_FALSE(rv::clickerToggleRequest);
    rv::controlPass();
    EXPECT_TRUE(rv::autoClicking);
}

TEST_F(Workers, RecordAndPlayExcludeEachOther) {
    rv::profiles[0].events = {rv::MacroEvent{}};
    rv::recordToggleRequest = true;
    rv::controlPass();
    EXPECT_TRUE(rv::recording);
    EXPECT_TRUE(rv::profiles[0].events.empty());  // a new recording starts empty
    EXPECT_EQ(rv::recordingStart > 0, true);

    rv::playToggleRequest = true;  // dropped while recording, and consumed
    rv::controlPass();
    EXPECT_FALSE(rv::playing);
    EXPECT_FALSE(rv::playToggleRequest);

    rv::recordToggleRequest = true;
    rv::controlPass();
    EXPECT_FALSE(rv::recording);

    rv::playToggleRequest = true;
    rv::controlPass();
    rv::recordToggleRequest = true;  // dropped while playing
    rv::controlPass();
    EXPECT_TRUE(rv::playing);
    EXPECT_FALSE(rv::recording);
    EXPECT_FALSE(rv::recordToggleRequest);
}

TEST_F(Workers, ReassignmentIsAppliedFirstAndEscapeCancels) {
    struct Case {
        int32_t target, code;
        std::atomic<int32_t>* member;
        int32_t expected;
    };
    const Case cases[] = {
        {1, 65, &rv::hkRec, 65},       {2, 2, &rv::hkPlay, 2},          {3, 27, &rv::hkAuto, 117},
        {4, 121, &rv::hkKeySpam, 121}, {5, 66, &rv::keySpamTarget, 66},
    };
    for (const Case& c : cases) {
        rv::resetStateForTests();
        rv::reassignTarget = c.target;
        rv::reassignCode = c.code;
        rv::controlPass();
        EXPECT_EQ(c.member->load(), c.expected) << c.target;
        EXPECT_EQ(rv::reassignTarget, 0);
        EXPECT_EQ(rv::reassignCode, 0);
    }

    rv::reassignTarget = 3;  // armed, nothing captured yet: stays armed
    rv::controlPass();
    EXPECT_EQ(rv::reassignTarget, 3);

    // A reassignment and a toggle in one pass: the new key spammer target is released.
    rv::keySpamming = true;
    rv::reassignTarget = 5, rv::reassignCode = 70;
    rv::keySpamToggleRequest = true;
    fake::takeInjected();
    rv::controlPass();
    std::vector<InputRecord> records = fake::takeInjected();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].vk, 70);
}

TEST_F(Workers, ReassignmentRefusesAKeyAnotherTargetHas) {
    struct Case {
        int32_t target, code;
        int32_t refusedBy;  // 0: taken
    };
    const Case cases[] = {
        {4, 117, 3},               // F6 is the clicker's
        {3, 119, 1},               // F8 records
        {1, 32, 5},                // space is the key to spam
        {5, 120, 4},               // the key-spam hotkey cannot be spammed
        {5, 118, 2}, {3, 117, 0},  // its own key again
        {5, 65, 0},  {2, 27, 0},   // Escape cancels, refuses nothing
    };
    for (const Case& c : cases) {
        rv::resetStateForTests();
        rv::profiles = {rv::Profile{rv::kDefaultProfileName, "", {}}};
        std::atomic<int32_t>* members[] = {nullptr,     &rv::hkRec,     &rv::hkPlay,
                                           &rv::hkAuto, &rv::hkKeySpam, &rv::keySpamTarget};
        int32_t before = members[c.target]->load();
        rv::reassignTarget = c.target;
        rv::reassignCode = c.code;
        rv::controlPass();
        EXPECT_EQ(rv::reassignRefusedBy, c.refusedBy) << c.target << " " << c.code;
        EXPECT_EQ(rv::reassignRefusedCode, c.refusedBy ? c.code : 0);
        int32_t expected = c.refusedBy != 0 || c.code == 27 ? before : c.code;
        EXPECT_EQ(members[c.target]->load(), expected) << c.target << " " << c.code;
        EXPECT_EQ(rv::reassignTarget, 0);
        EXPECT_EQ(std::string(callMainBinding("getReassignRefusal", "[]")) == "null", c.refusedBy == 0);
    }
    rv::reassignRefusedBy = 3, rv::reassignRefusedCode = 117;
    EXPECT_EQ(callMainBinding("getReassignRefusal", "[]"), "{\"key\":\"F6\",\"holder\":\"auto\"}");
    callMainBinding("reassignKey", "[\"keyspamhotkey\"]");  // arming again forgets the refusal
    EXPECT_EQ(callMainBinding("getReassignRefusal", "[]"), "null");
}

// The key to spam is kept per profile: a reassigned key survives switching away and back.
TEST_F(Workers, ReassignedSpamKeyStaysWithItsProfile) {
    rv::profiles = {rv::Profile{"A", "", {}}, rv::Profile{"B", "", {}}};
    rv::reassignTarget = 5, rv::reassignCode = 65;
    rv::controlPass();
    callMainBinding("switchProfile", "[1]");
    EXPECT_EQ(rv::keySpamTarget, 32);
    rv::reassignTarget = 5, rv::reassignCode = 66;
    rv::controlPass();
    callMainBinding("switchProfile", "[0]");
    EXPECT_EQ(rv::keySpamTarget, 65);
    callMainBinding("switchProfile", "[1]");
    EXPECT_EQ(rv::keySpamTarget, 66);
}

// A recording that ends empty leaves the old one; one that records replaces it and can be taken
// back once, until the next recording or a change of profile.
TEST_F(Workers, EmptyRecordingKeepsTheOldOneAndANewOneCanBeTakenBack) {
    const rv::MacroEvent old{3, 0.1, 0, 0, 0, 65, true, 0};
    const rv::MacroEvent fresh{3, 0.2, 0, 0, 0, 66, true, 0};
    rv::profiles[0].events = {old, old};
    auto toggle = [] {
        rv::recordToggleRequest = true;
        rv::controlPass();
    };
    auto record = [&](std::vector<rv::MacroEvent> events) {
        toggle();
        ASSERT_TRUE(rv::recording);
        rv::profiles[0].events = std::move(events);
        toggle();
    };
    record({});
    EXPECT_EQ(rv::profiles[0].events.size(), 2u);
    EXPECT_EQ(callMainBinding("getReplacedRecording", "[]"), "0");
    EXPECT_EQ(callMainBinding("restoreRecording", "[]"), "false");

    record({fresh});
    EXPECT_EQ(callMainBinding("getReplacedRecording", "[]"), "2");
    record({});  // a stray empty recording keeps both the new one and the offer
    EXPECT_EQ(rv::profiles[0].events.size(), 1u);
    EXPECT_EQ(callMainBinding("getReplacedRecording", "[]"), "2");
    EXPECT_EQ(callMainBinding("restoreRecording", "[]"), "true");
    ASSERT_EQ(rv::profiles[0].events.size(), 2u);
    EXPECT_EQ(rv::profiles[0].events[0].vk, 65);
    EXPECT_EQ(callMainBinding("getReplacedRecording", "[]"), "0");  // one level only
    EXPECT_EQ(callMainBinding("restoreRecording", "[]"), "false");

    // A recording stopped from the page that held only the click on the Stop button is empty too.
    toggle();
    rv::profiles[0].events = {rv::MacroEvent{2, 0.3, 50, 50, 0x0002, 0, false, 0}};
    rv::recordTrimLeft = 0, rv::recordTrimTop = 0, rv::recordTrimRight = 100, rv::recordTrimBottom = 100;
    rv::recordTrimRequest = true;
    toggle();
    EXPECT_EQ(rv::profiles[0].events.size(), 2u);

    // A change of profile drops the offer.
    record({fresh});
    rv::profiles.push_back(rv::Profile{"B", "", {}});
    callMainBinding("switchProfile", "[1]");
    callMainBinding("switchProfile", "[0]");
    EXPECT_EQ(callMainBinding("getReplacedRecording", "[]"), "0");
    EXPECT_EQ(rv::profiles[0].events.size(), 1u);
}

// At the pointer, the clicker never clicks our own windows: it waits without counting while the
// pointer is over the main window or a panel, and clicks again once it leaves them.
TEST_F(Workers, ClickerWaitsWhileThePointerIsOverOurWindows) {
    void* const main = reinterpret_cast<void*>(0x10);
    fake::addWindow(rv::kMainWindowTitle, main);
    fake::window(main).rect = {100, 100, 520, 660};
    rv::autoClicking = true;
    auto clicksAt = [](int32_t x, int32_t y) {
        fake::setCursor(x, y);
        callMainBinding("getTrackerStatus", "[]");  // the page's read notes where our windows are
        fake::takeInjected();
        int32_t before = rv::clickCount;
        rv::autoClickerPass();
        return static_cast<int>(mouseFlags(fake::takeInjected()).size()) + 100 * (rv::clickCount - before);
    };
    EXPECT_EQ(clicksAt(300, 400), 0);
    EXPECT_TRUE(rv::clickerWaiting);
    EXPECT_EQ(callMainBinding("getClickerWaiting", "[]"), "true");
    EXPECT_EQ(clicksAt(100, 100), 0);    // the top-left corner is inside
    EXPECT_EQ(clicksAt(520, 400), 102);  // the right edge is outside: one click, down and up
    EXPECT_FALSE(rv::clickerWaiting);
    EXPECT_EQ(callMainBinding("getClickerWaiting", "[]"), "false");

    // A panel window counts as ours too.
    void* const panel = reinterpret_cast<void*>(0x20);
    fake::addWindow(rv::panelWindowTitle("Auto Clicker"), panel);
    fake::window(panel).rect = {600, 100, 900, 400};
    fake::FakeProcess process;
    rv::panelProcesses["Auto Clicker"] = &process;
    EXPECT_EQ(clicksAt(700, 200), 0);
    rv::panelProcesses.clear();

    // The fixed point is clicked wherever the pointer is.
    rv::locMode = 1, rv::fixedX = 50, rv::fixedY = 50;
    EXPECT_EQ(clicksAt(300, 400), 102);
    rv::locMode = 0;

    // Notes outlive the idle page's slowest read (2 s), but not long: the page reads nothing while
    // the window is minimized.
    fake::setCursor(300, 400);
    plat::sleepMs(2500);
    fake::takeInjected();
    rv::autoClickerPass();
    EXPECT_TRUE(mouseFlags(fake::takeInjected()).empty());
    plat::sleepMs(600);
    rv::autoClickerPass();
    EXPECT_EQ(mouseFlags(fake::takeInjected()).size(), 2u);

    rv::autoClicking = false;
    rv::autoClickerPass();
    EXPECT_FALSE(rv::clickerWaiting);
}

// Where the window system tells only whether the pointer is on our window (Wayland), that is the
// answer, whatever the pointer's position or the notes of our windows say.
TEST_F(Workers, ClickerFollowsTheWindowSystemsWordOnThePointer) {
    void* const main = reinterpret_cast<void*>(0x10);
    fake::addWindow(rv::kMainWindowTitle, main);
    fake::window(main).rect = {100, 100, 520, 660};
    fake::setCursor(300, 400);
    callMainBinding("getTrackerStatus", "[]");
    rv::autoClicking = true;
    fake::setPointerOnOwnWindow(false);
    fake::takeInjected();
    rv::autoClickerPass();
    EXPECT_EQ(mouseFlags(fake::takeInjected()).size(), 2u);
    EXPECT_FALSE(rv::clickerWaiting);
    fake::setPointerOnOwnWindow(true);
    fake::setCursor(0, 0);
    rv::autoClickerPass();
    EXPECT_TRUE(mouseFlags(fake::takeInjected()).empty());
    EXPECT_TRUE(rv::clickerWaiting);
    rv::autoClicking = false;
    rv::autoClickerPass();
}

// A run's first click waits for a fresh note of our windows, however long ago the page last read
// the status: started with the pointer on the Start button, it clicks nothing. Where the window
// thread does not answer, the run goes on with the note it has.
TEST_F(Workers, FirstClickOfARunKnowsWhereOurWindowsAre) {
    void* const main = reinterpret_cast<void*>(0x10);
    fake::addWindow(rv::kMainWindowTitle, main);
    fake::window(main).rect = {100, 100, 520, 660};
    fake::setCursor(300, 400);
    static int asked = 0;
    asked = 0;
    rv::ownWindowsNoter = +[] {
        ++asked;
        rv::noteOwnWindows();
    };
    rv::autoClicking = true;
    rv::autoClickerPass();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(mouseFlags(fake::takeInjected()).empty());
    EXPECT_TRUE(rv::clickerWaiting);
    EXPECT_EQ(rv::clickCount, 0);
    rv::autoClickerPass();  // later passes of the run do not ask again
    EXPECT_EQ(asked, 1);

    // A new run asks again: the window has moved away from the pointer meanwhile.
    rv::autoClicking = false;
    rv::autoClickerPass();
    fake::window(main).rect = {600, 100, 1020, 660};
    rv::autoClicking = true;
    rv::autoClickerPass();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(mouseFlags(fake::takeInjected()).size(), 2u);

    rv::autoClicking = false;
    rv::autoClickerPass();
    rv::ownWindowsNoter = +[] { ++asked; };  // a window thread that never answers
    rv::autoClicking = true;
    int64_t before = fake::now();
    rv::autoClickerPass();
    EXPECT_EQ(asked, 3);
    EXPECT_LE(fake::now() - before, fake::kFrequency / 2);
    rv::ownWindowsNoter = nullptr;
    rv::autoClicking = false;
    rv::autoClickerPass();
}

TEST_F(Workers, StatusShowsMeasuredRatesAndCountsOnTheClock) {
    rv::autoClicking = true;
    rv::sms = 100;  // every 100 ms: the fake clock adds no time for the click itself
    rv::keySpamming = true;
    rv::ksms = 40;
    int64_t end = fake::now() + 2 * fake::kFrequency;
    while (fake::now() < end) rv::autoClickerPass();
    std::string text = rv::statusText();
    EXPECT_NE(text.find("\"clickRate\":10,\"clicks\":20,"), std::string::npos) << text;

    // The key spammer measured on the same clock.
    int64_t start = fake::now();
    while (fake::now() < start + fake::kFrequency) rv::keySpammerPass();
    text = rv::statusText();
    EXPECT_NE(text.find("\"keyPressRate\":25,\"keyPresses\":25,"), std::string::npos) << text;

    // Stopped: the idle pass forgets the run.
    rv::autoClicking = false;
    rv::keySpamming = false;
    rv::autoClickerPass();
    rv::keySpammerPass();
    text = rv::statusText();
    EXPECT_NE(text.find("\"clickRate\":0,\"clicks\":0,\"keyPressRate\":0,\"keyPresses\":0,"),
              std::string::npos)
        << text;
}

TEST_F(Workers, ResetOrShutdownMidCycleLeavesNoButtonOrKeyDown) {
    // Cut in at the first sleep of a cycle: the double-click gap, or the key spammer's interval.
    const std::pair<const char*, void (*)()> stops[] = {
        {"reset", [] { callMainBinding("resetEverything", "[]"); }},
        {"shutdown", [] { rv::appRunning = false; }},
    };
    for (const auto& [cause, stop] : stops) {
        SCOPED_TRACE(cause);
        rv::resetStateForTests();
        rv::counterFrequency = fake::kFrequency;
        rv::profiles = {rv::Profile{rv::kDefaultProfileName, "", {}}};
        fake::takeInjected();
        bool stopped = false;
        fake::onSleep([&](int64_t) {
            if (!stopped) stopped = true, stop();
        });
        rv::sbtn = 2, rv::stype = 1, rv::autoClicking = true;
        rv::autoClickerPass();
        EXPECT_EQ(mouseFlags(fake::takeInjected()), (Flags{0x20, 0x40, 0x20, 0x40}));

        stopped = false;
        rv::appRunning = true, rv::keySpamTarget = 16, rv::keySpamming = true;
        rv::keySpammerPass();
        std::vector<InputRecord> records = fake::takeInjected();
        ASSERT_EQ(records.size(), 2u);
        EXPECT_TRUE(records[0].down);
        EXPECT_FALSE(records[1].down);
        EXPECT_EQ(records[1].vk, 16);
        fake::onSleep(nullptr);
    }
}

// A time limit ends the clicker and the key spammer on time, even within a long interval, and a looping
// playback too; each run counts from its own start.
TEST_F(Workers, TimeLimitsStopEachRunOnTime) {
    rv::sms = 400, rv::clickLimitSeconds = 1;
    rv::ksms = 300, rv::keySpamLimitSeconds = 2;
    for (auto [flag, pass, limit] : {std::tuple{&rv::autoClicking, &rv::autoClickerPass, 1.0},
                                     std::tuple{&rv::keySpamming, &rv::keySpammerPass, 2.0}}) {
        const int64_t start = fake::now();
        *flag = true;
        runUntil(pass, [flag] { return !*flag; });
        EXPECT_NEAR(ms(fake::now() - start), limit * 1000, 1.0);
        pass();  // idle: the next run counts from its own start
        const int64_t again = fake::now();
        *flag = true;
        pass();
        EXPECT_TRUE(*flag);
        runUntil(pass, [flag] { return !*flag; });
        EXPECT_NEAR(ms(fake::now() - again), limit * 1000, 1.0);
    }
}

// A key with modifiers goes out as the combination: Ctrl, Shift, Alt, Win down in that order, the key,
// then all up in the reverse order; a user's stop lets go of the modifiers too.
TEST_F(Workers, KeyWithModifiersIsPressedAsTheCombination) {
    rv::keySpamTarget = 83, rv::keySpamModifiers = 1 | 2 | 8;  // Ctrl+Shift+Win+S
    rv::keySpamming = true;
    rv::keySpammerPass();
    std::vector<std::pair<int32_t, bool>> sent;
    for (const InputRecord& r : fake::takeInjected()) sent.emplace_back(r.vk, r.down);
    EXPECT_EQ(sent, (std::vector<std::pair<int32_t, bool>>{{17, true},
                                                           {16, true},
                                                           {91, true},
                                                           {83, true},
                                                           {83, false},
                                                           {91, false},
                                                           {16, false},
                                                           {17, false}}));
    // A user's stop lets go of the key, then the modifiers in the reverse of their order down.
    rv::keySpamToggleRequest = true;
    rv::controlPass();
    sent.clear();
    for (const InputRecord& r : fake::takeInjected()) sent.emplace_back(r.vk, r.down);
    EXPECT_EQ(sent,
              (std::vector<std::pair<int32_t, bool>>{{83, false}, {91, false}, {16, false}, {17, false}}));
}

// A list of keys is pressed in turn, one a press, from the first again at each start; a stop lets go
// of the key whose turn it was.
TEST_F(Workers, KeysOfTheListArePressedInTurn) {
    rv::keySpamTarget = 65;
    ASSERT_TRUE(rv::setSettingText(*rv::settingNamed("keySpamKeys"), "66.67"));
    const auto pressed = [] {
        std::vector<int32_t> keys;
        for (const InputRecord& r : fake::takeInjected()) {
            if (r.down) keys.push_back(r.vk);
        }
        return keys;
    };
    rv::keySpamming = true;
    for (int i = 0; i < 4; ++i) rv::keySpammerPass();
    EXPECT_EQ(pressed(), (std::vector<int32_t>{65, 66, 67, 65}));
    rv::keySpammerPass();
    fake::takeInjected();
    rv::keySpamToggleRequest = true;
    rv::controlPass();
    const std::vector<InputRecord> released = fake::takeInjected();
    ASSERT_EQ(released.size(), 1u);
    EXPECT_EQ(released[0].vk, 66);
    rv::keySpammerPass();  // idle
    rv::keySpamming = true;
    rv::keySpammerPass();
    EXPECT_EQ(pressed(), (std::vector<int32_t>{65}));
}
