// Measures how faithfully a recording plays back: records a scripted run of pointer moves, left
// clicks and keys that xdotool sends at known times into a target window of its own (through the
// real capture thread, control thread and macro player), replays it at speed 1 and 2 while the
// target notes when each event reaches it (CLOCK_MONOTONIC, microseconds), and prints per speed:
//   replay_fidelity speed=1 events=500 p50_error_ms=… p99_error_ms=… max_error_ms=… lost=0
// where an event's error is |its observed offset from the first event − its recorded offset / speed|
// and `lost` counts recorded events that never arrived. Runs on the current X display (Xvfb).
#include <X11/Xlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "bench/percentile.h"
#include "capture/capture.h"
#include "engine/control.h"
#include "engine/macro_player.h"
#include "platform/input_math.h"
#include "platform/platform.h"
#include "platform/x11/keys.h"
#include "state/state.h"
#include "state/wakes.h"

namespace {

constexpr int kLeft = 100, kTop = 100, kWidth = 800, kHeight = 600;
constexpr int kStartX = kLeft + kWidth / 2, kStartY = kTop + kHeight / 2;

using bench::monotonicMicros;

// What reached the target: kind as in MacroEvent (0 move, 2 button, 3 key), with the point of a move,
// the button of a button (press or release in `down`) or the keycode of a key.
struct Arrival {
    int64_t us;
    int32_t kind;
    int32_t x, y;
    unsigned detail;
    bool down;
};

std::optional<Arrival> arrival(const XEvent& event, int64_t now) {
    switch (event.type) {
        case MotionNotify:
            return Arrival{now, 0, event.xmotion.x_root, event.xmotion.y_root, 0, false};
        case ButtonPress:
        case ButtonRelease:
            return Arrival{now, 2, 0, 0, event.xbutton.button, event.type == ButtonPress};
        case KeyPress:
        case KeyRelease:
            return Arrival{now, 3, 0, 0, event.xkey.keycode, event.type == KeyPress};
        default:
            return std::nullopt;
    }
}

// A window with the keyboard focus that notes every event reaching it.
using Target = bench::TimestampingWindow<Arrival>;

bool waitFor(bool (*done)(), int timeoutMs) {
    const int64_t end = monotonicMicros() + static_cast<int64_t>(timeoutMs) * 1000;
    while (!done()) {
        if (monotonicMicros() > end) return false;
        plat::sleepMs(2);
    }
    return true;
}

// The capture thread is up once a real move of xdotool's shows in lastPointerPoint.
bool waitForCapture() {
    for (int attempt = 0; attempt < 200; ++attempt) {
        const uint64_t before = rv::lastPointerPoint.load();
        if (std::system(attempt % 2 ? "xdotool mousemove_relative -- -1 0"
                                    : "xdotool mousemove_relative 1 0") != 0)
            return false;
        plat::sleepMs(20);
        if (rv::lastPointerPoint.load() != before) return true;
    }
    return false;
}

// One xdotool run: `moves` relative moves round a small square, `clicks` left clicks and `keys`
// letter keys, in a shuffled order, 10 to 40 ms apart.
std::string script(int moves, int clicks, int keys) {
    std::vector<int> order;
    order.insert(order.end(), static_cast<size_t>(moves), 0);
    order.insert(order.end(), static_cast<size_t>(clicks), 2);
    order.insert(order.end(), static_cast<size_t>(keys), 3);
    std::mt19937 random(20240611);
    std::shuffle(order.begin(), order.end(), random);
    static const char* const kSteps[] = {"9 0", "0 9", "-- -9 0", "0 -9"};
    static const char* const kLetters = "abcdeghijklmnopqrsuwyz";  // none is a hotkey
    std::string command = "xdotool";
    int step = 0, letter = 0;
    for (int kind : order) {
        if (kind == 0) command += std::string(" mousemove_relative ") + kSteps[step++ % 4];
        if (kind == 2) command += " click 1";
        if (kind == 3) command += std::string(" key ") + kLetters[letter++ % 22];
        command += " sleep 0.0" + std::to_string(1 + static_cast<int>(random() % 4));
    }
    return command;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return bench::percentile(values, p);
}

// Matches each recorded event, in order, with the first later arrival of the same kind and detail.
void report(double speed, const std::vector<rv::MacroEvent>& recorded, const std::vector<Arrival>& arrivals,
            const std::string& conditions) {
    Display* display = plat::x11::threadDisplay();
    std::vector<double> errors;
    size_t next = 0;
    int lost = 0;
    bool anchored = false;
    double recordedFirst = 0;
    int64_t observedFirst = 0;
    for (const rv::MacroEvent& event : recorded) {
        size_t found = next;
        for (; found < arrivals.size(); ++found) {
            const Arrival& a = arrivals[found];
            if (a.kind != event.kind) continue;
            if (event.kind == 0 && a.x == event.x && a.y == event.y) break;
            if (event.kind == 2 && a.detail == 1 && a.down == (event.flags == rv::MOUSEEVENTF_LEFTDOWN))
                break;
            if (event.kind == 3 && a.detail == plat::x11::keycodeFromVk(display, event.vk) &&
                a.down == event.down)
                break;
        }
        if (found == arrivals.size()) {
            ++lost;
            continue;
        }
        next = found + 1;
        if (!anchored) {
            anchored = true;
            recordedFirst = event.time;
            observedFirst = arrivals[found].us;
        }
        const double observedMs = static_cast<double>(arrivals[found].us - observedFirst) / 1000.0;
        const double expectedMs = (event.time - recordedFirst) * 1000.0 / speed;
        errors.push_back(std::fabs(observedMs - expectedMs));
    }
    std::printf(
        "replay_fidelity speed=%g events=%zu p50_error_ms=%.2f p99_error_ms=%.2f max_error_ms=%.2f "
        "lost=%d%s\n",
        speed, recorded.size(), percentile(errors, 0.5), percentile(errors, 0.99),
        errors.empty() ? 0.0 : *std::max_element(errors.begin(), errors.end()), lost, conditions.c_str());
    std::fflush(stdout);
}

bool isPlaying() {
    return rv::playing.load();
}
bool isRecording() {
    return rv::recording.load();
}
bool isIdle() {
    return !rv::recording.load() && !rv::playToggleRequest.load() && !rv::recordToggleRequest.load();
}

}  // namespace

// replay_fidelity [--busy] [--normal]: a core kept busy by a second process; the program's threads
// left at normal scheduling.
int main(int argc, char** argv) {
    Target target;
    const long events =
        KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask;
    if (!target.open({"replay_fidelity target", kLeft, kTop, kWidth, kHeight, events, true}, &arrival)) {
        std::fprintf(stderr, "replay_fidelity: no X display\n");
        return 1;
    }
    rv::counterFrequency = plat::tickFrequency();
    {
        std::lock_guard<std::mutex> lock(rv::profilesLock);
        rv::profiles = {rv::Profile{"replay_fidelity", "", {}}};
        rv::currentProfile = 0;
    }
    const bench::RunConditions conditions(argc, argv);
    std::thread capture = conditions.criticalThread(rv::captureThread);
    std::thread control = conditions.criticalThread(rv::controlThread);
    std::thread player = conditions.criticalThread(rv::macroPlayerThread);

    int status = 0;
    if (std::system(
            ("xdotool mousemove " + std::to_string(kStartX) + " " + std::to_string(kStartY)).c_str()) != 0 ||
        !waitForCapture()) {
        std::fprintf(stderr, "replay_fidelity: xdotool or the capture thread did not answer\n");
        status = 1;
    } else {
        // 200 moves, 75 clicks and 75 keys: 500 recorded events (a click and a key are two each).
        rv::raiseRequest(rv::recordToggleRequest);
        waitFor(&isRecording, 2000);
        const int run = std::system(script(200, 75, 75).c_str());
        plat::sleepMs(100);
        rv::raiseRequest(rv::recordToggleRequest);
        waitFor(&isIdle, 2000);
        std::vector<rv::MacroEvent> recorded;
        {
            std::lock_guard<std::mutex> lock(rv::profilesLock);
            recorded = rv::profiles[0].events;
        }
        if (run != 0 || recorded.empty()) {
            std::fprintf(stderr, "replay_fidelity: nothing was recorded\n");
            status = 1;
        }
        for (double speed : {1.0, 2.0}) {
            if (status != 0) break;
            if (std::system(("xdotool mousemove " + std::to_string(kStartX) + " " + std::to_string(kStartY))
                                .c_str()) != 0)
                std::fprintf(stderr, "replay_fidelity: xdotool failed\n");
            plat::sleepMs(200);
            target.take();
            rv::tspd = static_cast<float>(speed);
            rv::raiseRequest(rv::playToggleRequest);
            waitFor(&isPlaying, 2000);
            const int seconds = static_cast<int>(recorded.back().time / speed) + 10;
            waitFor([] { return !rv::playing.load(); }, seconds * 1000);
            plat::sleepMs(300);  // the last events reach the target
            report(speed, recorded, target.take(), conditions.conditions());
        }
    }

    rv::appRunning = false;
    rv::wakeAll();
    plat::stopCaptureLoop();
    capture.join();
    control.join();
    player.join();
    target.close();
    return status;
}
