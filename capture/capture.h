// What happens to each input event the capture thread observes: hotkeys, key reassignment, the
// fixed-point pick and recording. The platform's capture loop calls these handlers one event at a
// time on the capture thread; they only read and write atomics, and take profilesLock only to append
// a recorded event or to store the profile's settings after a pick.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace rv {

// Win32 mouse message numbers: the vocabulary of mouse events on every platform.
inline constexpr uint32_t WM_MOUSEMOVE = 0x0200;
inline constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
inline constexpr uint32_t WM_LBUTTONUP = 0x0202;
inline constexpr uint32_t WM_RBUTTONDOWN = 0x0204;
inline constexpr uint32_t WM_RBUTTONUP = 0x0205;
inline constexpr uint32_t WM_MBUTTONDOWN = 0x0207;
inline constexpr uint32_t WM_MBUTTONUP = 0x0208;
inline constexpr uint32_t WM_MOUSEWHEEL = 0x020A;
inline constexpr uint32_t WM_XBUTTONDOWN = 0x020B;
inline constexpr uint32_t WM_XBUTTONUP = 0x020C;
inline constexpr uint32_t WM_MOUSEHWHEEL = 0x020E;

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

// Thread body: runs the platform's capture loop with the handlers above until stopCaptureLoop.
void captureThread();

// What a platform that can only swallow by grabbing must grab right now (Linux): the hotkey codes
// while hotkeys are enabled; every key, and the non-left buttons unless the target is the key-spam
// key, while a reassignment is armed; the left, right and middle buttons while a pick is armed.
// The distinct hotkey codes, kept without allocating (the plan is asked for every few milliseconds).
struct HotkeyCodes {
    std::array<int32_t, 4> values{};
    size_t count = 0;
    const int32_t* begin() const { return values.data(); }
    const int32_t* end() const { return values.data() + count; }
    bool empty() const { return count == 0; }
    void add(int32_t code) {
        if (std::find(begin(), end(), code) == end() && count < values.size()) values[count++] = code;
    }
    bool operator==(const HotkeyCodes& other) const {
        return std::equal(begin(), end(), other.begin(), other.end());
    }
};

struct GrabPlan {
    HotkeyCodes codes;  // hotkey codes: virtual-key codes, or button codes 2, 4, 5, 6
    bool allKeys = false;
    bool nonLeftButtons = false;
    bool pickButtons = false;
    bool operator==(const GrabPlan& other) const {
        return codes == other.codes && allKeys == other.allKeys && nonLeftButtons == other.nonLeftButtons &&
               pickButtons == other.pickButtons;
    }
};
GrabPlan captureGrabPlan();

// The display name of a key or button code: the five mouse-button names, "`" for 192, the platform's
// key name, or "Key[" + code + "]" when it has none.
std::string keyDisplayName(int32_t code);

// The reassignment target a word arms ("rec" 1, "play" 2, "auto" 3, "keyspamhotkey" 4,
// "keyspamtarget" 5), compared exactly; 0 for any other text. And back.
int32_t reassignTargetForWord(std::string_view word);
const char* reassignWord(int32_t target);

}  // namespace rv
