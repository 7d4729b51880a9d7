#include "capture/recording.h"

#include "platform/platform.h"
#include "state/state.h"

namespace rv {

namespace {}  // namespace

void startRecording() {
    std::lock_guard<std::mutex> lock(profilesLock);
    heldEvents.clear();
    if (Profile* current = currentProfileEntry()) heldEvents.swap(current->events);
    recordingStart = plat::ticks();
    recording.store(true);
}

void stopRecording() {
    recording.store(false);
}

void settleRecording() {
    std::lock_guard<std::mutex> lock(profilesLock);
    Profile* current = currentProfileEntry();
    if (!current) {
        heldEvents.clear();
        return;
    }
    std::vector<MacroEvent>& events = current->events;
    if (events.empty()) {
        // Nothing recorded (a stray press of the record key twice): the old recording stays.
        events.swap(heldEvents);
    } else if (!heldEvents.empty()) {
        replacedEvents.swap(heldEvents);
        replacedProfile = currentProfile;
    } else {
        replacedEvents.clear();
        replacedProfile = -1;
    }
    heldEvents.clear();
}

bool restoreReplacedRecording() {
    if (recording.load()) return false;
    std::lock_guard<std::mutex> lock(profilesLock);
    Profile* current = currentProfileEntry();
    if (replacedProfile != currentProfile || !current || replacedEvents.empty()) return false;
    current->events.swap(replacedEvents);
    forgetReplacedRecordingLocked();
    return true;
}

bool replaceRecording(std::vector<MacroEvent> events) {
    if (recording.load() || playing.load()) return false;
    std::lock_guard<std::mutex> lock(profilesLock);
    Profile* current = currentProfileEntry();
    if (!current || recording.load() || playing.load()) return false;
    forgetReplacedRecordingLocked();
    current->events.swap(events);
    // An empty recording is nothing to bring back.
    if (!events.empty()) {
        replacedEvents.swap(events);
        replacedProfile = currentProfile;
    }
    return true;
}

size_t replacedRecordingSize() {
    std::lock_guard<std::mutex> lock(profilesLock);
    return replacedProfile == currentProfile ? replacedEvents.size() : 0;
}

void forgetReplacedRecordingLocked() {
    replacedEvents.clear();
    replacedEvents.shrink_to_fit();
    replacedProfile = -1;
}

void dropTrailingClickInside(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    auto inside = [&](const MacroEvent& event) {
        return event.x >= left && event.x < right && event.y >= top && event.y < bottom;
    };
    std::lock_guard<std::mutex> lock(profilesLock);
    Profile* current = currentProfileEntry();
    if (!current) return;
    std::vector<MacroEvent>& events = current->events;
    size_t keep = events.size();
    bool click = false;
    while (keep > 0) {
        const MacroEvent& event = events[keep - 1];
        bool ours = event.kind == kRelativeMove ||
                    ((event.kind == kAbsoluteMove || event.kind == kButton) && inside(event));
        if (!ours) break;
        click = click || event.kind == kButton;
        --keep;
    }
    if (click) events.resize(keep);
}

}  // namespace rv
