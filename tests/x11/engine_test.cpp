// The auto-clicker and the key spammer with the real X11 backend: switched on through their toggle
// requests, as a hotkey or the page would, their clicks and taps reach a target window.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "engine/auto_clicker.h"
#include "engine/control.h"
#include "engine/key_spammer.h"
#include "platform/platform.h"
#include "state/state.h"
#include "state/wakes.h"
#include "x11/target_window.h"

namespace {

using x11test::TargetWindow;

class X11Engine : public testing::Test {
  protected:
    void SetUp() override {
        rv::resetStateForTests();
        rv::counterFrequency = plat::tickFrequency();
        ASSERT_TRUE(target_.ready());
        plat::injectAbsoluteMove(TargetWindow::kLeft + 200, TargetWindow::kTop + 150);
        workers_.emplace_back(rv::autoClickerThread);
        workers_.emplace_back(rv::keySpammerThread);
        workers_.emplace_back(rv::controlThread);
    }
    void TearDown() override {
        rv::appRunning = false;
        rv::wakeAll();
        for (std::thread& worker : workers_) worker.join();
        rv::resetStateForTests();
    }

    // Every line the target prints until it has been quiet for `quietMs`.
    std::vector<std::string> linesUntilQuiet(int quietMs = 300) {
        std::vector<std::string> lines;
        while (auto line = target_.nextLine(quietMs)) lines.push_back(*line);
        return lines;
    }
    static size_t count(const std::vector<std::string>& lines, const std::string& text) {
        return static_cast<size_t>(std::count(lines.begin(), lines.end(), text));
    }
    static void waitWhile(const std::atomic<bool>& flag, int timeoutMs) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (flag && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }

    TargetWindow target_;
    std::vector<std::thread> workers_;
};

TEST_F(X11Engine, ClickerMakesItsCountOfClicksThenStopsItself) {
    rv::sms = 20, rv::rptMode = 0, rv::rptTimes = 5;
    rv::raiseRequest(rv::clickerToggleRequest);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_TRUE(rv::autoClicking || rv::clickCount > 0);
    waitWhile(rv::autoClicking, 3000);
    EXPECT_FALSE(rv::autoClicking);
    std::vector<std::string> lines = linesUntilQuiet();
    EXPECT_EQ(count(lines, "button press 1"), 5u);
    EXPECT_EQ(count(lines, "button release 1"), 5u);
}

TEST_F(X11Engine, UserStopLeavesNoButtonDown) {
    rv::sms = 10, rv::sbtn = 1;  // right button, until stopped
    rv::raiseRequest(rv::clickerToggleRequest);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    rv::raiseRequest(rv::clickerToggleRequest);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(rv::autoClicking);
    std::vector<std::string> lines = linesUntilQuiet();
    size_t presses = count(lines, "button press 3");
    EXPECT_GE(presses, 5u);
    EXPECT_EQ(count(lines, "button release 3"), presses);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "button release 3");
}

TEST_F(X11Engine, KeySpammerTapsItsTargetKey) {
    rv::ksms = 15, rv::ksRptMode = 0, rv::ksRptTimes = 3, rv::keySpamTarget = 65;
    rv::raiseRequest(rv::keySpamToggleRequest);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    waitWhile(rv::keySpamming, 3000);
    EXPECT_FALSE(rv::keySpamming);
    std::vector<std::string> lines = linesUntilQuiet();
    size_t presses = 0, releases = 0;
    for (const std::string& line : lines) {
        if (line.rfind("key press ", 0) == 0 && line.substr(line.size() - 2) == " a") ++presses;
        if (line.rfind("key release ", 0) == 0 && line.substr(line.size() - 2) == " a") ++releases;
    }
    EXPECT_EQ(presses, 3u);
    EXPECT_EQ(releases, 3u);
}

}  // namespace
