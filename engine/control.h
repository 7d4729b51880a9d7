// The control thread: the one place where the four functions are switched on and off and where
// pending key reassignments are applied. Hotkeys, page calls and panel messages only set requests;
// this thread carries them out as soon as they wake it (state/wakes.h).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace rv {

// A key and modifiers a reassignment target would take.
struct KeyChoice {
    int32_t target;
    int32_t code;
    int32_t modifiers;
};
// The first choice whose key another target holds (each target with a choice taken as it would be,
// the others as they are), by its place in `choices` (choices.size() for none), and that holder.
// Two hotkeys share a key when both code and modifiers match; the key to spam shares one with any
// hotkey of that code; a code of 0 (an optional hotkey that is none) is never shared. Any thread.
struct KeyClash {
    size_t choice;
    int32_t holder;
};
KeyClash keyClash(const std::vector<KeyChoice>& choices);

// The reassignment target (1 record, 2 play, 3 clicker, 4 key-spam hotkeys, 5 key to spam, 6 to 9 the
// optional hotkeys) that holds the key `target` would take, by keyClash's rule; 0 for none. Any thread.
int32_t reassignHolder(int32_t target, int32_t code, int32_t modifiers);

// A reassignment target's member, and the modifiers held with it (nullptr for the key to spam).
struct ReassignMembers {
    int32_t target;
    std::atomic<int32_t>* key;
    std::atomic<int32_t>* modifiers;
};
// The members of a target; nullptr for none and for a key added to the list of keys to spam.
const ReassignMembers* reassignMembersOf(int32_t target);
// The members of the target whose key or modifiers `member` is; nullptr when it is neither.
const ReassignMembers* reassignMembersHolding(const std::atomic<int32_t>* member);

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
