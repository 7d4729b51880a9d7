// Measures how soon the program acts on a request: presses a hotkey through XTest on a connection of
// its own (the path of any real keyboard into the X server; the capture thread sees it as the user's
// key), and timestamps the first action that reaches a target window of its own (CLOCK_MONOTONIC,
// microseconds), with the capture, control, auto-clicker, key-spam and player threads of the program
// running as they do in it. Each press comes at a random moment, so that it falls anywhere in the
// threads' naps. Prints, over 200 presses each:
//   hotkey_latency action=click p50_ms=… p99_ms=… max_ms=…   F6 to the clicker's first click
//   hotkey_latency action=key …                               F9 to the key spammer's first key
//   hotkey_latency action=play …                              F7 to the playback's first event
//   hotkey_latency action=stop …                              F6 to the last click of a clicker that
//                                                             clicks every millisecond (0 when none
//                                                             came after the press)
// and the same for a page call (`toggleSpammer`, as the window's thread makes it) and a panel message
// over the pipe, each to the first click:
//   request_latency source=page action=click …
//   request_latency source=panel action=click …
// Runs on the current X display (Xvfb).
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/main_bindings.h"
#include "bench/bench_support.h"
#include "bench/percentile.h"
#include "bridge/panel_messages.h"
#include "capture/capture.h"
#include "engine/auto_clicker.h"
#include "engine/control.h"
#include "engine/key_spammer.h"
#include "engine/macro_player.h"
#include "platform/input_math.h"
#include "platform/platform.h"
#include "state/state.h"
#include "state/wakes.h"

namespace {

using bench::monotonicMicros;

constexpr int kLeft = 100, kTop = 100, kWidth = 600, kHeight = 400;
constexpr int kPointX = kLeft + kWidth / 2, kPointY = kTop + kHeight / 2;
constexpr int kPresses = 200;
constexpr int kRequests = 50;

enum class Action { click, key };

struct Arrival {
    Action action;
    int64_t us;
};

std::optional<Arrival> arrival(const XEvent& event, int64_t now) {
    if (event.type == ButtonPress && event.xbutton.button == 1) return Arrival{Action::click, now};
    if (event.type == KeyPress) return Arrival{Action::key, now};
    return std::nullopt;
}

// A window with the keyboard focus under the pointer that notes every press reaching it.
using Target = bench::TimestampingWindow<Arrival>;

std::mt19937 randomness(20261207);

// A pause of `least` to `most` milliseconds, so that the next request falls at a random moment of
// every thread's nap.
void randomPause(int least, int most) {
    std::uniform_int_distribution<int> us(least * 1000, most * 1000);
    plat::sleepUs(us(randomness));
}

template <typename Done>
bool waitFor(Done done, int timeoutMs) {
    const int64_t end = monotonicMicros() + static_cast<int64_t>(timeoutMs) * 1000;
    while (!done()) {
        if (monotonicMicros() > end) return false;
        plat::sleepMs(1);
    }
    return true;
}

// Presses and releases a key as a keyboard would; returns when the press was sent.
class Keyboard {
  public:
    bool open() {
        display_ = XOpenDisplay(nullptr);
        return display_ != nullptr;
    }
    void close() {
        if (display_) XCloseDisplay(display_);
    }
    // The time the press left for the server.
    int64_t tap(KeySym key) {
        const KeyCode code = XKeysymToKeycode(display_, key);
        const int64_t sent = monotonicMicros();
        XTestFakeKeyEvent(display_, code, True, CurrentTime);
        XFlush(display_);
        XTestFakeKeyEvent(display_, code, False, CurrentTime);
        XFlush(display_);
        return sent;
    }

  private:
    Display* display_ = nullptr;
};

// The first arrival of `action` at or after `since` among what the target noted, waiting up to a
// second; the arrivals read go into `seen`.
std::optional<int64_t> firstArrival(Target& target, Action action, int64_t since,
                                    std::vector<Arrival>& seen) {
    const int64_t end = monotonicMicros() + 1000000;
    for (;;) {
        for (const Arrival& a : target.take()) seen.push_back(a);
        for (const Arrival& a : seen) {
            if (a.action == action && a.us >= since) return a.us;
        }
        if (monotonicMicros() > end) return std::nullopt;
        plat::sleepMs(1);
    }
}

using bench::Figures;
using bench::print;

double millis(int64_t us) {
    return static_cast<double>(us) / 1000.0;
}

// F6 on and off: the first click after switching on, and the last click after switching off, with a
// clicker that clicks every millisecond.
void measureClicker(Keyboard& keyboard, Target& target, Figures& start, Figures& stop) {
    rv::sms = 1, rv::rptMode = 1;
    for (int i = 0; i < kPresses; ++i) {
        randomPause(20, 80);
        target.take();
        std::vector<Arrival> seen;
        const int64_t on = keyboard.tap(XK_F6);
        if (auto first = firstArrival(target, Action::click, on, seen)) {
            start.ms.push_back(millis(*first - on));
        } else {
            ++start.missed;
        }
        randomPause(10, 40);
        const int64_t off = keyboard.tap(XK_F6);
        waitFor([] { return !rv::autoClicking.load(); }, 1000);
        plat::sleepMs(60);  // every click sent before the stop has reached the target
        int64_t last = 0;
        for (const Arrival& a : target.take()) {
            if (a.action == Action::click) last = std::max(last, a.us);
        }
        if (rv::autoClicking.load()) {
            ++stop.missed;
            rv::raiseRequest(rv::clickerToggleRequest);
            waitFor([] { return !rv::autoClicking.load(); }, 1000);
        } else {
            stop.ms.push_back(millis(std::max<int64_t>(0, last - off)));
        }
    }
}

// F9 to the first key of the key spammer; a second F9 ends it.
void measureKeySpammer(Keyboard& keyboard, Target& target, Figures& start) {
    rv::ksms = 1, rv::ksRptMode = 1;
    rv::keySpamTarget = 65;  // A
    for (int i = 0; i < kPresses; ++i) {
        randomPause(20, 80);
        target.take();
        std::vector<Arrival> seen;
        const int64_t on = keyboard.tap(XK_F9);
        if (auto first = firstArrival(target, Action::key, on, seen)) {
            start.ms.push_back(millis(*first - on));
        } else {
            ++start.missed;
        }
        randomPause(5, 20);
        keyboard.tap(XK_F9);
        waitFor([] { return !rv::keySpamming.load(); }, 1000);
        plat::sleepMs(30);
    }
}

// F7 to the first event of a recording that clicks the target at its start; playback then ends by
// itself.
void measurePlayer(Keyboard& keyboard, Target& target, Figures& start) {
    {
        std::lock_guard<std::mutex> lock(rv::profilesLock);
        rv::MacroEvent down, up;
        down.kind = up.kind = 2;
        down.x = up.x = kPointX;
        down.y = up.y = kPointY;
        down.flags = rv::MOUSEEVENTF_LEFTDOWN;
        up.flags = rv::MOUSEEVENTF_LEFTUP;
        up.time = 0.001;
        rv::profiles = {rv::Profile{rv::kDefaultProfileName, "", {down, up}}};
        rv::currentProfile = 0;
    }
    rv::tloop = false;
    for (int i = 0; i < kPresses; ++i) {
        randomPause(20, 80);
        target.take();
        std::vector<Arrival> seen;
        const int64_t on = keyboard.tap(XK_F7);
        if (auto first = firstArrival(target, Action::click, on, seen)) {
            start.ms.push_back(millis(*first - on));
        } else {
            ++start.missed;
        }
        if (!waitFor([] { return !rv::playing.load(); }, 1000)) {
            rv::raiseRequest(rv::playToggleRequest);
            waitFor([] { return !rv::playing.load(); }, 1000);
        }
    }
}

// A request made some other way than a hotkey (a page call, a panel message) to the first click;
// the same request again ends the clicker.
template <typename Request>
void measureRequest(Target& target, Request request, Figures& start) {
    rv::sms = 1, rv::rptMode = 1;
    for (int i = 0; i < kRequests; ++i) {
        randomPause(20, 80);
        target.take();
        std::vector<Arrival> seen;
        const int64_t on = monotonicMicros();
        request();
        if (auto first = firstArrival(target, Action::click, on, seen)) {
            start.ms.push_back(millis(*first - on));
        } else {
            ++start.missed;
        }
        randomPause(5, 20);
        request();
        if (!waitFor([] { return !rv::autoClicking.load(); }, 1000)) {
            rv::raiseRequest(rv::clickerToggleRequest);
            waitFor([] { return !rv::autoClicking.load(); }, 1000);
        }
        plat::sleepMs(30);
    }
}

std::function<std::string(const std::string&)> binding(const char* name) {
    for (const rv::MainBinding& b : rv::mainBindings()) {
        if (std::string(b.name) == name) return b.call;
    }
    return nullptr;
}

}  // namespace

// hotkey_latency [--busy] [--normal]: a core kept busy by a second process; the program's threads
// left at normal scheduling.
int main(int argc, char** argv) {
    plat::initProcess();
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "hotkey_latency needs an X display (DISPLAY)\n");
        return 1;
    }
    plat::raiseTimerResolution();
    rv::counterFrequency = plat::tickFrequency();
    rv::profiles = {rv::Profile{rv::kDefaultProfileName, "", {}}};

    Target target;
    if (!target.open(
            {"hotkey_latency target", kLeft, kTop, kWidth, kHeight, ButtonPressMask | KeyPressMask, true},
            &arrival)) {
        std::fprintf(stderr, "hotkey_latency: cannot open the target window\n");
        return 1;
    }
    Keyboard keyboard;
    if (!keyboard.open()) return 1;
    plat::injectAbsoluteMove(kPointX, kPointY);  // over the target, which also has the focus

    const bench::RunConditions run(argc, argv);
    std::vector<std::thread> threads;
    for (void (*body)() : {&rv::autoClickerThread, &rv::keySpammerThread, &rv::captureThread,
                           &rv::macroPlayerThread, &rv::controlThread}) {
        threads.push_back(run.criticalThread(body));
    }
    threads.emplace_back(&rv::pipeServerThread);
    plat::sleepMs(500);  // the capture thread has grabbed the hotkeys, the pipe server listens

    Figures click, stop, key, play, page, panel;
    measureClicker(keyboard, target, click, stop);
    print("hotkey_latency", "action=click", click, run.conditions());
    measureKeySpammer(keyboard, target, key);
    print("hotkey_latency", "action=key", key, run.conditions());
    measurePlayer(keyboard, target, play);
    print("hotkey_latency", "action=play", play, run.conditions());
    print("hotkey_latency", "action=stop", stop, run.conditions());

    auto toggleSpammer = binding("toggleSpammer");
    measureRequest(
        target, [toggleSpammer] { toggleSpammer("[]"); }, page);
    print("request_latency", "source=page action=click", page, run.conditions());
    measureRequest(
        target, [] { rv::sendPanelMessage("toggleSpammer", ""); }, panel);
    print("request_latency", "source=panel action=click", panel, run.conditions());

    rv::appRunning = false;
    rv::wakeAll();
    plat::stopCaptureLoop();
    plat::stopPipeServer();
    for (std::thread& thread : threads) thread.join();
    keyboard.close();
    target.close();
    plat::restoreTimerResolution();
    return 0;
}
