// The control thread: the one place where the four functions are switched on and off and where
// pending key reassignments are applied. Hotkeys, page calls and panel messages only set requests;
// this thread carries them out every 10 ms.
#pragma once

namespace rv {

// Applies a captured reassignment, then the record, play, clicker and key-spam requests, in that
// order, then sleeps 10 ms.
void controlPass();

// Thread body: passes while appRunning is set.
void controlThread();

}  // namespace rv
