// Macro file speed: for macros of 10,000, 100,000 and 1,000,000 steps, the time to save a recording
// into the library (formatting the text and writing the file through its temporary) and to load it
// back (reading, checking every line and building the events), and the file size (MB = 10^6 bytes).
// Each figure is the median of three runs. The library lies in a temporary data folder.
//
//   macro_files steps=1000000 save_ms=… load_ms=… file_mb=…
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/percentile.h"
#include "state/macro_library.h"

namespace {

// A recording as the recorder makes it: mostly pointer moves a few milliseconds apart, with clicks,
// keys, the wheel and side buttons; times from a 10 MHz counter, so not whole microseconds.
std::vector<rv::MacroEvent> recording(size_t count) {
    std::vector<rv::MacroEvent> events;
    events.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        double time = static_cast<double>(i * 40013) / 1e7;
        int32_t x = static_cast<int32_t>(i % 1920), y = static_cast<int32_t>((i * 7) % 1080);
        switch (i % 20) {
            case 5:
                events.push_back({rv::kButton, time, x, y, 0x0002, 0, false, 0});
                break;
            case 6:
                events.push_back({rv::kButton, time, x, y, 0x0004, 0, false, 0});
                break;
            case 8:
                events.push_back({rv::kButton, time, x, y, 0x0080, 5, false, 0});
                break;
            case 11:
                events.push_back({rv::kKey, time, 0, 0, 0, 65 + static_cast<int32_t>(i % 26), true, 0});
                break;
            case 12:
                events.push_back({rv::kKey, time, 0, 0, 0, 0xA0, false, 0});
                break;
            case 17:
                events.push_back({rv::kWheel, time, 0, 0, 0, 0, false, -120});
                break;
            default:
                events.push_back({rv::kAbsoluteMove, time, x, y, 0, 0, false, 0});
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
    setenv("LOCALAPPDATA", folder.c_str(), 1);

    for (size_t count : {size_t{10000}, size_t{100000}, size_t{1000000}}) {
        std::vector<double> saves, loads;
        uintmax_t bytes = 0;
        rv::MacroFile file;
        file.screenWidth = 1920, file.screenHeight = 1080;
        file.events = recording(count);
        for (int run = 0; run < 3; ++run) {
            auto start = std::chrono::steady_clock::now();
            std::string problem = rv::saveLibraryMacro("bench", file, true);
            saves.push_back(ms(std::chrono::steady_clock::now() - start));
            if (!problem.empty()) {
                std::fprintf(stderr, "macro_files: %s\n", problem.c_str());
                return 1;
            }
            bytes = std::filesystem::file_size(rv::macroFolder() + "/bench.rvm");

            rv::MacroFile loaded;
            start = std::chrono::steady_clock::now();
            problem = rv::loadLibraryMacro("bench", loaded);
            loads.push_back(ms(std::chrono::steady_clock::now() - start));
            if (!problem.empty() || loaded.events.size() != count ||
                std::llround(loaded.events.back().time * 1e6) !=
                    std::llround(file.events.back().time * 1e6)) {
                std::fprintf(stderr, "macro_files: the saved macro did not load back whole\n");
                return 1;
            }
        }
        std::printf("macro_files steps=%zu save_ms=%.1f load_ms=%.1f file_mb=%.1f\n", count, median(saves),
                    median(loads), static_cast<double>(bytes) / 1e6);
        std::fflush(stdout);
    }
    std::filesystem::remove_all(folder);
    return 0;
}
