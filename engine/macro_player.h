// The macro player: replays the current profile's recording while `playing` is set, each event at
// its recorded time divided by the speed `tspd`, gliding the pointer between recorded positions;
// once, or in a loop with a pause of `tloopMs` between passes.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/pressed_set.h"
#include "state/state.h"

namespace rv {

// The pointer's place during a glide toward an absolute move (x, y) due at `due`, from `origin`,
// when `elapsed` seconds of the pass have gone and the previous event was due at `previous`:
// each coordinate moves by the fraction of the way in time, clamped to 0..1, truncated toward zero.
struct GlidePoint {
    int32_t x, y;
};
GlidePoint glidePoint(GlidePoint origin, int32_t x, int32_t y, double previous, double due, double elapsed);

// The speed events are scheduled with: `tspd`, or 1 when it is not a positive finite number (only a
// hand-edited session file can hold such a value; dividing by it would stall playback forever).
double playbackSpeed();

// The steps [from, to) of `events` (clamped to them; to < 0 for the end), their times moved so that
// the first of them is due at once.
std::vector<MacroEvent> eventsInRange(const std::vector<MacroEvent>& events, int64_t from, int64_t to);

// Sends one event as synthetic input (the replay table) and notes what it pressed or released.
void replayEvent(const MacroEvent& event, PressedSet& pressed);

// One turn of the player loop: an idle poll, or one whole pass (and the pause after it when looping).
// Whatever the pass pressed and had not released is released when it ends, before the pause.
void macroPlayerPass();

// Thread body: passes while appRunning is set.
void macroPlayerThread();

}  // namespace rv
