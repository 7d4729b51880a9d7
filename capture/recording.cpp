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

}  // namespace rv
