// Macro recording into the current profile.
#pragma once

namespace rv {

// Empties the current profile's events, stamps recordingStart and sets recording, all under
// profilesLock, so no event is stamped against an old start. Control thread only.
void startRecording();

// Clears recording; the events stay in the profile. Control thread only.
void stopRecording();

}  // namespace rv
