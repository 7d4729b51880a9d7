#include "capture/recording.h"

#include "platform/platform.h"
#include "state/state.h"

namespace rv {

void startRecording() {
    std::lock_guard<std::mutex> lock(profilesLock);
    if (currentProfile >= 0 && static_cast<size_t>(currentProfile) < profiles.size()) {
        profiles[static_cast<size_t>(currentProfile)].events.clear();
    }
    recordingStart = plat::ticks();
    recording.store(true);
}

void stopRecording() { recording.store(false); }

void dropTrailingClickInside(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    auto inside = [&](const MacroEvent& event) {
        return event.x >= left && event.x < right && event.y >= top && event.y < bottom;
    };
    std::lock_guard<std::mutex> lock(profilesLock);
    if (currentProfile < 0 || static_cast<size_t>(currentProfile) >= profiles.size()) return;
    std::vector<MacroEvent>& events = profiles[static_cast<size_t>(currentProfile)].events;
    size_t keep = events.size();
    bool click = false;
    while (keep > 0) {
        const MacroEvent& event = events[keep - 1];
        bool ours = event.kind == 1 || ((event.kind == 0 || event.kind == 2) && inside(event));
        if (!ours) break;
        click = click || event.kind == 2;
        --keep;
    }
    if (click) events.resize(keep);
}

}  // namespace rv
