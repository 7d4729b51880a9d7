// Session file speed: for recordings of 10,000, 100,000 and 1,000,000 events, the time of a whole
// save and of a load, the longest time a save held profilesLock (what a recording hook may have to
// wait for), and the file size (MB = 10^6 bytes). Each figure is the median of three runs.
//
//   session_io events=1000000 save_ms=… load_ms=… lock_held_max_ms=… file_mb=…
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/percentile.h"
#include "platform/platform.h"
#include "state/profile_settings.h"
#include "state/session_file.h"
#include "state/state.h"

namespace {

// A recording as the recorder makes it: mostly pointer moves, with buttons, keys and the wheel.
std::vector<rv::MacroEvent> recording(size_t count) {
    std::vector<rv::MacroEvent> events;
    events.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        double time = static_cast<double>(i) * 0.004;
        int32_t x = static_cast<int32_t>(i % 1920), y = static_cast<int32_t>((i * 7) % 1080);
        switch (i % 20) {
            case 5:
                events.push_back({2, time, x, y, 0x0002, 0, false, 0});
                break;
            case 6:
                events.push_back({2, time, x, y, 0x0004, 0, false, 0});
                break;
            case 11:
                events.push_back({3, time, 0, 0, 0, 65 + static_cast<int32_t>(i % 26), true, 0});
                break;
            case 12:
                events.push_back({3, time, 0, 0, 0, 65 + static_cast<int32_t>(i % 26), false, 0});
                break;
            case 17:
                events.push_back({4, time, 0, 0, 0, 0, false, -120});
                break;
            default:
                events.push_back({0, time, x, y, 0, 0, false, 0});
        }
    }
    return events;
}

using bench::median;
using bench::ms;

}  // namespace

int main() {
    char folderTemplate[] = "/tmp/ravelin-bench-XXXXXX";
    if (!mkdtemp(folderTemplate)) return 1;
    const std::string folder = folderTemplate;
    rv::sessionPath = folder + "/session.mcr";

    for (size_t count : {size_t{10000}, size_t{100000}, size_t{1000000}}) {
        std::vector<double> saves, loads, held;
        uintmax_t bytes = 0;
        for (int run = 0; run < 3; ++run) {
            {
                std::lock_guard<std::mutex> lock(rv::profilesLock);
                rv::profiles = {
                    rv::Profile{"Default Tracking Profile", rv::profileSettingsText(), recording(count)},
                    rv::Profile{"second", "", recording(100)}, rv::Profile{"third", "", {}}};
                rv::currentProfile = 0;
            }
            rv::sessionLockHeldMaxTicks = 0;
            auto start = std::chrono::steady_clock::now();
            rv::saveSession();
            saves.push_back(ms(std::chrono::steady_clock::now() - start));
            held.push_back(static_cast<double>(rv::sessionLockHeldMaxTicks.load()) * 1000.0 /
                           static_cast<double>(plat::tickFrequency()));
            bytes = std::filesystem::file_size(rv::sessionPath);

            {
                std::lock_guard<std::mutex> lock(rv::profilesLock);
                rv::profiles.clear();
            }
            start = std::chrono::steady_clock::now();
            bool loaded = rv::loadSession();
            loads.push_back(ms(std::chrono::steady_clock::now() - start));
            if (!loaded || rv::profiles.size() != 3 || rv::profiles[0].events.size() != count) {
                std::fprintf(stderr, "session_io: the saved file did not load back whole\n");
                return 1;
            }
        }
        std::printf("session_io events=%zu save_ms=%.1f load_ms=%.1f lock_held_max_ms=%.2f file_mb=%.1f\n",
                    count, median(saves), median(loads), median(held), static_cast<double>(bytes) / 1e6);
        std::fflush(stdout);
    }
    std::filesystem::remove_all(folder);
    return 0;
}
