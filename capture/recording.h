// Macro recording into the current profile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "state/state.h"

namespace rv {

// Sets the current profile's events aside and leaves it empty, stamps recordingStart and sets recording, all
// under profilesLock, so no event is stamped against an old start. Control thread only.
void startRecording();

// Clears recording and moves the events the capture thread took into the profile, where they
// stay. Control thread only.
void stopRecording();

// Stamps `event` with the time since recordingStart and hands it to the recording in progress, if
// any, without taking a lock or waiting: the event reaches the current profile at the next
// collectRecordedEvents or stopRecording. Capture thread only.
void recordCapturedEvent(MacroEvent event);

// Moves what the capture thread has recorded so far into the current profile. Any thread but the
// capture thread; takes profilesLock.
void collectRecordedEvents();

// Events recorded and not yet moved into the profile. Any thread.
size_t recordedEventsPending();

// Decides what a stopped recording leaves, after any trim: when it holds no events the events set
// aside at its start come back; otherwise those become the replaced recording of the current
// profile. Control thread only, after stopRecording (and dropTrailingClickInside).
void settleRecording();

// Puts the replaced recording back in place of the current profile's events, once; false (nothing
// changes) while recording or when the current profile has none. User-interface thread.
bool restoreReplacedRecording();

// Puts `events` in place of the current profile's recording (a macro loaded from a file); the
// recording it replaces can then be brought back once, as after a recording. False, and nothing
// changes, while recording or playing, or when there is no current profile. Any thread but the
// capture thread.
bool replaceRecording(std::vector<MacroEvent> events);

// Events of the replaced recording the current profile could take back; 0 for none. Any thread.
size_t replacedRecordingSize();

// Drops the replaced recording. Callers hold profilesLock (any change of the profile list or of the
// current profile).
void forgetReplacedRecordingLocked();

// Drops the click that stopped a recording from the program's own window: the trailing events of
// the current profile that are button events or absolute moves inside the screen rectangle
// (left, top) to (right, bottom), exclusive, or relative moves — but only when that run holds a
// button event inside it; otherwise the recording stays as it is. Control thread only, after
// stopRecording.
void dropTrailingClickInside(int32_t left, int32_t top, int32_t right, int32_t bottom);

}  // namespace rv
