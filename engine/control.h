// The control thread: the one place where the four functions are switched on and off and where
// pending key reassignments are applied. Hotkeys, page calls and panel messages only set requests;
// this thread carries them out as soon as they wake it (state/wakes.h).
#pragma once

#include <cstdint>

namespace rv {

// The reassignment target (1 record, 2 play, 3 clicker, 4 key-spam hotkeys, 5 key to spam, 6 to 9 the
// optional hotkeys) other than `target` whose key is `code`, or 0 when no other has it. Two hotkeys
// share a code when their modifiers differ too: `modifiers` are those `target` would take. Any thread.
int32_t reassignHolder(int32_t target, int32_t code, int32_t modifiers);

// The modifiers the hotkey of a reassignment target is held with; 0 for the key spammer's keys.
int32_t hotkeyModifiersOf(int32_t target);

// What a profile hotkey does: switch to the profile at that place of the list (the bridge's
// switchProfile, registered by the main instance; nothing until then).
void setProfileSwitcher(void (*switchTo)(int32_t));

// Applies a captured reassignment, then the record, play, clicker and key-spam requests, in that
// order, holds the 1 ms timer resolution while the clicker, the key spammer, playback or a recording
// runs (and only then), tells the page when what it shows has changed, then naps until the next wake (at most
// until the page's next figures are due while something runs, kControlIdleNapMs otherwise).
void controlPass();

// Thread body: passes while appRunning is set, then lets the timer resolution go.
void controlThread();

}  // namespace rv
