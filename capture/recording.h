// Macro recording into the current profile.
#pragma once

#include <cstdint>

namespace rv {

// Empties the current profile's events, stamps recordingStart and sets recording, all under
// profilesLock, so no event is stamped against an old start. Control thread only.
void startRecording();

// Clears recording; the events stay in the profile. Control thread only.
void stopRecording();

// Drops the click that stopped a recording from the program's own window: the trailing events of
// the current profile that are button events or absolute moves inside the screen rectangle
// (left, top) to (right, bottom), exclusive, or relative moves — but only when that run holds a
// button event inside it; otherwise the recording stays as it is. Control thread only, after
// stopRecording.
void dropTrailingClickInside(int32_t left, int32_t top, int32_t right, int32_t bottom);

}  // namespace rv
