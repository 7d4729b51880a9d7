// The capture thread's decisions, fed with events as the platform would deliver them.
#include "capture/capture.h"

#include <fstream>
#include <iterator>

#include "bridge/texts.h"
#include "capture/recording.h"
#include "engine/control.h"
#include "platform/input_math.h"
#include "state/click_sequence.h"
#include "state/preferences.h"
#include "state/profile_settings.h"
#include "support/fresh_state.h"

namespace {

using rv::MacroEvent;

class Capture : public FreshState {
  protected:
    void SetUp() override {
        FreshState::SetUp();
        rv::counterFrequency = fake::kFrequency;
        rv::profiles = {rv::Profile{"p", "", {}}};
    }
    static bool key(int32_t vk, bool down, bool injected = false) {
        return rv::onKeyEvent({vk, down, injected});
    }
    static bool mouse(uint32_t message, int32_t x = 0, int32_t y = 0, uint32_t data = 0,
                      bool injected = false) {
        return rv::onMouseEvent({message, x, y, data, injected});
    }
    static std::vector<MacroEvent> events() {
        rv::collectRecordedEvents();
        std::lock_guard<std::mutex> lock(rv::profilesLock);
        return rv::profiles[0].events;
    }
    // Starts a recording as the control thread does, at virtual time `at` seconds.
    static void startRecordingAt(double at) {
        fake::advance(static_cast<int64_t>(at * fake::kFrequency) - fake::now());
        rv::recordToggleRequest = true;
        rv::controlPass();
    }
    static void moveClockTo(int64_t ticks) { fake::advance(ticks - fake::now()); }
};

}  // namespace

TEST_F(Capture, HotkeyActsOncePerPressAndSwallowsPressAndRelease) {
    EXPECT_TRUE(key(117, true));  // F6
    EXPECT_TRUE(rv::clickerToggleRequest.exchange(false));
    EXPECT_FALSE(key(117, true));  // auto-repeat: passed on, no second toggle
    EXPECT_FALSE(key(117, true));
    EXPECT_FALSE(rv::clickerToggleRequest);
    EXPECT_TRUE(key(117, false));  // release swallowed, no toggle
    EXPECT_FALSE(rv::clickerToggleRequest);

    EXPECT_FALSE(key(65, true));  // not a hotkey
    EXPECT_FALSE(key(65, false));

    // Modifiers are not looked at: Ctrl held, F7 still plays.
    EXPECT_FALSE(key(17, true));
    EXPECT_TRUE(key(118, true));
    EXPECT_TRUE(rv::playToggleRequest);
    key(118, false);
    key(17, false);

    EXPECT_TRUE(key(119, true));
    EXPECT_TRUE(rv::recordToggleRequest);
    EXPECT_TRUE(key(120, true));
    EXPECT_TRUE(rv::keySpamToggleRequest);
}

TEST_F(Capture, InjectedInputAndDisabledHotkeysPassUntouched) {
    EXPECT_FALSE(key(117, true, true));
    EXPECT_FALSE(rv::clickerToggleRequest);
    rv::reassignTarget = 1;
    EXPECT_FALSE(key(65, true, true));
    EXPECT_EQ(rv::reassignCode, 0);
    rv::reassignTarget = 0;

    rv::hotkeysEnabled = false;
    EXPECT_FALSE(key(117, true));
    EXPECT_FALSE(key(117, false));
    EXPECT_FALSE(mouse(rv::WM_RBUTTONDOWN));
    EXPECT_FALSE(rv::clickerToggleRequest);
}

TEST_F(Capture, TwoHotkeysOnOneCodeTheEarlierWins) {
    rv::hkPlay = 119;  // F8 is also the record hotkey
    EXPECT_TRUE(key(119, true));
    EXPECT_TRUE(rv::recordToggleRequest);
    EXPECT_FALSE(rv::playToggleRequest);
}

TEST_F(Capture, MouseButtonsAsHotkeysAndTheirCodes) {
    EXPECT_EQ(rv::classifyMouseMessage(rv::WM_XBUTTONDOWN, 1u << 16).code, 5);
    EXPECT_EQ(rv::classifyMouseMessage(rv::WM_XBUTTONUP, 2u << 16).code, 6);
    EXPECT_EQ(rv::classifyMouseMessage(rv::WM_MOUSEHWHEEL, 0).code, 0);

    rv::hkAuto = 4;  // middle button
    EXPECT_TRUE(mouse(rv::WM_MBUTTONDOWN));
    EXPECT_TRUE(rv::clickerToggleRequest);
    EXPECT_TRUE(mouse(rv::WM_MBUTTONUP));
    EXPECT_FALSE(mouse(rv::WM_RBUTTONDOWN));
    EXPECT_FALSE(mouse(rv::WM_MOUSEHWHEEL, 0, 0, 120u << 16));
}

TEST_F(Capture, ReassignmentTakesTheNextPressAndTheLatestWins) {
    rv::reassignTarget = 3;
    EXPECT_FALSE(mouse(rv::WM_LBUTTONDOWN));  // the left button is never taken: the page stays clickable
    EXPECT_EQ(rv::reassignCode, 0);
    EXPECT_TRUE(mouse(rv::WM_RBUTTONDOWN));
    EXPECT_EQ(rv::reassignCode, 2);
    EXPECT_TRUE(key(27, true));  // Escape is taken too (the control thread treats it as cancel)
    EXPECT_EQ(rv::reassignCode, 27);
    EXPECT_TRUE(key(121, true));
    EXPECT_EQ(rv::reassignCode, 121);
    EXPECT_FALSE(key(121, false));  // releases are not captured
    rv::controlPass();
    EXPECT_EQ(rv::hkAuto, 121);
    EXPECT_EQ(rv::reassignTarget, 0);

    // The key-spam target takes keys only.
    rv::reassignTarget = 5;
    EXPECT_FALSE(mouse(rv::WM_RBUTTONDOWN));
    EXPECT_FALSE(mouse(rv::WM_XBUTTONDOWN, 0, 0, 1u << 16));
    EXPECT_EQ(rv::reassignCode, 0);
    EXPECT_TRUE(key(66, true));
    rv::controlPass();
    EXPECT_EQ(rv::keySpamTarget, 66);

    // After assigning the right button to play, the right button plays.
    rv::reassignTarget = 2;
    mouse(rv::WM_RBUTTONDOWN);
    mouse(rv::WM_RBUTTONUP);
    rv::controlPass();
    EXPECT_EQ(rv::hkPlay, 2);
    EXPECT_TRUE(mouse(rv::WM_RBUTTONDOWN));
    EXPECT_TRUE(rv::playToggleRequest);
}

// A hotkey with modifiers fires for exactly its combination (either hand's modifier key), and only
// that is swallowed: the plain key and other combinations reach other programs. A plain hotkey on the
// same key takes the rest, and our own injected modifiers never count.
TEST_F(Capture, HotkeyWithModifiersTakesOnlyItsCombination) {
    rv::hkAuto = 117, rv::hkAutoModifiers = 1;  // Ctrl+F6
    struct Case {
        std::vector<int32_t> held;  // modifier keys down before F6
        bool injected;              // ... by our own injection
        bool fires;
    };
    const Case cases[] = {
        {{}, false, false},         {{162}, false, true},  {{163}, false, true}, {{17}, false, true},
        {{162, 160}, false, false}, {{164}, false, false}, {{162}, true, false},
    };
    for (const Case& c : cases) {
        for (int32_t vk : c.held) EXPECT_FALSE(key(vk, true, c.injected));
        EXPECT_EQ(key(117, true), c.fires) << c.held.size() << c.injected;
        EXPECT_EQ(rv::clickerToggleRequest.exchange(false), c.fires);
        EXPECT_FALSE(key(117, true));  // auto-repeats pass
        // The release goes with its press, also when the modifiers were let go first.
        for (int32_t vk : c.held) key(vk, false, c.injected);
        EXPECT_EQ(key(117, false), c.fires);
    }
    // A plain hotkey on the same key takes what the combination does not; other plain hotkeys fire
    // with any modifiers, as they always did.
    rv::hkKeySpam = 117;
    key(162, true);
    EXPECT_TRUE(key(117, true));
    key(117, false);
    key(162, false);
    EXPECT_TRUE(rv::clickerToggleRequest.exchange(false));
    EXPECT_FALSE(rv::keySpamToggleRequest);
    key(160, true);
    EXPECT_TRUE(key(117, true));
    EXPECT_TRUE(key(118, true));
    key(118, false), key(117, false), key(160, false);
    EXPECT_TRUE(rv::keySpamToggleRequest);
    EXPECT_TRUE(rv::playToggleRequest);
    EXPECT_FALSE(rv::clickerToggleRequest);

    // Held to run: let go of Ctrl before F6 and the clicker still stops at F6's release.
    rv::hkKeySpam = 120;
    rv::clickActivation = rv::kHold;
    key(162, true);
    key(117, true);
    rv::controlPass();
    EXPECT_TRUE(rv::autoClicking);
    key(162, false);
    EXPECT_TRUE(key(117, false));
    rv::controlPass();
    EXPECT_FALSE(rv::autoClicking);

    // A mouse button with modifiers likewise; the combination is grabbed on its own.
    rv::hkPlay = 4, rv::hkPlayModifiers = 2;  // Shift+Middle
    EXPECT_FALSE(mouse(rv::WM_MBUTTONDOWN));
    EXPECT_FALSE(mouse(rv::WM_MBUTTONUP));
    key(161, true);
    EXPECT_TRUE(mouse(rv::WM_MBUTTONDOWN));
    EXPECT_TRUE(mouse(rv::WM_MBUTTONUP));
    key(161, false);
    EXPECT_TRUE(rv::playToggleRequest);
    const rv::GrabPlan plan = rv::captureGrabPlan();
    EXPECT_EQ(std::vector<int32_t>(plan.codes.begin(), plan.codes.end()), (std::vector<int32_t>{119, 120}));
    using Combo = plat::HotkeyCombos::Combo;
    EXPECT_EQ(std::vector<Combo>(plan.combos.begin(), plan.combos.end()),
              (std::vector<Combo>{{4, 2}, {117, 1}}));
}

// A hotkey takes the modifiers held with its key; a modifier pressed and let go alone becomes the
// hotkey itself. The keys to spam are taken as pressed, a modifier included, without modifiers.
TEST_F(Capture, ReassignmentTakesTheModifiersHeldWithTheKey) {
    const auto reassign = [](const char* word, const std::vector<std::pair<int32_t, bool>>& keys) {
        rv::armReassignment(word);
        for (auto [vk, down] : keys) {
            const bool swallowed = key(vk, down);
            if (down) {
                EXPECT_TRUE(swallowed) << word << vk;  // every press is taken
            }
        }
        rv::controlPass();
    };
    reassign("auto", {{162, true}, {160, true}, {117, true}, {117, false}, {160, false}, {162, false}});
    EXPECT_EQ(rv::hkAuto, 117);
    EXPECT_EQ(rv::hkAutoModifiers, 1 | 2);
    EXPECT_NE(rv::statusText().find("\"hkAuto\":\"Ctrl+Shift+F6\""), std::string::npos);

    reassign("play", {{161, true}, {161, false}});
    EXPECT_EQ(rv::hkPlay, 161);
    EXPECT_EQ(rv::hkPlayModifiers, 0);

    // The same key with other modifiers is another hotkey; the same combination is refused.
    reassign("rec", {{163, true}, {117, true}, {117, false}, {163, false}});
    EXPECT_EQ(rv::hkRec, 117);
    EXPECT_EQ(rv::hkRecModifiers, 1);
    reassign("keyspamhotkey",
             {{162, true}, {160, true}, {117, true}, {117, false}, {160, false}, {162, false}});
    EXPECT_EQ(rv::hkKeySpam, 120);
    EXPECT_EQ(rv::reassignRefusedBy, rv::kClickerHotkey);

    reassign("stopall", {{18, true}});
    rv::onMouseEvent({rv::WM_RBUTTONDOWN, 0, 0, 0, false});
    key(18, false);
    rv::controlPass();
    EXPECT_EQ(rv::hkStopAll, 2);
    EXPECT_EQ(rv::hkStopAllModifiers, 4);
    // Kept at once, so that a crash does not take the new hotkey with it.
    std::ifstream file(rv::preferencesFile("appsettings.txt"), std::ios::binary);
    const std::string kept((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_NE(kept.find("hkStopAll=2\r\n"), std::string::npos);
    EXPECT_NE(kept.find("hkStopAllModifiers=4\r\n"), std::string::npos);

    reassign("keyspamtarget", {{162, true}, {162, false}});
    EXPECT_EQ(rv::keySpamTarget, 162);
    reassign("keyspamaddkey", {{65, true}, {65, false}});
    reassign("keyspamaddkey", {{160, true}, {160, false}});
    EXPECT_EQ(rv::keySpamKeys[0], 65);
    EXPECT_EQ(rv::keySpamKeys[1], 160);
    EXPECT_EQ(rv::keySpamKeys[2], 0);
    EXPECT_NE(rv::statusText().find("\"keySpamKeys\":[\"A\",\"Key[160]\"]"), std::string::npos);
    {
        std::lock_guard<std::mutex> lock(rv::profilesLock);
        EXPECT_NE(rv::profiles[0].settingsText.find("keySpamKeys=65.160"), std::string::npos);
    }
}

TEST_F(Capture, PickTakesTheLeftPressAndRightOrMiddleCancels) {
    rv::pickLocationRequest = true;
    EXPECT_FALSE(mouse(rv::WM_XBUTTONDOWN, 1, 1, 1u << 16));  // side buttons leave the pick armed
    EXPECT_FALSE(key(65, true));
    EXPECT_TRUE(rv::pickLocationRequest);
    EXPECT_TRUE(mouse(rv::WM_LBUTTONDOWN, 800, 450));
    EXPECT_FALSE(mouse(rv::WM_LBUTTONUP, 800, 450));  // its release passes
    EXPECT_FALSE(rv::pickLocationRequest);
    EXPECT_EQ(rv::fixedX, 800);
    EXPECT_EQ(rv::fixedY, 450);
    EXPECT_EQ(rv::locMode, 1);
    EXPECT_EQ(rv::profiles[0].settingsText, rv::profileSettingsText());

    rv::pickLocationRequest = true;
    EXPECT_TRUE(mouse(rv::WM_RBUTTONDOWN, 5, 5));
    EXPECT_FALSE(rv::pickLocationRequest);
    EXPECT_EQ(rv::fixedX, 800);
    rv::pickLocationRequest = true;
    EXPECT_TRUE(mouse(rv::WM_MBUTTONDOWN, 5, 5));
    EXPECT_FALSE(rv::pickLocationRequest);
}

// Sequence points are picked one after another: each left press adds one (swallowed, its release
// passes); Escape, a right or a middle press ends the picking, as does a full list.
TEST_F(Capture, SequencePickAddsAPointPerLeftPressUntilEscapeOrARightPress) {
    rv::pickSequenceRequest = true;
    EXPECT_TRUE(rv::captureGrabPlan().pickButtons);
    EXPECT_TRUE(mouse(rv::WM_LBUTTONDOWN, 10, 20));
    EXPECT_FALSE(mouse(rv::WM_LBUTTONUP, 10, 20));
    EXPECT_TRUE(mouse(rv::WM_LBUTTONDOWN, -30, 40));
    EXPECT_FALSE(key(65, true));  // other keys pass, and leave the picking on
    EXPECT_TRUE(rv::pickSequenceRequest);
    EXPECT_EQ(rv::clickSequence.load(), "10:20:0:0:100/-30:40:0:0:100");
    EXPECT_EQ(rv::locMode, 2);
    EXPECT_EQ(rv::profiles[0].settingsText, rv::profileSettingsText());
    EXPECT_TRUE(key(27, true));
    EXPECT_FALSE(rv::pickSequenceRequest);
    EXPECT_FALSE(rv::captureGrabPlan().pickButtons);
    EXPECT_FALSE(key(27, true));  // Escape is a key like any other again

    rv::pickSequenceRequest = true;
    EXPECT_TRUE(mouse(rv::WM_RBUTTONDOWN, 5, 5));
    EXPECT_FALSE(rv::pickSequenceRequest);
    EXPECT_EQ(rv::clickSequence.load(), "10:20:0:0:100/-30:40:0:0:100");

    // The 32nd point fills the list and ends the picking.
    rv::pickSequenceRequest = true;
    for (int i = 2; i < 32; ++i) EXPECT_TRUE(mouse(rv::WM_LBUTTONDOWN, i, i));
    EXPECT_FALSE(rv::pickSequenceRequest);
    EXPECT_EQ(rv::clickSequencePoints().size(), 32u);
}

TEST_F(Capture, ClickRecordedWithItsTimesAndPoint) {
    startRecordingAt(2.0);
    moveClockTo(static_cast<int64_t>(3.25 * fake::kFrequency));
    mouse(rv::WM_LBUTTONDOWN, 500, 400);
    moveClockTo(static_cast<int64_t>(3.35 * fake::kFrequency));
    mouse(rv::WM_LBUTTONUP, 500, 400);
    std::vector<MacroEvent> recorded = events();
    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_EQ(recorded[0].kind, 2);
    EXPECT_NEAR(recorded[0].time, 1.25, 1e-6);
    EXPECT_EQ(recorded[0].x, 500);
    EXPECT_EQ(recorded[0].y, 400);
    EXPECT_EQ(recorded[0].flags, 0x0002u);
    EXPECT_EQ(recorded[0].vk, 0);
    EXPECT_EQ(recorded[0].wheel, 0);
    EXPECT_NEAR(recorded[1].time, 1.35, 1e-6);
    EXPECT_EQ(recorded[1].flags, 0x0004u);
}

TEST_F(Capture, RecordingFiltersHotkeysInjectedInputAndRepeatedPoints) {
    startRecordingAt(1.0);
    key(65, true);
    key(65, true);  // auto-repeat is recorded
    key(65, false);
    key(119, true);  // the record hotkey is swallowed and never recorded
    key(119, false);
    rv::recordToggleRequest = false;
    key(65, true, true);  // injected
    mouse(rv::WM_LBUTTONDOWN, 1, 1, 0, true);
    mouse(rv::WM_MOUSEMOVE, 10, 10);
    mouse(rv::WM_MOUSEMOVE, 10, 10);  // same point: nothing
    mouse(rv::WM_MOUSEMOVE, 11, 10);
    mouse(rv::WM_MOUSEWHEEL, 11, 10, static_cast<uint32_t>(static_cast<uint16_t>(-120)) << 16);
    mouse(rv::WM_MOUSEHWHEEL, 11, 10, 120u << 16);  // never recorded

    std::vector<MacroEvent> recorded = events();
    ASSERT_EQ(recorded.size(), 6u);
    EXPECT_EQ(recorded[0].kind, 3);
    EXPECT_EQ(recorded[0].vk, 65);
    EXPECT_TRUE(recorded[1].down);
    EXPECT_FALSE(recorded[2].down);
    EXPECT_EQ(recorded[3].kind, 0);
    EXPECT_EQ(recorded[4].x, 11);
    EXPECT_EQ(recorded[5].kind, 4);
    EXPECT_EQ(recorded[5].wheel, -120);
    for (size_t i = 1; i < recorded.size(); ++i) EXPECT_GE(recorded[i].time, recorded[i - 1].time);
}

TEST_F(Capture, RecordingSwitches) {
    rv::tmv = false, rv::tscr = false, rv::tkey = false;
    startRecordingAt(1.0);
    mouse(rv::WM_MOUSEMOVE, 3, 3);
    mouse(rv::WM_MOUSEWHEEL, 3, 3, 120u << 16);
    key(65, true);
    mouse(rv::WM_RBUTTONDOWN, 3, 3);
    ASSERT_EQ(events().size(), 1u);
    EXPECT_EQ(events()[0].flags, rv::MOUSEEVENTF_RIGHTDOWN);

    // Relative mode: moves come from raw motion only; clicks keep their screen point.
    rv::tmv = true, rv::trel = true, rv::tclk = false;
    mouse(rv::WM_MOUSEMOVE, 7, 7);
    rv::onRawMotion({3, -2, false});
    rv::onRawMotion({0, 0, false});
    rv::onRawMotion({100, 100, true});
    mouse(rv::WM_LBUTTONDOWN, 7, 7);
    std::vector<MacroEvent> recorded = events();
    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_EQ(recorded[1].kind, 1);
    EXPECT_EQ(recorded[1].x, 3);
    EXPECT_EQ(recorded[1].y, -2);
}

TEST_F(Capture, SideButtonsKeepWhichButtonTheyWere) {
    startRecordingAt(1.0);
    mouse(rv::WM_XBUTTONDOWN, 4, 4, 2u << 16);
    mouse(rv::WM_XBUTTONUP, 4, 4, 2u << 16);
    std::vector<MacroEvent> recorded = events();
    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_EQ(recorded[0].flags, rv::MOUSEEVENTF_XDOWN);
    EXPECT_EQ(recorded[0].vk, 6);
    EXPECT_EQ(recorded[1].flags, rv::MOUSEEVENTF_XUP);
}

TEST_F(Capture, InjectedMovesStillUpdateTheLastPoint) {
    mouse(rv::WM_MOUSEMOVE, 30, 40, 0, true);
    startRecordingAt(1.0);
    mouse(rv::WM_MOUSEMOVE, 30, 40);  // where playback left the pointer: not a move
    EXPECT_TRUE(events().empty());
}

TEST_F(Capture, GrabPlanFollowsHotkeysReassignmentAndPick) {
    rv::GrabPlan plan = rv::captureGrabPlan();
    auto codes = [](const rv::GrabPlan& p) { return std::vector<int32_t>(p.codes.begin(), p.codes.end()); };
    EXPECT_EQ(codes(plan), (std::vector<int32_t>{119, 118, 117, 120}));
    EXPECT_FALSE(plan.allKeys || plan.nonLeftButtons || plan.pickButtons);
    rv::hkPlay = 119;
    EXPECT_EQ(codes(rv::captureGrabPlan()), (std::vector<int32_t>{119, 117, 120}));
    rv::hotkeysEnabled = false;
    EXPECT_TRUE(rv::captureGrabPlan().codes.empty());
    rv::reassignTarget = 5;
    EXPECT_TRUE(rv::captureGrabPlan().allKeys);
    EXPECT_FALSE(rv::captureGrabPlan().nonLeftButtons);
    rv::reassignTarget = 1;
    EXPECT_TRUE(rv::captureGrabPlan().nonLeftButtons);
    rv::pickLocationRequest = true;
    EXPECT_TRUE(rv::captureGrabPlan().pickButtons);
}

TEST_F(Capture, KeyNames) {
    EXPECT_EQ(rv::keyDisplayName(1), "Left Mouse");
    EXPECT_EQ(rv::keyDisplayName(2), "Right Mouse");
    EXPECT_EQ(rv::keyDisplayName(4), "Middle Mouse");
    EXPECT_EQ(rv::keyDisplayName(5), "Mouse 4 (Side)");
    EXPECT_EQ(rv::keyDisplayName(6), "Mouse 5 (Side)");
    EXPECT_EQ(rv::keyDisplayName(192), "`");
    EXPECT_EQ(rv::keyDisplayName(119), "F8");
    EXPECT_EQ(rv::keyDisplayName(0), "Key[0]");
    EXPECT_EQ(rv::keyDisplayName(255), "Key[255]");
    EXPECT_EQ(rv::reassignTargetForWord("keyspamtarget"), 5);
    EXPECT_EQ(rv::reassignTargetForWord("Rec"), 0);
    EXPECT_EQ(rv::reassignTargetForWord("rec "), 0);
    EXPECT_STREQ(rv::reassignWord(9), "profile3");
    EXPECT_STREQ(rv::reassignWord(10), "keyspamaddkey");
    EXPECT_STREQ(rv::reassignWord(11), "");
    EXPECT_EQ(rv::hotkeyDisplayName(117, 1 | 2 | 4 | 8), "Ctrl+Shift+Alt+Win+F6");
    EXPECT_EQ(rv::hotkeyDisplayName(2, 1), "Ctrl+Right Mouse");
}

// Hold activation: each function runs from its hotkey's press to its release, whatever ran before; the
// stop hotkey stops everything and lets go of what the workers hold.
TEST_F(Capture, HeldHotkeysRunWhileHeldAndTheStopHotkeyEndsEverything) {
    rv::clickActivation = rv::kHold, rv::keySpamActivation = rv::kHold, rv::playActivation = rv::kHold;
    rv::profiles[0].events = {MacroEvent{}};
    struct Case {
        int32_t vk;
        std::atomic<bool>& flag;
    };
    for (const Case& c : {Case{117, rv::autoClicking}, Case{120, rv::keySpamming}, Case{118, rv::playing}}) {
        EXPECT_TRUE(key(c.vk, true));
        rv::controlPass();
        EXPECT_TRUE(c.flag) << c.vk;
        EXPECT_FALSE(key(c.vk, true));  // auto-repeat changes nothing
        rv::controlPass();
        EXPECT_TRUE(c.flag) << c.vk;
        EXPECT_TRUE(key(c.vk, false));
        rv::controlPass();
        EXPECT_FALSE(c.flag) << c.vk;
    }
    // A release whose press came before the hotkey was one only passes by.
    rv::autoClicking = true;
    rv::clickActivation = rv::kToggle;
    EXPECT_TRUE(key(117, false));
    rv::controlPass();
    EXPECT_TRUE(rv::autoClicking);

    rv::hkStopAll = 19;  // Pause
    rv::keySpamming = true, rv::playing = true;
    fake::takeInjected();
    EXPECT_TRUE(key(19, true));
    EXPECT_TRUE(key(19, false));
    rv::controlPass();
    EXPECT_FALSE(rv::autoClicking || rv::keySpamming || rv::playing);
    EXPECT_EQ(fake::takeInjected().size(), 4u);  // three buttons and the key to spam let go
    EXPECT_EQ(rv::captureGrabPlan().codes.count, 5u);
    rv::hkStopAll = 0;
    EXPECT_EQ(rv::captureGrabPlan().codes.count, 4u);
}

// The fail-safe: the user's pointer resting half a second in the top-left corner stops what runs; a
// shorter stay, a move out, the program's own moves, or the switch off do not.
TEST_F(Capture, FailSafeCornerStopsWhatRunsAfterHalfASecond) {
    const auto stayFor = [](int32_t x, int32_t y, int ms, bool injected = false) {
        rv::autoClicking = true;
        mouse(rv::WM_MOUSEMOVE, x, y, 0, injected);
        fake::advance(fake::kFrequency * ms / 1000);
        rv::controlPass();
        const bool stopped = !rv::autoClicking;
        mouse(rv::WM_MOUSEMOVE, 400, 400);
        rv::controlPass();
        return stopped;
    };
    EXPECT_TRUE(stayFor(0, 0, 500));
    EXPECT_TRUE(stayFor(2, 1, 600));
    EXPECT_FALSE(stayFor(0, 0, 450));
    EXPECT_FALSE(stayFor(3, 0, 600));
    EXPECT_FALSE(stayFor(0, 0, 600, true));
    rv::failSafe = false;
    EXPECT_FALSE(stayFor(0, 0, 600));
}

// A profile's hotkey asks for that profile once per press; the grab takes only the hotkeys that are set.
TEST_F(Capture, ProfileHotkeysAskForTheirProfile) {
    static int32_t asked;
    asked = -1;
    rv::setProfileSwitcher([](int32_t index) { asked = index; });
    rv::hkProfile2 = 50, rv::hkProfile3 = 4;  // 2, and the middle button
    EXPECT_TRUE(key(50, true));
    rv::controlPass();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(key(50, false));
    asked = -1;
    rv::controlPass();
    EXPECT_EQ(asked, -1);
    EXPECT_TRUE(mouse(rv::WM_MBUTTONDOWN));
    rv::controlPass();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(rv::captureGrabPlan().codes.count, 6u);
    rv::setProfileSwitcher(nullptr);
}
