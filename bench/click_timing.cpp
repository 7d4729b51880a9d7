// Measures how evenly the auto-clicker clicks: switches it on through its toggle request with
// intervals of 1, 10 and 100 ms, timestamps every click as a target window of its own receives it
// (CLOCK_MONOTONIC, microseconds), and prints one line per interval:
//   click_timing interval_ms=10 clicks=500 mean_period_ms=… p50_error_ms=… p99_error_ms=… max_error_ms=…
// where the error of a click is |observed period − interval|; `click_timing_sent` gives the same from
// the clicker's own stamps. Then the press length each press is held (automatic: a third of the interval, at
// most 20 ms) with the period it leaves, and a random interval of 10 to 30 ms over 1,000 clicks:
//   click_press interval_ms=30 clicks=… mean_period_ms=… p50_press_ms=… min_press_ms=… max_press_ms=…
//   click_random range_ms=10-30 clicks=… below=… above=… bins=…,…(ten) worst_bin_off_mean_pct=…
// (below and above count periods more than 0.5 ms outside the range). The same for `xdotool click --delay`
// against the same target, and the CPU use of the real program with its page loaded and of all the processes
// it started (the page's browser processes), idle and with a clicker running while its window is shown,
// minimized, and covered by another window over the whole screen:
//   idle_cpu percent=…                                     (and window=minimized, over 60 s each)
//   idle_cpu_clicking window=shown percent=… clicks=…      (window=minimized, window=covered)
// Runs on the current X display (Xvfb), under a window manager: where none runs, it starts openbox for
// the program's part (as a desktop has one) when openbox is installed.
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

#include "app/app.h"
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

// What the run is measured under (--busy, --normal); set by main.
const bench::RunConditions* run = nullptr;

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
    bench::reportPeriods("click_timing", intervalMs, target.take(), run->conditions());
    bench::reportClickerStamps(intervalMs, firstStamp, rv::clickMeter.noted.load());
}

// Presses noted with their time, releases with the time negated.
std::optional<int64_t> leftPressOrRelease(const XEvent& event, int64_t micros) {
    if (event.type == ButtonPress && event.xbutton.button == 1) return micros;
    if (event.type == ButtonRelease && event.xbutton.button == 1) return -micros;
    return std::nullopt;
}

// Runs the clicker for `clicks` clicks with the settings as they are; what the target noted.
std::vector<int64_t> runClicker(Target& target, int clicks, int longestMs) {
    rv::rptMode = 0;
    rv::rptTimes = clicks;
    target.take();
    rv::raiseRequest(rv::clickerToggleRequest);
    int64_t deadline = monotonicMicros() + static_cast<int64_t>(clicks) * (longestMs + 5) * 1000 + 5000000;
    while ((rv::clickerToggleRequest || rv::autoClicking) && monotonicMicros() < deadline) plat::sleepMs(5);
    plat::sleepMs(200);
    return target.take();
}

void measurePress(Target& target, int intervalMs, int clicks) {
    rv::sms = intervalMs;
    std::vector<int64_t> notes = runClicker(target, clicks, intervalMs);
    std::vector<double> presses;
    int64_t first = 0, last = 0, pressed = 0;
    size_t count = 0;
    for (int64_t note : notes) {
        if (note > 0) {
            if (count++ == 0) first = note;
            last = pressed = note;
        } else if (pressed != 0) {
            presses.push_back(static_cast<double>(-note - pressed) / 1000.0);
            pressed = 0;
        }
    }
    if (presses.empty() || count < 2) {
        std::printf("click_press interval_ms=%d (too few clicks reached the target)\n", intervalMs);
        return;
    }
    std::sort(presses.begin(), presses.end());
    std::printf(
        "click_press interval_ms=%d clicks=%zu mean_period_ms=%.2f p50_press_ms=%.2f min_press_ms=%.2f "
        "max_press_ms=%.2f\n",
        intervalMs, count, static_cast<double>(last - first) / 1000.0 / static_cast<double>(count - 1),
        bench::percentile(presses, 0.5), presses.front(), presses.back());
    std::fflush(stdout);
}

void measureRandomInterval(Target& target, int fromMs, int toMs, int clicks) {
    rv::sms = fromMs;
    rv::clickIntervalMaxMs = toMs;
    std::vector<int64_t> presses;
    for (int64_t note : runClicker(target, clicks, toMs)) {
        if (note > 0) presses.push_back(note);
    }
    rv::clickIntervalMaxMs = 0;
    constexpr int kBins = 10;
    int bins[kBins] = {};
    int below = 0, above = 0;
    for (size_t i = 1; i < presses.size(); ++i) {
        const double period = static_cast<double>(presses[i] - presses[i - 1]) / 1000.0;
        below += period < fromMs - 0.5;
        above += period > toMs + 0.5;
        const double at = (period - fromMs) / (toMs - fromMs) * kBins;
        ++bins[std::clamp(static_cast<int>(at), 0, kBins - 1)];
    }
    const double mean = static_cast<double>(presses.size() - 1) / kBins;
    double worst = 0;
    std::string counts;
    for (int bin : bins) {
        counts += (counts.empty() ? "" : ",") + std::to_string(bin);
        worst = std::max(worst, std::fabs(bin - mean) / mean * 100.0);
    }
    std::printf(
        "click_random range_ms=%d-%d clicks=%zu below=%d above=%d bins=%s worst_bin_off_mean_pct=%.1f\n",
        fromMs, toMs, presses.size(), below, above, counts.c_str(), worst);
    std::fflush(stdout);
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

// The program's window as the user may leave it while the clicker runs.
enum class Seen { Shown, Minimized, Covered };

// The CPU use of the program's tree over 30 s with a clicker running and the window `seen`, the
// clicks counted where they landed (the target, or the window that covers everything).
void measureClickingCpu(pid_t child, Target& clicked, Seen seen) {
    const plat::WindowHandle window = plat::findWindow(rv::kMainWindowTitle);
    const char* name = seen == Seen::Shown ? "shown" : seen == Seen::Minimized ? "minimized" : "covered";
    Target cover;
    if (seen == Seen::Minimized) plat::showWindow(window, plat::Show::Minimize);
    if (seen == Seen::Covered &&
        !cover.open({"click_timing cover", 0, 0, 1920, 1080, ButtonPressMask, false}, &leftPress)) {
        std::printf("idle_cpu_clicking window=%s (no cover window)\n", name);
        return;
    }
    sleep(2);  // the program and its page have seen the change
    clicked.take();
    cover.take();
    const double percent = bench::treeCpuPercent(child, 30);
    const size_t clicks = clicked.take().size() + cover.take().size();
    const bool minimized = plat::isMinimized(window);
    if (seen == Seen::Minimized) plat::showWindow(window, plat::Show::Restore);
    if (seen == Seen::Covered) cover.close();
    std::printf("idle_cpu_clicking window=%s percent=%.2f clicks=%zu%s%s%s\n", name, percent, clicks,
                clicks > 0 ? "" : " (the clicker did not run)",
                seen == Seen::Minimized && !minimized ? " (the window did not minimize)" : "",
                run->conditions().c_str());
    std::fflush(stdout);
    sleep(2);  // shown again
}

// A window manager for the program's window, where none runs: openbox, stopped by the destructor.
class WindowManager {
  public:
    WindowManager() {
        if (std::system("command -v openbox >/dev/null 2>&1") != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            // Quiet: its notes, and the line with which it leaves where another manager runs.
            (void)!freopen("/dev/null", "w", stdout);
            (void)!freopen("/dev/null", "w", stderr);
            execlp("openbox", "openbox", static_cast<char*>(nullptr));
            _exit(127);
        }
        sleep(1);
    }
    ~WindowManager() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    WindowManager(const WindowManager&) = delete;
    WindowManager& operator=(const WindowManager&) = delete;

  private:
    pid_t pid_ = -1;
};

// The real program with its page (and the page's browser processes): idle, then with a clicker that
// F6 switched on, clicking with its defaults (every 100 ms at the pointer) into a window of this
// program's own, with the program's window shown, minimized and covered.
void measureIdleCpu(const std::string& program) {
    char folder[] = "/tmp/ravelin-bench-XXXXXX";
    if (!mkdtemp(folder)) return;
    const WindowManager manager;
    // The program's data and the user's folders go to a folder of its own.
    pid_t child = bench::startInFolder(folder, {program});
    // The browser's own background work comes and goes, so idle is measured over a minute.
    bench::waitForQuiet(child);
    std::printf("idle_cpu percent=%.2f%s\n", bench::treeCpuPercent(child, 60), run->conditions().c_str());
    const auto [pss, processes] = bench::treePssKiB(child);
    std::printf("idle_memory pss_mib=%.1f processes=%zu\n", static_cast<double>(pss) / 1024.0, processes);
    std::fflush(stdout);
    if (const plat::WindowHandle window = plat::findWindow(rv::kMainWindowTitle)) {
        plat::showWindow(window, plat::Show::Minimize);
        sleep(2);
        std::printf("idle_cpu window=minimized percent=%.2f%s\n", bench::treeCpuPercent(child, 60),
                    run->conditions().c_str());
        std::fflush(stdout);
        plat::showWindow(window, plat::Show::Restore);
        sleep(2);
    }

    Target clicked;
    if (clicked.open({"click_timing clicked", 1500, 700, 300, 300, ButtonPressMask, false}, &leftPress)) {
        plat::injectAbsoluteMove(1650, 850);
        plat::sleepMs(100);
        if (std::system("xdotool key F6") == 0) {
            for (Seen seen : {Seen::Shown, Seen::Minimized, Seen::Covered})
                measureClickingCpu(child, clicked, seen);
            (void)!std::system("xdotool key F6");
        } else {
            std::printf("idle_cpu_clicking (xdotool failed)\n");
        }
        clicked.close();
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    std::filesystem::remove_all(folder);
}

}  // namespace

// click_timing [--cpu-only] [--busy] [--normal] [program]: --cpu-only skips the click timing figures;
// --busy keeps a core busy by a second process; --normal leaves the threads at normal scheduling.
int main(int argc, char** argv) {
    plat::initProcess();
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "click_timing needs an X display (DISPLAY)\n");
        return 1;
    }
    plat::raiseTimerResolution();
    rv::counterFrequency = plat::tickFrequency();
    bool cpuOnly = false;
    std::string named;  // a program named on the command line
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        cpuOnly = cpuOnly || argument == "--cpu-only";
        if (argument.rfind("--", 0) != 0) named = argument;
    }
    const bench::RunConditions conditions(argc, argv);
    run = &conditions;

    if (!cpuOnly) {
        Target target;
        if (!target.open({"click_timing target", 100, 100, 600, 400, ButtonPressMask, false}, &leftPress)) {
            std::fprintf(stderr, "click_timing: cannot open the target window\n");
            return 1;
        }
        plat::injectAbsoluteMove(400, 300);  // over the target
        std::thread clicker = conditions.criticalThread(rv::autoClickerThread);
        std::thread control = conditions.criticalThread(rv::controlThread);

        measureClicker(target, 1, 1000);
        measureClicker(target, 10, 500);
        measureClicker(target, 100, 50);
        measureXdotool(target, 10, 500);
        target.close();

        Target pressTarget;
        if (pressTarget.open(
                {"click_timing press target", 100, 100, 600, 400, ButtonPressMask | ButtonReleaseMask, false},
                &leftPressOrRelease)) {
            measurePress(pressTarget, 30, 200);
            measurePress(pressTarget, 100, 50);
            rv::clickPressMs = 0;
            measurePress(pressTarget, 30, 200);
            rv::clickPressMs = rv::kAutomaticPress;
            measureRandomInterval(pressTarget, 10, 30, 1001);
            pressTarget.close();
        }

        rv::appRunning = false;
        rv::wakeAll();
        clicker.join();
        control.join();
    }

    // The real program beside this one's folder: build/<preset>/ravelin.
    std::string self = plat::exePath();
    std::string program = self.substr(0, self.rfind('/')) + "/../ravelin";
    if (!named.empty()) program = named;
    if (access(program.c_str(), X_OK) == 0) {
        measureIdleCpu(program);
    } else {
        std::printf("idle_cpu (program not found: %s)\n", program.c_str());
    }
    return 0;
}
