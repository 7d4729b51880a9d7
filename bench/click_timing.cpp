// Measures how evenly the auto-clicker clicks: switches it on through its toggle request with
// intervals of 1, 10 and 100 ms, timestamps every click as a target window of its own receives it
// (CLOCK_MONOTONIC, microseconds), and prints one line per interval:
//   click_timing interval_ms=10 clicks=200 mean_period_ms=… p50_error_ms=… p99_error_ms=… max_error_ms=…
// where the error of a click is |observed period − interval|. The same for `xdotool click --delay`
// against the same target, and the idle CPU use of the real program with its page loaded.
// Runs on the current X display (Xvfb).
#include <X11/Xlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "engine/auto_clicker.h"
#include "engine/control.h"
#include "platform/platform.h"
#include "state/state.h"

namespace {

using bench::monotonicMicros;

// A window that covers the screen's middle and notes when each left button press reaches it.
using Target = bench::TimestampingWindow<int64_t>;

std::optional<int64_t> leftPress(const XEvent& event, int64_t micros) {
    if (event.type == ButtonPress && event.xbutton.button == 1) return micros;
    return std::nullopt;
}

void report(const char* tool, int intervalMs, const std::vector<int64_t>& presses) {
    std::vector<double> errors;
    double total = 0;
    for (size_t i = 1; i < presses.size(); ++i) {
        double period = static_cast<double>(presses[i] - presses[i - 1]) / 1000.0;
        total += period;
        errors.push_back(std::fabs(period - intervalMs));
    }
    if (errors.empty()) {
        std::printf("%s interval_ms=%d clicks=%zu (too few clicks reached the target)\n", tool, intervalMs,
                    presses.size());
        return;
    }
    std::sort(errors.begin(), errors.end());
    auto percentile = [&](double p) { return errors[std::min(errors.size() - 1, static_cast<size_t>(p * errors.size()))]; };
    std::printf("%s interval_ms=%d clicks=%zu mean_period_ms=%.2f p50_error_ms=%.2f p99_error_ms=%.2f "
                "max_error_ms=%.2f\n",
                tool, intervalMs, presses.size(), total / static_cast<double>(errors.size()), percentile(0.5),
                percentile(0.99), errors.back());
    std::fflush(stdout);
}

void measureClicker(Target& target, int intervalMs, int clicks) {
    rv::sms = intervalMs;
    rv::rptMode = 0;
    rv::rptTimes = clicks;
    target.take();
    rv::clickerToggleRequest = true;
    int64_t deadline = monotonicMicros() + static_cast<int64_t>(clicks) * (intervalMs + 5) * 1000 + 5000000;
    while ((rv::clickerToggleRequest || rv::autoClicking) && monotonicMicros() < deadline) plat::sleepMs(5);
    plat::sleepMs(200);  // the last presses reach the target
    report("click_timing", intervalMs, target.take());
}

void measureXdotool(Target& target, int intervalMs, int clicks) {
    target.take();
    std::string command = "xdotool click --repeat " + std::to_string(clicks) + " --delay " +
                          std::to_string(intervalMs) + " 1";
    if (std::system(command.c_str()) != 0) {
        std::printf("xdotool interval_ms=%d (xdotool failed)\n", intervalMs);
        return;
    }
    plat::sleepMs(200);
    report("xdotool", intervalMs, target.take());
}

// Ticks of CPU time (user + system) of a process and all its descendants.
long long treeCpuTicks(pid_t root) {
    std::vector<std::pair<pid_t, pid_t>> parents;  // pid, parent
    std::vector<std::pair<pid_t, long long>> cpu;
    DIR* proc = opendir("/proc");
    if (!proc) return 0;
    while (dirent* entry = readdir(proc)) {
        pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
        if (pid <= 0) continue;
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        size_t close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 2));
        std::string field;
        std::vector<std::string> fields;
        while (rest >> field) fields.push_back(field);
        if (fields.size() < 13) continue;
        parents.emplace_back(pid, static_cast<pid_t>(std::atoi(fields[1].c_str())));
        cpu.emplace_back(pid, std::atoll(fields[11].c_str()) + std::atoll(fields[12].c_str()));
    }
    closedir(proc);
    std::vector<pid_t> tree{root};
    for (bool grew = true; grew;) {
        grew = false;
        for (auto [pid, parent] : parents) {
            if (std::find(tree.begin(), tree.end(), parent) != tree.end() &&
                std::find(tree.begin(), tree.end(), pid) == tree.end()) {
                tree.push_back(pid);
                grew = true;
            }
        }
    }
    long long total = 0;
    for (auto [pid, ticks] : cpu) {
        if (std::find(tree.begin(), tree.end(), pid) != tree.end()) total += ticks;
    }
    return total;
}

void measureIdleCpu(const std::string& program) {
    pid_t child = fork();
    if (child == 0) {
        // The program's data and the user's folders go to a folder of its own.
        char folder[] = "/tmp/ravelin-bench-XXXXXX";
        if (mkdtemp(folder)) {
            setenv("LOCALAPPDATA", folder, 1);
            setenv("HOME", folder, 1);
            setenv("XDG_DATA_HOME", folder, 1);
            setenv("XDG_CONFIG_HOME", folder, 1);
        }
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    sleep(8);  // the window opens and the page loads and starts polling
    long long before = treeCpuTicks(child);
    int64_t start = monotonicMicros();
    sleep(10);
    long long after = treeCpuTicks(child);
    double seconds = static_cast<double>(monotonicMicros() - start) / 1e6;
    double percent = 100.0 * static_cast<double>(after - before) / static_cast<double>(sysconf(_SC_CLK_TCK)) / seconds;
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    std::printf("idle_cpu percent=%.2f\n", percent);
}

}  // namespace

int main(int argc, char** argv) {
    plat::initProcess();
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "click_timing needs an X display (DISPLAY)\n");
        return 1;
    }
    plat::raiseTimerResolution();
    rv::counterFrequency = plat::tickFrequency();

    Target target;
    if (!target.open({"click_timing target", 100, 100, 600, 400, ButtonPressMask, false}, &leftPress)) {
        std::fprintf(stderr, "click_timing: cannot open the target window\n");
        return 1;
    }
    plat::injectAbsoluteMove(400, 300);  // over the target
    std::thread clicker(rv::autoClickerThread);
    std::thread control(rv::controlThread);

    measureClicker(target, 1, 1000);
    measureClicker(target, 10, 200);
    measureClicker(target, 100, 50);
    measureXdotool(target, 10, 200);

    rv::appRunning = false;
    clicker.join();
    control.join();
    target.close();

    // The real program beside this one's folder: build/<preset>/ravelin.
    std::string self = plat::exePath();
    std::string program = self.substr(0, self.rfind('/')) + "/../ravelin";
    if (argc > 1) program = argv[1];
    if (access(program.c_str(), X_OK) == 0) {
        measureIdleCpu(program);
    } else {
        std::printf("idle_cpu (program not found: %s)\n", program.c_str());
    }
    return 0;
}
