// The capture thread with its real hooks and the portable handlers: hotkeys, reassignment and
// recording of keys typed into another window, under Wine with xdotool as the user's keyboard.
#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture.h"
#include "capture/recording.h"
#include "platform/platform.h"
#include "state/state.h"
// After the portable headers: <windows.h> defines macros named like their constants.
#include <windows.h>
// After <windows.h>, which it needs.
#include <wtsapi32.h>

#include "platform/win32/capture_hooks.h"
#include "platform/win32/injection_tag.h"
#include "win32/wine_window.h"
#include "win32/xdotool.h"

namespace {

bool hasKey(const std::vector<target::Received>& all, UINT message, WPARAM vk) {
    for (const target::Received& r : all) {
        if (r.message == message && r.vk == vk) return true;
    }
    return false;
}
bool hasScanCode(const std::vector<target::Received>& all, UINT message, UINT vk) {
    for (const target::Received& r : all) {
        if (r.message == message && r.scanCode == target::scanCodeOf(vk)) return true;
    }
    return false;
}

// Runs tests/send_input.exe (beside this test) with `arguments` and waits for it; its exit code
// counts the records the system refused, 99 when it could not be started.
DWORD sendInput(const std::string& arguments) {
    wchar_t self[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring program(self, length);
    program = program.substr(0, program.find_last_of(L"\\/") + 1) + L"send_input.exe";
    std::wstring line = L"\"" + program + L"\" " + std::wstring(arguments.begin(), arguments.end());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return 99;
    DWORD code = 99;
    if (WaitForSingleObject(process.hProcess, 10000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

class Capture : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        rv::resetStateForTests();
        rv::counterFrequency = plat::tickFrequency();
        window_ = new target::Window(400, 300, 320, 240);
        thread_ = std::thread(&rv::captureThread);
        // The hooks are in place once an injected move reaches the handlers.
        rv::lastPointerPoint = 0;
        for (int i = 0; i < 300 && !hooked_; ++i) {
            plat::injectAbsoluteMove(500 + i % 2, 400);
            Sleep(10);
            hooked_ = rv::lastPointerPoint.load() != 0;
        }
    }
    static void TearDownTestSuite() {
        plat::stopCaptureLoop();
        thread_.join();
        delete window_;
    }
    void SetUp() override {
        ASSERT_TRUE(hooked_) << "the capture loop's hooks never saw an injected move";
        ASSERT_TRUE(window_->takeInput()) << "the target window has neither the pointer nor the foreground";
        // Without a window manager X sends keys to the window under its own pointer, which Wine does
        // not always move along with the Windows cursor.
        RECT rect;
        GetWindowRect(window_->handle(), &rect);
        ASSERT_EQ(target::xdotool("mousemove " + std::to_string((rect.left + rect.right) / 2) + " " +
                                  std::to_string((rect.top + rect.bottom) / 2)),
                  0);
        rv::clickerToggleRequest = false;
        rv::reassignTarget = 0, rv::reassignCode = 0;
        window_->clear();
    }
    // Types F5 and waits until its release has reached the window: everything typed earlier has
    // been through the hooks by then.
    static std::vector<target::Received> syncWithF5() {
        EXPECT_EQ(target::xdotool("key F5"), 0);
        return window_->waitUntil(
            [](const std::vector<target::Received>& r) { return hasKey(r, WM_KEYUP, VK_F5); });
    }

    static inline target::Window* window_ = nullptr;
    static inline std::thread thread_;
    static inline bool hooked_ = false;
};

TEST_F(Capture, TypedHotkeyIsTakenAndSwallowedWhileOtherKeysPass) {
    ASSERT_EQ(target::xdotool("key F6"), 0);
    std::vector<target::Received> seen = syncWithF5();
    ASSERT_TRUE(hasKey(seen, WM_KEYDOWN, VK_F5)) << "typed keys do not reach the target window";
    EXPECT_TRUE(rv::clickerToggleRequest.load());
    EXPECT_FALSE(hasKey(seen, WM_KEYDOWN, VK_F6));
    EXPECT_FALSE(hasKey(seen, WM_KEYUP, VK_F6));
    EXPECT_EQ(rv::keyDownTable[VK_F6].load(), 0) << "the hotkey's release was not seen";
}

TEST_F(Capture, ArmedReassignmentTakesTheNextTypedKey) {
    rv::reassignTarget = 3;
    ASSERT_EQ(target::xdotool("key F2"), 0);
    for (int i = 0; i < 300 && rv::reassignCode.load() == 0; ++i) Sleep(10);
    EXPECT_EQ(rv::reassignCode.load(), VK_F2);
    rv::reassignTarget = 0;
    std::vector<target::Received> seen = syncWithF5();
    EXPECT_FALSE(hasKey(seen, WM_KEYDOWN, VK_F2)) << "the captured press was passed on";
    EXPECT_EQ(rv::reassignCode.load(), VK_F2) << "a key typed after disarming was captured";
    EXPECT_FALSE(rv::clickerToggleRequest.load());
}

TEST_F(Capture, OwnInjectedInputIsNeitherHotkeyNorCaptureNorRecorded) {
    {
        std::lock_guard<std::mutex> lock(rv::profilesLock);
        rv::profiles = {rv::Profile{"Injected", "", {}}};
        rv::currentProfile = 0;
    }
    auto arrived = [](UINT vk) {
        return window_->waitUntil(
            [vk](const std::vector<target::Received>& r) { return hasScanCode(r, WM_KEYUP, vk); });
    };
    // Wine hands keys sent by scan code to the hooks with virtual-key 0, which is no hotkey anyway;
    // Windows fills in F6. The same press sent by virtual-key code with our mark shows that the mark
    // alone keeps it from acting.
    plat::injectKey(VK_F6, true);
    plat::injectKey(VK_F6, false);
    for (DWORD flags : {0ul, static_cast<unsigned long>(KEYEVENTF_KEYUP)}) {
        INPUT record{};
        record.type = INPUT_KEYBOARD;
        record.ki.wVk = VK_F6;
        record.ki.wScan = static_cast<WORD>(target::scanCodeOf(VK_F6));
        record.ki.dwFlags = flags;
        record.ki.dwExtraInfo = plat::win32::kOwnInjectionTag;
        SendInput(1, &record, sizeof record);
    }
    auto f6Presses = [](const std::vector<target::Received>& r) {
        size_t n = 0;
        for (const target::Received& one : r)
            n += one.message == WM_KEYDOWN && one.scanCode == target::scanCodeOf(VK_F6);
        return n;
    };
    std::vector<target::Received> seen = window_->waitUntil([&](const std::vector<target::Received>& r) {
        return f6Presses(r) == 2 && hasKey(r, WM_KEYUP, VK_F6);
    });
    EXPECT_EQ(f6Presses(seen), 2u) << "an injected hotkey was swallowed";
    EXPECT_FALSE(rv::clickerToggleRequest.load());

    rv::reassignTarget = 4;
    plat::injectKey('K', true);
    plat::injectKey('K', false);
    seen = arrived('K');
    rv::reassignTarget = 0;
    EXPECT_TRUE(hasScanCode(seen, WM_KEYDOWN, 'K')) << "an injected key was taken by the reassignment";
    EXPECT_EQ(rv::reassignCode.load(), 0);

    rv::startRecording();
    plat::injectKey('C', true);
    plat::injectKey('C', false);
    plat::injectMouse(MOUSEEVENTF_LEFTDOWN, 0);
    plat::injectMouse(MOUSEEVENTF_LEFTUP, 0);
    plat::injectRelativeMove(7, 5);
    seen = window_->waitUntil([](const std::vector<target::Received>& r) {
        return hasScanCode(r, WM_KEYUP, 'C') && !r.empty() && r.back().message == WM_LBUTTONUP;
    });
    Sleep(100);
    rv::stopRecording();
    EXPECT_TRUE(hasScanCode(seen, WM_KEYDOWN, 'C'));
    std::lock_guard<std::mutex> lock(rv::profilesLock);
    EXPECT_TRUE(rv::profiles[0].events.empty()) << rv::profiles[0].events.size() << " events recorded";
}

// A remapped mouse button, the on-screen keyboard or a script sends its keys through SendInput
// like we do, but without our mark: those are the user's and act as typed keys do.
TEST_F(Capture, AnotherProgramsInjectedInputTriggersHotkeysAndIsRecorded) {
    {
        std::lock_guard<std::mutex> lock(rv::profilesLock);
        rv::profiles = {rv::Profile{"Sent", "", {}}};
        rv::currentProfile = 0;
    }
    ASSERT_EQ(sendInput(std::to_string(VK_F6)), 0u);
    std::vector<target::Received> seen = syncWithF5();
    EXPECT_TRUE(rv::clickerToggleRequest.load()) << "another program's F6 was not taken as the hotkey";
    EXPECT_FALSE(hasKey(seen, WM_KEYDOWN, VK_F6)) << "the hotkey passed through to the focused window";
    EXPECT_EQ(rv::keyDownTable[VK_F6].load(), 0) << "the hotkey's release was not seen";

    rv::startRecording();
    ASSERT_EQ(sendInput(std::to_string('Q') + " x1"), 0u);
    seen =
        window_->waitUntil([](const std::vector<target::Received>& r) { return hasKey(r, WM_KEYUP, 'Q'); });
    Sleep(100);
    rv::stopRecording();
    rv::settleRecording();
    EXPECT_TRUE(hasKey(seen, WM_KEYDOWN, 'Q'));
    std::lock_guard<std::mutex> lock(rv::profilesLock);
    const std::vector<rv::MacroEvent>& events = rv::profiles[0].events;
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].kind, 3);
    EXPECT_EQ(events[0].vk, 'Q');
    EXPECT_EQ(events[2].kind, 2);
    EXPECT_EQ(events[2].vk, 5) << "the side button was not recorded as the first one";
}

// The hooks are put back after an unlock of the session and a resume from sleep, and then still
// act once per event: a hotkey toggles once and a typed key is recorded once.
TEST_F(Capture, HooksComeBackAfterAnUnlockAndAResumeAndActOnce) {
    HWND window = FindWindowW(L"RavelinCaptureWindow", nullptr);
    ASSERT_NE(window, nullptr);
    const int before = plat::win32::captureHookInstalls();
    SendMessageW(window, WM_WTSSESSION_CHANGE, WTS_SESSION_LOCK, 0);
    EXPECT_EQ(plat::win32::captureHookInstalls(), before) << "put back at the lock";
    SendMessageW(window, WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, 0);
    SendMessageW(window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    EXPECT_EQ(plat::win32::captureHookInstalls(), before + 2);

    {
        std::lock_guard<std::mutex> lock(rv::profilesLock);
        rv::profiles = {rv::Profile{"Again", "", {}}};
        rv::currentProfile = 0;
    }
    ASSERT_EQ(target::xdotool("key F6"), 0);
    std::vector<target::Received> seen = syncWithF5();
    EXPECT_TRUE(rv::clickerToggleRequest.load()) << "the hotkey is dead after the hooks came back";
    EXPECT_FALSE(hasKey(seen, WM_KEYDOWN, VK_F6));
    rv::startRecording();
    ASSERT_EQ(target::xdotool("key a"), 0);
    window_->waitUntil([](const std::vector<target::Received>& r) { return hasKey(r, WM_KEYUP, 'A'); });
    Sleep(100);
    rv::stopRecording();
    std::lock_guard<std::mutex> lock(rv::profilesLock);
    EXPECT_EQ(rv::profiles[0].events.size(), 2u) << "each event handled more than once";
}

TEST_F(Capture, RecordingHoldsTypedKeysInOrder) {
    {
        std::lock_guard<std::mutex> lock(rv::profilesLock);
        rv::profiles = {rv::Profile{"Typed", "", {}}};
        rv::currentProfile = 0;
    }
    rv::startRecording();
    ASSERT_EQ(target::xdotool("key a b"), 0);
    std::vector<target::Received> seen =
        window_->waitUntil([](const std::vector<target::Received>& r) { return hasKey(r, WM_KEYUP, 'B'); });
    rv::stopRecording();
    ASSERT_TRUE(hasKey(seen, WM_KEYUP, 'B')) << "typed keys do not reach the target window";

    std::lock_guard<std::mutex> lock(rv::profilesLock);
    const std::vector<rv::MacroEvent>& events = rv::profiles[0].events;
    struct Expected {
        int32_t vk;
        bool down;
    };
    const Expected expected[] = {{'A', true}, {'A', false}, {'B', true}, {'B', false}};
    ASSERT_EQ(events.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(events[i].kind, 3) << i;
        EXPECT_EQ(events[i].vk, expected[i].vk) << i;
        EXPECT_EQ(events[i].down, expected[i].down) << i;
        EXPECT_GE(events[i].time, i == 0 ? 0.0 : events[i - 1].time) << i;
    }
    EXPECT_LT(events[3].time, 5.0);
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
