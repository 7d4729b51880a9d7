// The Windows build's click timing: the auto-clicker and the control thread on their real threads
// click a window of this program's own through SendInput, with intervals of 1, 10 and 100 ms, and
// each click is stamped as the window procedure receives it. Prints the same lines as the Linux
// bench (click_timing and click_timing_sent per interval). Run under Windows, or under Wine on a
// display: tests/support/with_xvfb.sh wine build/windows/bench/click_timing.exe
#include <cstdio>
#include <thread>
#include <vector>

#include "bench/period_report.h"
#include "engine/auto_clicker.h"
#include "engine/control.h"
#include "platform/platform.h"
#include "state/state.h"
#include "state/wakes.h"
// After the portable headers: <windows.h> defines macros named like their constants.
#include "win32/wine_window.h"

namespace {

std::vector<int64_t> pressMicros(const std::vector<target::Received>& received) {
    std::vector<int64_t> micros;
    for (const target::Received& r : received) {
        if (r.message != WM_LBUTTONDOWN) continue;
        micros.push_back(static_cast<int64_t>(static_cast<double>(r.ticks) * 1e6 /
                                              static_cast<double>(rv::counterFrequency)));
    }
    return micros;
}

void measure(target::Window& window, int intervalMs, int clicks) {
    const uint64_t firstStamp = rv::clickMeter.noted.load();
    rv::sms = intervalMs;
    rv::rptMode = 0;
    rv::rptTimes = clicks;
    window.clear();
    rv::raiseRequest(rv::clickerToggleRequest);
    const int64_t deadline = plat::ticks() + rv::counterFrequency * (clicks * (intervalMs + 5) / 1000 + 5);
    while ((rv::clickerToggleRequest || rv::autoClicking) && plat::ticks() < deadline) Sleep(5);
    Sleep(200);  // the last presses reach the window
    bench::reportPeriods("click_timing", intervalMs, pressMicros(window.received()));
    bench::reportClickerStamps(intervalMs, firstStamp, rv::clickMeter.noted.load());
}

}  // namespace

int main() {
    plat::initProcess();
    plat::raiseTimerResolution();
    rv::counterFrequency = plat::tickFrequency();
    target::Window window(100, 100, 600, 400);
    if (!window.handle() || !window.takeInput()) {
        std::fprintf(stderr, "click_timing: the target window has neither the pointer nor the foreground\n");
        return 1;
    }
    std::thread clicker(rv::autoClickerThread);
    std::thread control(rv::controlThread);
    measure(window, 1, 1000);
    measure(window, 10, 500);
    measure(window, 100, 50);
    rv::appRunning = false;
    rv::wakeAll();
    clicker.join();
    control.join();
    plat::restoreTimerResolution();
    return 0;
}
