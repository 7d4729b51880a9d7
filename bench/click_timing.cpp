// Measures how evenly the auto-clicker clicks: switches it on through its toggle request with
// intervals of 1, 10 and 100 ms, timestamps every click as a target window of its own receives it
// (CLOCK_MONOTONIC, microseconds), and prints one line per interval:
//   click_timing interval_ms=10 clicks=500 mean_period_ms=… p50_error_ms=… p99_error_ms=… max_error_ms=…
// where the error of a click is |observed period − interval|; `click_timing_sent` gives the same from
// the clicker's own stamps. The same for `xdotool click --delay` against the same target, and the CPU use of
// the real program with its page loaded and of all the processes it started (the page's browser processes),
// idle and with a clicker running:
//   idle_cpu percent=…            idle_cpu_clicking percent=… clicks=…
// Runs on the current X display (Xvfb).
#include <X11/Xlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "bench/period_report.h"
#include "bench/tree_cpu.h"
#include "engine/auto_clicker.h"
#include "engine/control.h"
#include "platform/platform.h"
#include "state/state.h"
#include "state/wakes.h"

namespace {

using bench::monotonicMicros;

// A window that covers the screen's middle and notes when each left button press reaches it.
using Target = bench::TimestampingWindow<int64_t>;

std::optional<int64_t> leftPress(const XEvent& event, int64_t micros) {
    if (event.type == ButtonPress && event.xbutton.button == 1) return micros;
    return std::nullopt;
}

void measureClicker(Target& target, int intervalMs, int clicks) {
    const uint64_t firstStamp = rv::clickMeter.noted.load();
    rv::sms = intervalMs;
    rv::rptMode = 0;
    rv::rptTimes = clicks;
    target.take();
    rv::raiseRequest(rv::clickerToggleRequest);
    int64_t deadline = monotonicMicros() + static_cast<int64_t>(clicks) * (intervalMs + 5) * 1000 + 5000000;
    while ((rv::clickerToggleRequest || rv::autoClicking) && monotonicMicros() < deadline) plat::sleepMs(5);
    plat::sleepMs(200);  // the last presses reach the target
    bench::reportPeriods("click_timing", intervalMs, target.take());
    bench::reportClickerStamps(intervalMs, firstStamp, rv::clickMeter.noted.load());
}

void measureXdotool(Target& target, int intervalMs, int clicks) {
    target.take();
    std::string command =
        "xdotool click --repeat " + std::to_string(clicks) + " --delay " + std::to_string(intervalMs) + " 1";
    if (std::system(command.c_str()) != 0) {
        std::printf("xdotool interval_ms=%d (xdotool failed)\n", intervalMs);
        return;
    }
    plat::sleepMs(200);
    bench::reportPeriods("xdotool", intervalMs, target.take());
}

// The real program with its page (and the page's browser processes): idle, then with the page
// showing a clicker that F6 switched on, clicking with its defaults (every 100 ms at the pointer)
// into a window of this program's own.
void measureIdleCpu(const std::string& program) {
    char folder[] = "/tmp/ravelin-bench-XXXXXX";
    if (!mkdtemp(folder)) return;
    // The program's data and the user's folders go to a folder of its own.
    pid_t child = bench::startInFolder(folder, {program});
    // The browser's own background work comes and goes, so idle is measured over a minute.
    bench::waitForQuiet(child);
    std::printf("idle_cpu percent=%.2f\n", bench::treeCpuPercent(child, 60));
    std::fflush(stdout);

    Target clicked;
    if (clicked.open({"click_timing clicked", 1500, 700, 300, 300, ButtonPressMask, false}, &leftPress)) {
        plat::injectAbsoluteMove(1650, 850);
        plat::sleepMs(100);
        int status = std::system("xdotool key F6");
        sleep(2);  // the page has seen the clicker running
        clicked.take();
        double percent = bench::treeCpuPercent(child, 30);
        size_t clicks = clicked.take().size();
        status |= std::system("xdotool key F6");
        std::printf("idle_cpu_clicking percent=%.2f clicks=%zu%s\n", percent, clicks,
                    status == 0 && clicks > 0 ? "" : " (the clicker did not run)");
        clicked.close();
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    std::filesystem::remove_all(folder);
}

}  // namespace

// click_timing [--cpu-only] [program]: --cpu-only skips the click timing figures.
int main(int argc, char** argv) {
    plat::initProcess();
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "click_timing needs an X display (DISPLAY)\n");
        return 1;
    }
    plat::raiseTimerResolution();
    rv::counterFrequency = plat::tickFrequency();
    int argument = 1;
    const bool cpuOnly = argc > argument && std::string(argv[argument]) == "--cpu-only";
    if (cpuOnly) ++argument;

    if (!cpuOnly) {
        Target target;
        if (!target.open({"click_timing target", 100, 100, 600, 400, ButtonPressMask, false}, &leftPress)) {
            std::fprintf(stderr, "click_timing: cannot open the target window\n");
            return 1;
        }
        plat::injectAbsoluteMove(400, 300);  // over the target
        std::thread clicker(rv::autoClickerThread);
        std::thread control(rv::controlThread);

        measureClicker(target, 1, 1000);
        measureClicker(target, 10, 500);
        measureClicker(target, 100, 50);
        measureXdotool(target, 10, 500);

        rv::appRunning = false;
        rv::wakeAll();
        clicker.join();
        control.join();
        target.close();
    }

    // The real program beside this one's folder: build/<preset>/ravelin.
    std::string self = plat::exePath();
    std::string program = self.substr(0, self.rfind('/')) + "/../ravelin";
    if (argc > argument) program = argv[argument];
    if (access(program.c_str(), X_OK) == 0) {
        measureIdleCpu(program);
    } else {
        std::printf("idle_cpu (program not found: %s)\n", program.c_str());
    }
    return 0;
}
