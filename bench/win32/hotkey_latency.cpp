// The Windows build's hotkey latency: the capture, control, auto-clicker, key-spam and player
// threads on their real threads, xdotool (under Wine) as the user's keyboard, and a window of this
// program's own. Each hotkey is stamped when it reaches this program's own low-level keyboard hook,
// which is called just before the capture thread's (the last hook set is called first), and each
// action when the window procedure receives it; the time from the X server to Wine's hooks is
// Wine's and not counted. Prints the Linux bench's lines:
//   hotkey_latency action=click|key|play|stop p50_ms=… p99_ms=… max_ms=… n=… missed=…
// Run under Wine on a display: tests/support/with_xvfb.sh wine build/windows/bench/hotkey_latency.exe
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/percentile.h"
#include "bridge/texts.h"
#include "capture/capture.h"
#include "engine/auto_clicker.h"
#include "engine/control.h"
#include "engine/key_spammer.h"
#include "engine/macro_player.h"
#include "platform/platform.h"
#include "state/state.h"
#include "state/wakes.h"
// After the portable headers: <windows.h> defines macros named like their constants.
#include "win32/wine_window.h"
#include "win32/xdotool.h"

namespace {

// How the timing threads ran, at the end of each figure line.
std::string scheduling() {
    return " scheduling=\"" + rv::schedulingText() + "\"";
}

constexpr int kPresses = 40;  // each press starts xdotool, which takes a while under Wine

// Key-downs of real (not injected) keys as the hooks see them: virtual-key code and counter stamp.
std::mutex hookedLock;
std::vector<std::pair<DWORD, int64_t>> hooked;

LRESULT CALLBACK keyboardHook(int code, WPARAM message, LPARAM data) {
    if (code == HC_ACTION && (message == WM_KEYDOWN || message == WM_SYSKEYDOWN)) {
        const auto* record = reinterpret_cast<const KBDLLHOOKSTRUCT*>(data);
        if (!(record->flags & LLKHF_INJECTED)) {
            std::lock_guard<std::mutex> lock(hookedLock);
            hooked.emplace_back(record->vkCode, plat::ticks());
        }
    }
    return CallNextHookEx(nullptr, code, message, data);
}

// The bench's hook on a thread of its own, set after the capture thread's.
class StampingHook {
  public:
    StampingHook() {
        thread_ = std::thread([this] {
            MSG message;
            PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
            HHOOK hook = SetWindowsHookExW(WH_KEYBOARD_LL, &keyboardHook, GetModuleHandleW(nullptr), 0);
            threadId_ = GetCurrentThreadId();
            while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
            if (hook) UnhookWindowsHookEx(hook);
        });
        while (threadId_ == 0) Sleep(1);
    }
    ~StampingHook() {
        PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }

  private:
    std::thread thread_;
    std::atomic<DWORD> threadId_{0};
};

// Types `key` with xdotool and returns the stamp of its press at the hooks.
std::optional<int64_t> type(const char* key, DWORD vk) {
    {
        std::lock_guard<std::mutex> lock(hookedLock);
        hooked.clear();
    }
    if (target::xdotool(std::string("key ") + key) != 0) return std::nullopt;
    std::lock_guard<std::mutex> lock(hookedLock);
    for (auto [code, at] : hooked) {
        if (code == vk) return at;
    }
    return std::nullopt;
}

double milliseconds(int64_t ticks) {
    return 1000.0 * static_cast<double>(ticks) / static_cast<double>(rv::counterFrequency);
}

using bench::Figures;
using bench::print;

template <typename Done>
bool waitFor(Done done, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs && !done(); ++waited) Sleep(1);
    return done();
}

std::mt19937 randomness(20261207);
void randomPause(int least, int most) {
    Sleep(static_cast<DWORD>(std::uniform_int_distribution<int>(least, most)(randomness)));
}

// The first message `wanted` accepts at or after `since`, waiting up to a second.
template <typename Wanted>
std::optional<int64_t> firstArrival(target::Window& window, int64_t since, Wanted wanted) {
    std::optional<int64_t> first;
    window.waitUntil(
        [&](const std::vector<target::Received>& all) {
            for (const target::Received& r : all) {
                if (wanted(r) && r.ticks >= since) {
                    first = r.ticks;
                    return true;
                }
            }
            return false;
        },
        1000);
    return first;
}

bool leftPress(const target::Received& r) {
    return r.message == WM_LBUTTONDOWN;
}

// A hotkey to its first action; `after` ends what it started. The first press is not counted: under
// Wine the first use of a path (the first injected key, the first pass of the player) takes 10-50 ms
// once per process.
template <typename Wanted, typename After>
void measure(target::Window& window, const char* key, DWORD vk, Wanted wanted, Figures& start, After after) {
    for (int i = -1; i < kPresses; ++i) {
        randomPause(20, 80);
        window.clear();
        std::optional<int64_t> on = type(key, vk);
        std::optional<int64_t> first = on ? firstArrival(window, *on, wanted) : std::nullopt;
        if (i >= 0 && on && first) start.ms.push_back(milliseconds(*first - *on));
        if (i >= 0 && !(on && first)) ++start.missed;
        after();
    }
}

}  // namespace

int main() {
    plat::initProcess();
    plat::raiseTimerResolution();
    rv::counterFrequency = plat::tickFrequency();
    target::Window window(100, 100, 600, 400);
    if (!window.handle() || !window.takeInput()) {
        std::fprintf(stderr,
                     "hotkey_latency: the target window has neither the pointer nor the foreground\n");
        return 1;
    }
    // Without a window manager X sends keys to the window under its own pointer.
    if (target::xdotool("mousemove 400 300") != 0) {
        std::fprintf(stderr, "hotkey_latency: needs xdotool (run it under Wine on an X display)\n");
        return 1;
    }
    std::vector<std::thread> threads;
    for (void (*body)() : {&rv::autoClickerThread, &rv::keySpammerThread, &rv::captureThread,
                           &rv::macroPlayerThread, &rv::controlThread}) {
        // Raised as the program raises them.
        threads.emplace_back([body] {
            rv::noteScheduling(plat::raiseThreadScheduling());
            body();
        });
    }
    Sleep(500);  // the capture thread's hooks are set
    StampingHook hook;

    Figures click, stop, key, play;
    rv::sms = 1, rv::rptMode = 1;
    measure(window, "F6", VK_F6, &leftPress, click, [&] {
        randomPause(10, 40);
        std::optional<int64_t> off = type("F6", VK_F6);
        waitFor([] { return !rv::autoClicking.load(); }, 1000);
        Sleep(60);  // every click sent before the stop has reached the window
        int64_t last = 0;
        for (const target::Received& r : window.received()) {
            if (leftPress(r)) last = std::max(last, r.ticks);
        }
        if (!off || rv::autoClicking.load()) {
            ++stop.missed;
            if (rv::autoClicking.load()) rv::raiseRequest(rv::clickerToggleRequest);
            waitFor([] { return !rv::autoClicking.load(); }, 1000);
        } else {
            stop.ms.push_back(milliseconds(std::max<int64_t>(0, last - *off)));
        }
    });
    print("hotkey_latency", "action=click", click, scheduling());

    rv::ksms = 1, rv::ksRptMode = 1;
    rv::keySpamTarget = 'A';
    const UINT aScan = target::scanCodeOf('A');
    measure(
        window, "F9", VK_F9,
        [aScan](const target::Received& r) { return r.message == WM_KEYDOWN && r.scanCode == aScan; }, key,
        [] {
            randomPause(5, 20);
            rv::raiseRequest(rv::keySpamToggleRequest);
            waitFor([] { return !rv::keySpamming.load(); }, 1000);
            Sleep(30);
        });
    print("hotkey_latency", "action=key", key, scheduling());

    {
        std::lock_guard<std::mutex> lock(rv::profilesLock);
        rv::MacroEvent down, up;
        down.kind = up.kind = 2;
        down.x = up.x = 400;
        down.y = up.y = 300;
        down.flags = MOUSEEVENTF_LEFTDOWN;  // the system's flags, which the program's share
        up.flags = MOUSEEVENTF_LEFTUP;
        up.time = 0.001;
        rv::profiles = {rv::Profile{rv::kDefaultProfileName, "", {down, up}}};
        rv::currentProfile = 0;
    }
    rv::tloop = false;
    measure(window, "F7", VK_F7, &leftPress, play, [] {
        if (!waitFor([] { return !rv::playing.load(); }, 1000)) {
            rv::raiseRequest(rv::playToggleRequest);
            waitFor([] { return !rv::playing.load(); }, 1000);
        }
    });
    print("hotkey_latency", "action=play", play, scheduling());
    print("hotkey_latency", "action=stop", stop, scheduling());

    rv::appRunning = false;
    rv::wakeAll();
    plat::stopCaptureLoop();
    for (std::thread& thread : threads) thread.join();
    plat::restoreTimerResolution();
    return 0;
}
