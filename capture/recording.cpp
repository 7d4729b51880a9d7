#include "capture/recording.h"

#include <atomic>
#include <thread>

#include "capture/record_buffer.h"

#include "platform/platform.h"
#include "state/state.h"

namespace rv {

namespace {

RecordBuffer captured;
// Set by the capture thread while it appends: stopRecording waits for an append it overlapped to
// end (a few copies long) before it takes the events, so no event comes after the last take.
std::atomic<bool> appending{false};
// recordingStart for the capture thread, which reads it without profilesLock.
std::atomic<int64_t> capturedStart{0};

}  // namespace

void startRecording() {
    std::lock_guard<std::mutex> lock(profilesLock);
    heldEvents.clear();
    if (Profile* current = currentProfileEntry()) heldEvents.swap(current->events);
    captured.drainInto(nullptr);
    recordingStart = plat::ticks();
    capturedStart.store(recordingStart);
    recording.store(true);
}

void stopRecording() {
    recording.store(false);
    while (appending.load()) std::this_thread::yield();
    collectRecordedEvents();
}

void recordCapturedEvent(MacroEvent event) {
    appending.store(true);
    if (recording.load()) {
        event.time =
            static_cast<double>(plat::ticks() - capturedStart.load()) / static_cast<double>(counterFrequency);
        captured.append(event);
    }
    appending.store(false);
}

void collectRecordedEvents() {
    std::lock_guard<std::mutex> lock(profilesLock);
    Profile* current = currentProfileEntry();
    captured.drainInto(current ? &current->events : nullptr);
}

size_t recordedEventsPending() {
    return captured.pending();
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
