// Injected input as low-level hooks see it, the capture loop, the pointer and key names, for real
// under Windows or Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/capture_hooks.h"
#include "platform/win32/wide_text.h"
#include "state/utf8_text.h"
#include "win32/wine_window.h"

namespace {

struct HookedEvent {
    bool keyboard;
    WPARAM message;
    DWORD vk;        // keyboard only
    DWORD scanCode;  // keyboard only
    DWORD flags;
    DWORD mouseData;  // mouse only
    POINT point;      // mouse only
};

// Low-level hooks on a thread of their own with a message loop, recording what arrives.
class Hooks {
  public:
    static void start() {
        thread_ = std::thread(&Hooks::run);
        std::unique_lock<std::mutex> lock(mutex_);
        for (int i = 0; i < 500 && !threadId_; ++i) {
            lock.unlock();
            Sleep(10);
            lock.lock();
        }
    }
    static void stop() {
        PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }
    static void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.clear();
    }
    // The recorded events that `keep` accepts, once there are `count` of them or after two seconds.
    template <typename Keep>
    static std::vector<HookedEvent> waitFor(size_t count, Keep keep) {
        std::vector<HookedEvent> kept;
        for (int i = 0; i < 200; ++i) {
            kept.clear();
            {
                std::lock_guard<std::mutex> lock(mutex_);
                for (const HookedEvent& event : events_) {
                    if (keep(event)) kept.push_back(event);
                }
            }
            if (kept.size() >= count) break;
            Sleep(10);
        }
        return kept;
    }

  private:
    static LRESULT CALLBACK keyboard(int code, WPARAM message, LPARAM data) {
        if (code == HC_ACTION) {
            auto* key = reinterpret_cast<KBDLLHOOKSTRUCT*>(data);
            record({true, message, key->vkCode, key->scanCode, key->flags, 0, {}});
        }
        return CallNextHookEx(nullptr, code, message, data);
    }
    static LRESULT CALLBACK mouse(int code, WPARAM message, LPARAM data) {
        if (code == HC_ACTION) {
            auto* mouse = reinterpret_cast<MSLLHOOKSTRUCT*>(data);
            record({false, message, 0, 0, mouse->flags, mouse->mouseData, mouse->pt});
        }
        return CallNextHookEx(nullptr, code, message, data);
    }
    static void record(const HookedEvent& event) {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(event);
    }
    static void run() {
        HHOOK keyboardHook = SetWindowsHookExW(WH_KEYBOARD_LL, &keyboard, GetModuleHandleW(nullptr), 0);
        HHOOK mouseHook = SetWindowsHookExW(WH_MOUSE_LL, &mouse, GetModuleHandleW(nullptr), 0);
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue, for WM_QUIT
        {
            std::lock_guard<std::mutex> lock(mutex_);
            threadId_ = GetCurrentThreadId();
        }
        while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
        UnhookWindowsHookEx(keyboardHook);
        UnhookWindowsHookEx(mouseHook);
    }

    static inline std::thread thread_;
    static inline std::mutex mutex_;
    static inline DWORD threadId_ = 0;
    static inline std::vector<HookedEvent> events_;
};

class Injection : public testing::Test {
  protected:
    static void SetUpTestSuite() { Hooks::start(); }
    static void TearDownTestSuite() { Hooks::stop(); }
    void SetUp() override { Hooks::clear(); }
};

TEST_F(Injection, KeysArriveByScanCodeAsInjectedPressThenRelease) {
    struct Case {
        int32_t vk;
        bool extended;
    };
    for (Case c : {Case{'A', false}, Case{VK_F8, false}, Case{VK_SPACE, false}, Case{VK_DELETE, true},
                   Case{VK_LEFT, true}, Case{VK_SNAPSHOT, false}}) {
        Hooks::clear();
        EXPECT_EQ(plat::injectKey(c.vk, true), 1);
        EXPECT_EQ(plat::injectKey(c.vk, false), 1);
        auto keys = Hooks::waitFor(2, [](const HookedEvent& e) { return e.keyboard; });
        ASSERT_EQ(keys.size(), 2u) << c.vk;
        DWORD scan = MapVirtualKeyW(static_cast<UINT>(c.vk), MAPVK_VK_TO_VSC);
        for (size_t i = 0; i < 2; ++i) {
            bool down = i == 0;
            EXPECT_EQ(keys[i].scanCode, scan) << c.vk;
            EXPECT_TRUE(keys[i].flags & LLKHF_INJECTED) << c.vk;
            EXPECT_EQ((keys[i].flags & LLKHF_UP) != 0, !down) << c.vk;
            EXPECT_EQ((keys[i].flags & LLKHF_EXTENDED) != 0, c.extended) << c.vk;
            EXPECT_EQ(keys[i].message, static_cast<WPARAM>(down ? WM_KEYDOWN : WM_KEYUP)) << c.vk;
        }
    }
}

// Keys whose scan code is shared with another key unless the extended prefix comes with it: each
// must reach the hooks and the focused window as itself (Volume Up is not B, right Ctrl not left).
TEST_F(Injection, ExtendedKeysArriveWithThePrefixAtHooksAndWindows) {
    target::Window window(300, 300, 200, 150);
    ASSERT_TRUE(window.takeInput());
    struct Case {
        const char* name;
        int32_t vk;
        DWORD scan;
    };
    // Wine's layout gives the prefix to right Ctrl and right Alt but not to the Windows keys or the
    // keypad's divide, and no scan code to Volume Up; Windows gives all of them the prefix.
    const Case cases[] = {
        {"right Ctrl", VK_RCONTROL, 0x1D},
        {"right Alt", VK_RMENU, 0x38},
        {"Delete", VK_DELETE, 0x53},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Hooks::clear();
        window.clear();
        EXPECT_EQ(plat::injectKey(c.vk, true), 1);
        EXPECT_EQ(plat::injectKey(c.vk, false), 1);
        auto keys = Hooks::waitFor(2, [](const HookedEvent& e) { return e.keyboard; });
        ASSERT_EQ(keys.size(), 2u);
        for (const HookedEvent& key : keys) {
            EXPECT_EQ(key.scanCode, c.scan);
            EXPECT_TRUE(key.flags & LLKHF_EXTENDED);
        }
        auto seen = window.waitUntil([](const std::vector<target::Received>& r) {
            size_t keyMessages = 0;
            for (const target::Received& m : r) keyMessages += target::isKey(m) ? 1 : 0;
            return keyMessages >= 2;
        });
        size_t keyMessages = 0;
        for (const target::Received& m : seen) {
            if (!target::isKey(m)) continue;
            ++keyMessages;
            EXPECT_EQ(m.scanCode, c.scan);
            EXPECT_TRUE(m.extended);
        }
        EXPECT_EQ(keyMessages, 2u);
    }
}

TEST_F(Injection, MouseActionsCarryTheirDataAndLeaveThePointerWhereItIs) {
    plat::injectAbsoluteMove(300, 270);
    int32_t x = 0, y = 0;
    struct Case {
        uint32_t flags;
        int32_t data;
        WPARAM message;
        int16_t wheel;
    };
    for (Case c :
         {Case{MOUSEEVENTF_RIGHTDOWN, 0, WM_RBUTTONDOWN, 0}, Case{MOUSEEVENTF_RIGHTUP, 0, WM_RBUTTONUP, 0},
          Case{MOUSEEVENTF_MIDDLEDOWN, 0, WM_MBUTTONDOWN, 0}, Case{MOUSEEVENTF_MIDDLEUP, 0, WM_MBUTTONUP, 0},
          Case{MOUSEEVENTF_WHEEL, 120, WM_MOUSEWHEEL, 120},
          Case{MOUSEEVENTF_WHEEL, -240, WM_MOUSEWHEEL, -240}}) {
        Hooks::clear();
        plat::injectMouse(c.flags, c.data);
        auto events = Hooks::waitFor(1, [](const HookedEvent& e) { return !e.keyboard; });
        ASSERT_EQ(events.size(), 1u) << c.flags;
        EXPECT_EQ(events[0].message, c.message) << c.flags;
        EXPECT_TRUE(events[0].flags & LLMHF_INJECTED) << c.flags;
        EXPECT_EQ(static_cast<int16_t>(HIWORD(events[0].mouseData)), c.wheel) << c.flags;
        EXPECT_EQ(events[0].point.x, 300);
        EXPECT_EQ(events[0].point.y, 270);
        ASSERT_TRUE(plat::cursorPos(x, y));
        EXPECT_EQ(x, 300);
        EXPECT_EQ(y, 270);
    }
}

TEST_F(Injection, AbsoluteMovesLandOnThePixelAndRelativeMovesGoTheirWay) {
    int32_t width = 0, height = 0;
    plat::screenSize(width, height);
    ASSERT_GT(width, 100);
    ASSERT_GT(height, 100);
    EXPECT_EQ(width, GetSystemMetrics(SM_CXSCREEN));
    // One monitor here: the virtual desktop is the screen (moves are normalised over it).
    plat::Rect desk = plat::virtualDesktop();
    EXPECT_EQ(desk.left, GetSystemMetrics(SM_XVIRTUALSCREEN));
    EXPECT_EQ(desk.top, GetSystemMetrics(SM_YVIRTUALSCREEN));
    EXPECT_EQ(desk.right - desk.left, GetSystemMetrics(SM_CXVIRTUALSCREEN));
    EXPECT_EQ(desk.bottom - desk.top, GetSystemMetrics(SM_CYVIRTUALSCREEN));
    struct Point {
        int32_t x, y;
    };
    // Every pixel, also those whose normalised value is not a whole number: the last one of each
    // side, and one in the middle of nowhere.
    for (Point p : {Point{0, 0}, Point{width / 2, height / 2}, Point{width / 4 * 3, height / 4 * 3},
                    Point{width - 1, height - 1}, Point{123, 457}, Point{1, height - 2}}) {
        Hooks::clear();
        EXPECT_TRUE(plat::injectAbsoluteMove(p.x, p.y));  // the system took it
        auto moves = Hooks::waitFor(1, [](const HookedEvent& e) { return e.message == WM_MOUSEMOVE; });
        ASSERT_EQ(moves.size(), 1u);
        EXPECT_TRUE(moves[0].flags & LLMHF_INJECTED);
        EXPECT_EQ(moves[0].point.x, p.x) << "the hook's point";
        EXPECT_EQ(moves[0].point.y, p.y);
        int32_t x = -1, y = -1;
        ASSERT_TRUE(plat::cursorPos(x, y));
        EXPECT_EQ(x, p.x);
        EXPECT_EQ(y, p.y);
    }
    plat::injectAbsoluteMove(width / 2, height / 2);
    plat::injectRelativeMove(40, 0);
    int32_t x = 0, y = 0;
    ASSERT_TRUE(plat::cursorPos(x, y));
    EXPECT_GT(x, width / 2);
    EXPECT_EQ(y, height / 2);
    plat::injectRelativeMove(0, -40);
    int32_t x2 = 0, y2 = 0;
    ASSERT_TRUE(plat::cursorPos(x2, y2));
    EXPECT_EQ(x2, x);
    EXPECT_LT(y2, y);
}

// ---- capture loop --------------------------------------------------------------------------------

struct Captured {
    std::mutex mutex;
    std::vector<plat::KeyEvent> keys;
    std::vector<plat::MouseEvent> mouse;
    std::vector<plat::RawMotion> motion;
};
Captured captured;

plat::CaptureHandlers recordingHandlers() {
    return plat::CaptureHandlers{[](const plat::KeyEvent& event) {
                                     std::lock_guard<std::mutex> lock(captured.mutex);
                                     captured.keys.push_back(event);
                                     if (event.vk == VK_F9 && event.down)
                                         Sleep(200);            // a call that runs long
                                     return event.vk == VK_F6;  // swallowed
                                 },
                                 [](const plat::MouseEvent& event) {
                                     std::lock_guard<std::mutex> lock(captured.mutex);
                                     captured.mouse.push_back(event);
                                     return false;
                                 },
                                 [](const plat::RawMotion& motion) {
                                     std::lock_guard<std::mutex> lock(captured.mutex);
                                     captured.motion.push_back(motion);
                                 }};
}

// Runs a capture loop on a thread of its own; `ended` tells when runCaptureLoop has returned.
struct CaptureThread {
    std::atomic<bool> ended{false};
    std::thread thread{[this] {
        plat::runCaptureLoop(recordingHandlers());
        ended = true;
    }};
    bool endsWithin(int milliseconds) {
        for (int waited = 0; waited < milliseconds && !ended; waited += 10) Sleep(10);
        if (ended)
            thread.join();
        else
            thread.detach();
        return ended;
    }
};

void sendVirtualKey(WORD vk, bool down) {
    INPUT record{};
    record.type = INPUT_KEYBOARD;
    record.ki.wVk = vk;
    record.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    SendInput(1, &record, sizeof record);
}

TEST_F(Injection, CaptureLoopStoppedBeforeItStartsEndsAtOnce) {
    plat::stopCaptureLoop();
    CaptureThread loop;
    EXPECT_TRUE(loop.endsWithin(3000));
}

TEST_F(Injection, CaptureLoopHandsOverEveryEventAndSwallowsWhatTheHandlerTakes) {
    {
        std::lock_guard<std::mutex> lock(captured.mutex);
        captured.keys.clear();
        captured.mouse.clear();
        captured.motion.clear();
    }
    CaptureThread loop;
    // The hooks are in place once an injected move comes through.
    for (int i = 0; i < 300; ++i) {
        plat::injectAbsoluteMove(600, 540);
        Sleep(10);
        std::lock_guard<std::mutex> lock(captured.mutex);
        if (!captured.mouse.empty()) break;
    }
    Hooks::clear();
    for (bool down : {true, false}) sendVirtualKey(VK_F6, down);
    for (bool down : {true, false}) sendVirtualKey(VK_F7, down);
    plat::injectMouse(MOUSEEVENTF_WHEEL, -120);
    plat::injectRelativeMove(5, 3);
    // The test's own hooks come after the capture loop's: they see only what was passed on.
    auto isKey = [](const HookedEvent& e) { return e.keyboard; };
    Hooks::waitFor(2, isKey);
    Sleep(200);  // a swallowed key that leaked through would have arrived by now
    auto passed = Hooks::waitFor(2, isKey);
    ASSERT_EQ(passed.size(), 2u);
    EXPECT_EQ(passed[0].vk, static_cast<DWORD>(VK_F7));
    EXPECT_EQ(passed[1].vk, static_cast<DWORD>(VK_F7));

    plat::stopCaptureLoop();
    ASSERT_TRUE(loop.endsWithin(3000));
    std::lock_guard<std::mutex> lock(captured.mutex);
    ASSERT_EQ(captured.keys.size(), 4u);
    int32_t codes[] = {VK_F6, VK_F6, VK_F7, VK_F7};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(captured.keys[i].vk, codes[i]);
        EXPECT_EQ(captured.keys[i].down, i % 2 == 0);
        // Sent without this program's mark, as another program sends them: the user's input.
        EXPECT_FALSE(captured.keys[i].injected);
    }
    plat::MouseEvent wheel{};
    for (const plat::MouseEvent& event : captured.mouse) {
        if (event.message == WM_MOUSEWHEEL) wheel = event;
    }
    EXPECT_EQ(wheel.message, static_cast<uint32_t>(WM_MOUSEWHEEL));
    EXPECT_EQ(static_cast<int16_t>(HIWORD(wheel.mouseData)), -120);
    EXPECT_EQ(wheel.x, 600);
    EXPECT_EQ(wheel.y, 540);
    EXPECT_TRUE(wheel.injected);
    ASSERT_FALSE(captured.motion.empty());
    EXPECT_GT(captured.motion.back().dx, 0);
    EXPECT_GT(captured.motion.back().dy, 0);
    EXPECT_FALSE(captured.motion.back().absolute);
}

// A hook call that ran long may have made the system drop the hook: the loop puts its hooks back,
// once, and every event then still comes once.
TEST_F(Injection, AHookCallThatRanLongPutsTheHooksBack) {
    auto keyCount = [] {
        std::lock_guard<std::mutex> lock(captured.mutex);
        return captured.keys.size();
    };
    {
        std::lock_guard<std::mutex> lock(captured.mutex);
        captured.keys.clear();
        captured.mouse.clear();
    }
    CaptureThread loop;
    for (int i = 0; i < 300; ++i) {
        plat::injectAbsoluteMove(600 + i % 2, 540);
        Sleep(10);
        std::lock_guard<std::mutex> lock(captured.mutex);
        if (!captured.mouse.empty()) break;
    }
    const int before = plat::win32::captureHookInstalls();
    for (bool down : {true, false}) sendVirtualKey(VK_F9, down);
    for (int waited = 0; waited < 3000 && plat::win32::captureHookInstalls() == before; waited += 10)
        Sleep(10);
    Sleep(100);
    EXPECT_EQ(plat::win32::captureHookInstalls(), before + 1);

    const size_t keys = keyCount();
    for (bool down : {true, false}) sendVirtualKey(VK_F7, down);
    for (int waited = 0; waited < 3000 && keyCount() < keys + 2; waited += 10) Sleep(10);
    Sleep(200);
    EXPECT_EQ(keyCount(), keys + 2) << "the hooks are gone, or there twice";
    plat::stopCaptureLoop();
    ASSERT_TRUE(loop.endsWithin(3000));
}

UINT registeredRawDevices() {
    UINT count = 0;
    GetRegisteredRawInputDevices(nullptr, &count, sizeof(RAWINPUTDEVICE));
    return count;
}

template <typename Done>
bool within(int milliseconds, Done done) {
    for (int waited = 0; waited < milliseconds && !done(); waited += 10) Sleep(10);
    return done();
}

std::atomic<bool> rawWanted{false};

// Raw input wakes the loop for every packet of the mouse: it is registered only while the handlers
// want raw motion, from their next wake or mouse event on, and gone when the loop ends.
TEST_F(Injection, RawInputIsRegisteredOnlyWhileRawMotionIsWanted) {
    {
        std::lock_guard<std::mutex> lock(captured.mutex);
        captured.mouse.clear();
        captured.motion.clear();
    }
    plat::CaptureHandlers handlers = recordingHandlers();
    handlers.rawMotionWanted = [] { return rawWanted.load(); };
    rawWanted = false;
    std::atomic<bool> ended{false};
    std::thread thread([&] {
        plat::runCaptureLoop(handlers);
        ended = true;
    });
    int step = 0;
    EXPECT_TRUE(within(3000, [&step] {
        plat::injectAbsoluteMove(600 + ++step % 2, 540);
        std::lock_guard<std::mutex> lock(captured.mutex);
        return !captured.mouse.empty();
    }));
    EXPECT_EQ(registeredRawDevices(), 0u);

    rawWanted = true;
    plat::wakeCaptureLoop();
    EXPECT_TRUE(within(1000, [] { return registeredRawDevices() == 1; }));
    EXPECT_TRUE(within(1000, [] {
        plat::injectRelativeMove(5, 3);
        std::lock_guard<std::mutex> lock(captured.mutex);
        return !captured.motion.empty();
    }));

    rawWanted = false;  // no wake: the next mouse event is enough
    plat::injectAbsoluteMove(610, 540);
    EXPECT_TRUE(within(1000, [] { return registeredRawDevices() == 0; }));

    rawWanted = true;
    plat::wakeCaptureLoop();
    EXPECT_TRUE(within(1000, [] { return registeredRawDevices() == 1; }));
    plat::stopCaptureLoop();
    EXPECT_TRUE(within(3000, [&] { return ended.load(); }));
    thread.join();
    EXPECT_EQ(registeredRawDevices(), 0u);
    rawWanted = false;
}

TEST(KeyNames, StableNamesExtendedKeysAndNone) {
    EXPECT_EQ(plat::keyName(VK_F8), "F8");
    EXPECT_EQ(plat::keyName(VK_F6), "F6");
    EXPECT_FALSE(plat::keyName('A').empty());
    // Delete shares its scan code with the keypad's decimal point; only the extended bit tells them apart.
    std::string del = plat::keyName(VK_DELETE);
    EXPECT_FALSE(del.empty());
    EXPECT_NE(del, plat::keyName(VK_DECIMAL));
    // A code with no scan code has no name unless the platform names scan code 0 itself.
    wchar_t zero[128];
    int zeroLength = GetKeyNameTextW(0, zero, 128);
    EXPECT_EQ(plat::keyName(0), zeroLength > 0 ? plat::toUtf8(zero, zeroLength) : std::string());
}

// Every name is the system's wide name in UTF-8, whatever the system's code page.
TEST(KeyNames, EveryNameIsTheWideNameInUtf8) {
    int named = 0;
    for (int32_t vk = 1; vk < 256; ++vk) {
        std::string name = plat::keyName(vk);
        EXPECT_EQ(rv::validUtf8(name), name) << vk;
        if (name.empty()) continue;
        ++named;
        std::wstring wide = plat::toWide(name);
        EXPECT_GT(wide.size(), 0u) << vk;
        EXPECT_LT(wide.size(), 128u) << vk;
    }
    EXPECT_GT(named, 50);
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
