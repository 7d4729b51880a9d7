// The auto-clicker, the key spammer, the macro player and the control thread on their real threads,
// clicking and typing into another window through the Windows backend, under Windows or Wine.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "engine/auto_clicker.h"
#include "engine/control.h"
#include "engine/key_spammer.h"
#include "engine/macro_player.h"
#include "platform/platform.h"
#include "state/state.h"
#include "state/wakes.h"
// After the portable headers: <windows.h> defines macros named like their constants.
#include "win32/wine_window.h"

namespace {

std::vector<target::Received> leftButton(const std::vector<target::Received>& all) {
    std::vector<target::Received> kept;
    for (const target::Received& r : all) {
        if (r.message == WM_LBUTTONDOWN || r.message == WM_LBUTTONUP) kept.push_back(r);
    }
    return kept;
}

std::vector<target::Received> keys(const std::vector<target::Received>& all) {
    std::vector<target::Received> kept;
    for (const target::Received& r : all) {
        if (target::isKey(r)) kept.push_back(r);
    }
    return kept;
}

size_t countOf(const std::vector<target::Received>& all, UINT message) {
    size_t n = 0;
    for (const target::Received& r : all) n += r.message == message;
    return n;
}

double milliseconds(int64_t ticks) {
    return 1000.0 * static_cast<double>(ticks) / static_cast<double>(plat::tickFrequency());
}

template <typename Condition>
bool waitFor(Condition condition, int timeoutMs = 3000) {
    for (int waited = 0; waited < timeoutMs; waited += 5) {
        if (condition()) return true;
        Sleep(5);
    }
    return condition();
}

class Workers : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        rv::resetStateForTests();
        rv::counterFrequency = plat::tickFrequency();
        plat::raiseTimerResolution();
        window_ = new target::Window(400, 300, 320, 240);
        threads_.emplace_back(&rv::autoClickerThread);
        threads_.emplace_back(&rv::keySpammerThread);
        threads_.emplace_back(&rv::macroPlayerThread);
        threads_.emplace_back(&rv::controlThread);
    }
    static void TearDownTestSuite() {
        rv::appRunning = false;
        rv::wakeAll();
        for (std::thread& thread : threads_) thread.join();
        threads_.clear();
        delete window_;
        plat::restoreTimerResolution();
    }
    void SetUp() override {
        ASSERT_NE(window_->handle(), nullptr);
        ASSERT_TRUE(window_->takeInput()) << "the target window has neither the pointer nor the foreground";
        window_->clear();
    }

    static inline target::Window* window_ = nullptr;
    static inline std::vector<std::thread> threads_;
};

TEST_F(Workers, ClickerStopsByItselfAfterItsRepeatCount) {
    rv::sbtn = 0, rv::stype = 0, rv::locMode = 0;
    rv::sh = 0, rv::sm = 0, rv::ss = 0, rv::sms = 20;
    rv::rptMode = 0, rv::rptTimes = 5;
    rv::raiseRequest(rv::clickerToggleRequest);
    ASSERT_TRUE(waitFor([] { return rv::autoClicking.load(); }, 1000));
    ASSERT_TRUE(waitFor([] { return !rv::autoClicking.load(); }));
    Sleep(250);  // a sixth click would have come by now

    std::vector<target::Received> clicks = leftButton(window_->received());
    ASSERT_EQ(clicks.size(), 10u);
    for (size_t i = 0; i < clicks.size(); ++i) {
        EXPECT_EQ(clicks[i].message, static_cast<UINT>(i % 2 == 0 ? WM_LBUTTONDOWN : WM_LBUTTONUP)) << i;
    }
    // Four intervals of 20 ms lie between the first press and the fifth; slack for delivery.
    EXPECT_GE(milliseconds(clicks[8].ticks - clicks[0].ticks), 60.0);
    // Stopped at the limit by the worker itself: no stray releases from a switch-off.
    EXPECT_EQ(countOf(window_->received(), WM_RBUTTONUP), 0u);
}

TEST_F(Workers, ClickerSwitchedOffByTheUserLeavesNoButtonDown) {
    rv::sbtn = 0, rv::stype = 0, rv::locMode = 0;
    rv::sh = 0, rv::sm = 0, rv::ss = 0, rv::sms = 20;
    rv::rptMode = 1;
    rv::raiseRequest(rv::clickerToggleRequest);
    std::vector<target::Received> seen = window_->waitUntil(
        [](const std::vector<target::Received>& r) { return countOf(r, WM_LBUTTONDOWN) >= 3; });
    ASSERT_GE(countOf(seen, WM_LBUTTONDOWN), 3u);
    rv::raiseRequest(rv::clickerToggleRequest);
    ASSERT_TRUE(waitFor([] { return !rv::autoClicking.load(); }));
    Sleep(250);
    std::vector<target::Received> clicks = leftButton(window_->received());
    Sleep(150);
    EXPECT_EQ(leftButton(window_->received()).size(), clicks.size()) << "clicks went on after the switch-off";

    // Press and release alternate; the switch-off may add one more release of its own, never a press.
    ASSERT_GE(clicks.size(), 6u);
    size_t downs = countOf(clicks, WM_LBUTTONDOWN), ups = countOf(clicks, WM_LBUTTONUP);
    EXPECT_TRUE(ups == downs || ups == downs + 1) << downs << " presses, " << ups << " releases";
    for (size_t i = 0; i < 2 * downs; ++i) {
        EXPECT_EQ(clicks[i].message, static_cast<UINT>(i % 2 == 0 ? WM_LBUTTONDOWN : WM_LBUTTONUP)) << i;
    }
    EXPECT_EQ(clicks.back().message, static_cast<UINT>(WM_LBUTTONUP));
}

TEST_F(Workers, KeySpammerTapsItsTargetTheRepeatCount) {
    rv::keySpamTarget = 'A';
    rv::ksh = 0, rv::ksm = 0, rv::kss = 0, rv::ksms = 20;
    rv::ksRptMode = 0, rv::ksRptTimes = 3;
    rv::raiseRequest(rv::keySpamToggleRequest);
    ASSERT_TRUE(waitFor([] { return rv::keySpamming.load(); }, 1000));
    ASSERT_TRUE(waitFor([] { return !rv::keySpamming.load(); }));
    Sleep(250);

    // Sent by scan code: Wine delivers them with virtual-key 0, so the scan code names the key.
    std::vector<target::Received> taps = keys(window_->received());
    ASSERT_EQ(taps.size(), 6u);
    for (size_t i = 0; i < taps.size(); ++i) {
        EXPECT_EQ(taps[i].message, static_cast<UINT>(i % 2 == 0 ? WM_KEYDOWN : WM_KEYUP)) << i;
        EXPECT_EQ(taps[i].scanCode, target::scanCodeOf('A')) << i;
    }
    EXPECT_GE(milliseconds(taps[4].ticks - taps[0].ticks), 25.0);
}

TEST_F(Workers, KeySpammerSwitchedOffByTheUserLeavesItsKeyUp) {
    rv::keySpamTarget = 'B';
    rv::ksh = 0, rv::ksm = 0, rv::kss = 0, rv::ksms = 20;
    rv::ksRptMode = 1;
    rv::raiseRequest(rv::keySpamToggleRequest);
    std::vector<target::Received> seen = window_->waitUntil(
        [](const std::vector<target::Received>& r) { return countOf(r, WM_KEYDOWN) >= 2; });
    ASSERT_GE(countOf(seen, WM_KEYDOWN), 2u);
    rv::raiseRequest(rv::keySpamToggleRequest);
    ASSERT_TRUE(waitFor([] { return !rv::keySpamming.load(); }));
    Sleep(250);
    std::vector<target::Received> taps = keys(window_->received());
    ASSERT_FALSE(taps.empty());
    for (const target::Received& tap : taps) EXPECT_EQ(tap.scanCode, target::scanCodeOf('B'));
    EXPECT_EQ(taps.back().message, static_cast<UINT>(WM_KEYUP));
    EXPECT_GE(countOf(taps, WM_KEYUP), countOf(taps, WM_KEYDOWN));
}

TEST_F(Workers, PlaybackStoppedWhileShiftAndTheMiddleButtonAreDownReleasesBoth) {
    // Shift and the middle button go down over the window, A is typed, and the next event lies far
    // ahead: the play hotkey stops the pass while both are held.
    RECT rect;
    ASSERT_TRUE(GetWindowRect(window_->handle(), &rect));
    const int32_t x = (rect.left + rect.right) / 2, y = (rect.top + rect.bottom) / 2;
    const uint32_t middleDown = 0x0020;
    {
        std::lock_guard<std::mutex> lock(rv::profilesLock);
        rv::profiles = {rv::Profile{"held", "", {}}};
        rv::currentProfile = 0;
        rv::profiles[0].events = {
            rv::MacroEvent{3, 0.02, 0, 0, 0, VK_SHIFT, true, 0},
            rv::MacroEvent{2, 0.04, x, y, middleDown, 0, false, 0},
            rv::MacroEvent{3, 0.06, 0, 0, 0, 'A', true, 0},
            rv::MacroEvent{3, 0.08, 0, 0, 0, 'A', false, 0},
            rv::MacroEvent{3, 30.0, 0, 0, 0, 'C', true, 0},
        };
    }
    rv::tspd = 1.0f, rv::tloop = false;
    rv::raiseRequest(rv::playToggleRequest);
    std::vector<target::Received> seen = window_->waitUntil([](const std::vector<target::Received>& r) {
        return countOf(r, WM_MBUTTONDOWN) >= 1 && countOf(r, WM_KEYUP) >= 1;
    });
    ASSERT_EQ(countOf(seen, WM_MBUTTONDOWN), 1u);
    EXPECT_EQ(countOf(seen, WM_MBUTTONUP), 0u) << "released before the stop";
    rv::raiseRequest(rv::playToggleRequest);
    ASSERT_TRUE(waitFor([] { return !rv::playing.load(); }));
    Sleep(250);

    std::vector<target::Received> all = window_->received();
    EXPECT_EQ(countOf(all, WM_MBUTTONUP), 1u);
    // Exactly what the macro held: no release of a button or key it never pressed.
    EXPECT_EQ(countOf(all, WM_LBUTTONUP) + countOf(all, WM_RBUTTONUP), 0u);
    std::vector<target::Received> typed = keys(all);
    size_t shiftDown = 0, shiftUp = 0, others = 0;
    for (const target::Received& r : typed) {
        const bool down = r.message == WM_KEYDOWN || r.message == WM_SYSKEYDOWN;
        if (r.scanCode == target::scanCodeOf(VK_SHIFT)) {
            (down ? shiftDown : shiftUp) += 1;
        } else if (r.scanCode != target::scanCodeOf('A')) {
            ++others;
        }
    }
    EXPECT_EQ(shiftDown, 1u);
    EXPECT_EQ(shiftUp, 1u) << "Shift stays down after the stop";
    EXPECT_EQ(others, 0u) << "a key the macro never pressed was sent";
    ASSERT_FALSE(typed.empty());
    EXPECT_EQ(typed.back().scanCode, target::scanCodeOf(VK_SHIFT));
    EXPECT_TRUE(typed.back().message == WM_KEYUP || typed.back().message == WM_SYSKEYUP);
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
