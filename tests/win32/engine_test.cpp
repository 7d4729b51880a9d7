// The auto-clicker, the key spammer and the control thread on their real threads, clicking and typing
// into another window through the Windows backend, under Windows or Wine.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "engine/auto_clicker.h"
#include "engine/control.h"
#include "engine/key_spammer.h"
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

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
