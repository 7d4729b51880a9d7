// The control thread: the one place where the four functions are switched on and off and where
// pending key reassignments are applied. Hotkeys, page calls and panel messages only set requests;
// this thread carries them out as soon as they wake it (state/wakes.h).
#pragma once

namespace rv {

// Applies a captured reassignment, then the record, play, clicker and key-spam requests, in that
// order, then naps until the next wake (at most kControlNapMs).
void controlPass();

// Thread body: passes while appRunning is set.
void controlThread();

}  // namespace rv
