// What happens to each input event the capture thread observes: hotkeys, key reassignment, the
// fixed-point pick and recording. The platform's capture loop calls these handlers one event at a
// time on the capture thread; they only read and write atomics, and take profilesLock only to append
// a recorded event or to store the profile's settings after a pick.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/input_codes.h"
#include "platform/platform.h"

namespace rv {

// Button codes are the virtual-key numbers of the buttons, sharing one space with keys.
struct ButtonEvent {
    int32_t code;  // 1 left, 2 right, 4 middle, 5/6 first/second side button; 0 no button
    bool down;
};
ButtonEvent classifyMouseMessage(uint32_t message, uint32_t mouseData);

// The capture thread's handlers; true means swallow the event.
bool onKeyEvent(const plat::KeyEvent& event);
bool onMouseEvent(const plat::MouseEvent& event);
void onRawMotion(const plat::RawMotion& motion);
// Whether the mouse's relative motion is wanted: only while recording moves as relative motion.
bool rawMotionWanted();

// Thread body: runs the platform's capture loop with the handlers above until stopCaptureLoop.
void captureThread();

// What a platform that can only swallow by grabbing must grab right now (Linux): the hotkey codes
// (with their modifiers, for hotkeys that have some) while hotkeys are enabled; every key, and the non-left
// buttons unless the target is the key-spam key, while a reassignment is armed; the left, right and middle
// buttons while a pick is armed. Handed to the capture loop with the handlers.
using HotkeyCodes = plat::HotkeyCodes;
using GrabPlan = plat::GrabPlan;
GrabPlan captureGrabPlan();

// The display name of a key or button code: the five mouse-button names, "`" for 192, the platform's
// key name, or "Key[" + code + "]" when it has none.
std::string keyDisplayName(int32_t code);
// A hotkey's name with the modifiers it is held with: "Ctrl+F6".
std::string hotkeyDisplayName(int32_t code, int32_t modifiers);

// The reassignment target a word arms ("rec" 1, "play" 2, "auto" 3, "keyspamhotkey" 4,
// "keyspamtarget" 5, "stopall" 6, "profile1" to "profile3" 7 to 9, "keyspamaddkey" 10), compared
// exactly; 0 for any other text. And back.
int32_t reassignTargetForWord(std::string_view word);
const char* reassignWord(int32_t target);

// A key pressed in the page while the key to spam is being chosen (target 5 or 10), taken as the
// capture loop would take it: where the loop hears no key at all (Wayland), the page is the one that
// can. Anything else is ignored. Any thread.
void takeSpamKeyFromPage(int32_t vk);

// Arms the reassignment a word names (the page's and a panel's reassignKey), forgetting the last
// refusal; false for a word that names none. Any thread.
bool armReassignment(std::string_view word);

}  // namespace rv
