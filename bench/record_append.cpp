// How long the capture handler takes per recorded event over a long recording: 5,000,000 pointer
// moves fed to the mouse handler as the capture thread's hook would, while another thread does what
// the program does meanwhile (a session save's copy of the profiles every second under
// profilesLock, the page's status read every 250 ms). A hook that takes 300 ms is dropped by
// Windows; every call should stay far below 1 ms. Also the time stopRecording takes to move the
// recording into the profile (the control thread's, not a hook's).
//
//   record_append events=5000000 p50_us=… p99_us=… p9999_us=… max_us=… over_1ms=… cpu_max_us=…
//                 cpu_over_1ms=… stop_ms=…
//
// The first figures are wall-clock time, which on a loaded machine includes the time the thread
// waited for a processor; the cpu_ ones (Linux) count only the thread's own running time, what
// the handler itself costs.
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "bench/percentile.h"
#include "capture/capture.h"
#include "capture/recording.h"
#include "platform/input_codes.h"
#include "platform/platform.h"
#include "state/state.h"

namespace {

double us(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

// The calling thread's processor time in microseconds (Linux); 0 on Windows, where it is not
// measured finely enough.
double threadCpuUs() {
#ifndef _WIN32
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
#else
    return 0;
#endif
}

}  // namespace

int main() {
    constexpr size_t kEvents = 5'000'000;
    rv::counterFrequency = plat::tickFrequency();
    {
        std::lock_guard<std::mutex> lock(rv::profilesLock);
        rv::profiles = {rv::Profile{"Bench", "", {}}};
        rv::currentProfile = 0;
    }
    rv::tmv = true, rv::trel = false;
    rv::startRecording();

    std::atomic<bool> done{false};
    std::thread others([&] {
        std::vector<rv::MacroEvent> copy;
        for (int tick = 0; !done.load(); ++tick) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            std::lock_guard<std::mutex> lock(rv::profilesLock);
            if (tick % 4 == 3) copy = rv::profiles[0].events;  // the autosave's copy
        }
    });

    std::vector<float> times;
    times.reserve(kEvents);
    size_t over = 0, cpuOver = 0;
    double cpuMax = 0;
    for (size_t i = 0; i < kEvents; ++i) {
        const int32_t x = static_cast<int32_t>(i % 1920) + 1, y = static_cast<int32_t>((i / 1920) % 1080);
        const double cpuStart = threadCpuUs();
        const auto start = std::chrono::steady_clock::now();
        rv::onMouseEvent(plat::MouseEvent{rv::WM_MOUSEMOVE, x, y, 0, false});
        const double took = us(std::chrono::steady_clock::now() - start);
        const double cpu = threadCpuUs() - cpuStart;
        times.push_back(static_cast<float>(took));
        over += took >= 1000.0;
        cpuOver += cpu >= 1000.0;
        cpuMax = std::max(cpuMax, cpu);
    }
    done = true;
    others.join();

    const auto stopStart = std::chrono::steady_clock::now();
    rv::stopRecording();
    const double stopMs = us(std::chrono::steady_clock::now() - stopStart) / 1000.0;
    size_t recorded = 0;
    {
        std::lock_guard<std::mutex> lock(rv::profilesLock);
        recorded = rv::profiles[0].events.size();
    }
    if (recorded != kEvents) {
        std::fprintf(stderr, "record_append: %zu of %zu events recorded\n", recorded, kEvents);
        return 1;
    }
    std::sort(times.begin(), times.end());
    char cpu[96] = "cpu_max_us=n/a cpu_over_1ms=n/a";
#ifndef _WIN32
    std::snprintf(cpu, sizeof cpu, "cpu_max_us=%.1f cpu_over_1ms=%zu", cpuMax, cpuOver);
#endif
    std::printf(
        "record_append events=%zu p50_us=%.2f p99_us=%.2f p9999_us=%.1f max_us=%.1f over_1ms=%zu %s "
        "stop_ms=%.1f\n",
        kEvents, bench::percentile(times, 0.5), bench::percentile(times, 0.99),
        bench::percentile(times, 0.9999), times.back(), over, cpu, stopMs);
    return 0;
}
