// The macro file both ways. Bytes read as a macro file are either refused with at most ten problems,
// or give a macro that writes, reads back to the very same events, and writes the same text again.
// Bytes taken as recorded events (after a first byte of 0xFF) write, when their times allow it, and
// read back to every field, with times to the microsecond.
#include <cmath>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "state/macro_file.h"

namespace {

bool sameEvent(const rv::MacroEvent& a, const rv::MacroEvent& b, bool exactTime) {
    bool time = exactTime ? a.time == b.time : std::llround(a.time * 1e6) == std::llround(b.time * 1e6);
    return time && a.kind == b.kind && a.x == b.x && a.y == b.y && a.flags == b.flags && a.vk == b.vk &&
           a.down == b.down && a.wheel == b.wheel;
}

void checkRoundTrip(const rv::MacroFile& file, bool exactTime) {
    std::string text, problem;
    if (!rv::writeMacroText(file, text, problem)) {
        fuzz::check(!exactTime, "a macro that was read can be written");
        fuzz::check(!problem.empty(), "a refused write says why");
        return;
    }
    rv::MacroReading again = rv::readMacroText(text);
    fuzz::check(again.file.has_value(), "a written macro reads back");
    fuzz::check(again.file->events.size() == file.events.size(), "as many steps come back");
    for (size_t i = 0; i < file.events.size(); ++i)
        fuzz::check(sameEvent(file.events[i], again.file->events[i], exactTime), "every field comes back");
    std::string second;
    fuzz::check(rv::writeMacroText(*again.file, second, problem) && second == text,
                "a macro read back writes the same text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0 && data[0] == 0xFF) {
        // Events from raw bytes, their times made non-decreasing as the recorder stamps them.
        rv::MacroFile file;
        double clock = 0;
        constexpr size_t kRecord = 4 + 4 + 4 + 4 + 4 + 4 + 1 + 4;
        for (size_t at = 1; at + kRecord <= size; at += kRecord) {
            const uint8_t* p = data + at;
            auto take = [&p](auto& field) {
                std::memcpy(&field, p, sizeof field);
                p += sizeof field;
            };
            rv::MacroEvent event;
            uint32_t gapTicks = 0;
            take(event.kind), take(gapTicks), take(event.x), take(event.y), take(event.flags), take(event.vk);
            event.down = (*p++ & 1) != 0;
            take(event.wheel);
            clock += static_cast<double>(gapTicks % 100000000u) / 10000000.0;
            event.time = clock;
            file.events.push_back(event);
        }
        checkRoundTrip(file, false);
        return 0;
    }
    rv::MacroReading reading = rv::readMacroText(std::string_view(reinterpret_cast<const char*>(data), size));
    fuzz::check(reading.problems.size() <= rv::kMacroProblemsKept, "at most ten problems kept");
    fuzz::check(reading.problemCount >= reading.problems.size(), "every kept problem is counted");
    fuzz::check(reading.file.has_value() == (reading.problemCount == 0), "a file only without problems");
    if (reading.file) checkRoundTrip(*reading.file, true);
    return 0;
}
