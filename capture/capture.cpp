#include "capture/capture.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <iterator>
#include <mutex>

#include "capture/recording.h"
#include "platform/input_codes.h"
#include "state/click_sequence.h"
#include "state/key_codes.h"
#include "state/profile_settings.h"
#include "state/state.h"
#include "state/wakes.h"

namespace rv {

namespace {
constexpr int32_t kEscapeKey = 27;  // virtual-key code
}  // namespace

namespace {

uint64_t packPoint(int32_t x, int32_t y) {
    return static_cast<uint64_t>(static_cast<uint32_t>(x)) |
           (static_cast<uint64_t>(static_cast<uint32_t>(y)) << 32);
}

// Every hotkey with its modifiers, in the order a key that two of them share is decided: the
// optional ones (none, 0, when not set: stop everything, then the three profiles'), then record, play,
// auto-clicker and key spam.
struct Hotkey {
    std::atomic<int32_t>* code;
    std::atomic<int32_t>* modifiers;
};
constexpr Hotkey kHotkeys[] = {
    {&hkStopAll, &hkStopAllModifiers},   {&hkProfile1, &hkProfile1Modifiers},
    {&hkProfile2, &hkProfile2Modifiers}, {&hkProfile3, &hkProfile3Modifiers},
    {&hkRec, &hkRecModifiers},           {&hkPlay, &hkPlayModifiers},
    {&hkAuto, &hkAutoModifiers},         {&hkKeySpam, &hkKeySpamModifiers},
};
constexpr int kHotkeyCount = static_cast<int>(sizeof kHotkeys / sizeof kHotkeys[0]);
constexpr int kStopAll = 0, kFirstProfile = 1, kRecord = 4, kPlay = 5, kClicker = 6, kKeySpam = 7;

// What a key's or button's down flag holds: up, down and passed on, or down and taken by hotkey n
// (kTakenBy + n), so that the release goes with its press even when the modifiers were let go first.
constexpr uint8_t kPassed = 1;
constexpr uint8_t kTakenBy = 2;

// The modifier keys the user holds now (never our own injected ones), by virtual-key code. Capture
// thread only.
constexpr int32_t kModifierCodes[] = {16, 17, 18, 91, 92, 160, 161, 162, 163, 164, 165};

int32_t heldModifiers() {
    const uint32_t down = modifierKeysDown.load();
    int32_t mask = 0;
    for (size_t i = 0; i < std::size(kModifierCodes); ++i) {
        if (down & (1u << i)) mask |= modifierBitOfKey(kModifierCodes[i]);
    }
    return mask;
}

void noteModifierKey(int32_t vk, bool down) {
    for (size_t i = 0; i < std::size(kModifierCodes); ++i) {
        if (kModifierCodes[i] != vk) continue;
        if (down) {
            modifierKeysDown.fetch_or(1u << i);
        } else {
            modifierKeysDown.fetch_and(~(1u << i));
        }
    }
}

// The hotkey a press of `code` fires while the modifiers `held` are down, or -1. A hotkey with
// modifiers fires for exactly its combination and comes before a plain hotkey on the same code; a
// plain hotkey fires whatever is held.
int matchHotkey(int32_t code, int32_t held) {
    if (code == 0) return -1;
    for (int i = 0; i < kHotkeyCount; ++i) {
        const int32_t modifiers = kHotkeys[i].modifiers->load();
        if (modifiers != 0 && modifiers == held && kHotkeys[i].code->load() == code) return i;
    }
    for (int i = 0; i < kHotkeyCount; ++i) {
        if (kHotkeys[i].modifiers->load() == 0 && kHotkeys[i].code->load() == code) return i;
    }
    return -1;
}

int plainHotkey(int32_t code) {
    return matchHotkey(code, -1);
}

// A hotkey of something that runs: in toggle activation its press asks for a switch; in hold
// activation its press asks for a start and its release for a stop.
void activityHotkey(bool down, const std::atomic<int32_t>& activation, std::atomic<bool>& toggle,
                    std::atomic<int32_t>& hold) {
    if (activation.load() == kHold) {
        hold.store(down ? 1 : 0);
        wake(Sleeper::Control);
    } else if (down) {
        raiseRequest(toggle);
    }
}

void fireHotkey(int hotkey, bool down) {
    switch (hotkey) {
        case kStopAll:
            if (down) raiseRequest(stopAllRequest);
            break;
        case kRecord:
            if (down) raiseRequest(recordToggleRequest);
            break;
        case kPlay:
            activityHotkey(down, playActivation, playToggleRequest, playHoldRequest);
            break;
        case kClicker:
            activityHotkey(down, clickActivation, clickerToggleRequest, clickerHoldRequest);
            break;
        case kKeySpam:
            activityHotkey(down, keySpamActivation, keySpamToggleRequest, keySpamHoldRequest);
            break;
        default:
            if (down) {
                profileHotkeyRequest.store(hotkey - kFirstProfile);
                wake(Sleeper::Control);
            }
            break;
    }
}

// Hotkey edge detection: a hotkey acts once per physical press, on the press (and in hold activation
// on the release too); its first press and its release are swallowed, its auto-repeats pass.
bool hotkeyStep(int32_t code, bool down, std::atomic<uint8_t>* downFlag, int32_t held) {
    if (down) {
        if (downFlag && downFlag->load()) return false;
        const int hotkey = matchHotkey(code, held);
        if (downFlag) downFlag->store(hotkey >= 0 ? static_cast<uint8_t>(kTakenBy + hotkey) : kPassed);
        if (hotkey < 0) return false;
        fireHotkey(hotkey, true);
        return true;
    }
    const uint8_t pressed = downFlag ? downFlag->exchange(0) : kPassed;
    if (pressed >= kTakenBy) {
        fireHotkey(pressed - kTakenBy, false);
        return true;
    }
    // A press that passed was no hotkey then; its release passes too, unless the key has become a
    // plain hotkey while held.
    const int plain = plainHotkey(code);
    // A release without its press (the hotkey was pressed before it was one) only passes.
    if (pressed == 0) return plain >= 0;
    if (plain < 0) return false;
    fireHotkey(plain, false);
    return true;
}

bool anythingRuns() {
    return recording.load() || playing.load() || autoClicking.load() || keySpamming.load();
}

// The fail-safe: the user's own pointer pushed into the top-left corner of the screen while something
// runs starts the clock that the control thread reads; any move out of the corner stops it.
void noteCorner(int32_t x, int32_t y) {
    static plat::Rect desktop{0, 0, 0, 0};
    static int64_t desktopRead = 0;
    if (!failSafe.load() || !anythingRuns()) {
        cornerSince.store(0);
        return;
    }
    const int64_t now = plat::ticks();
    // The desktop changes rarely; read once a second at most while moves come in.
    if (desktopRead == 0 || now - desktopRead > counterFrequency) {
        desktop = plat::virtualDesktop();
        desktopRead = now;
    }
    const bool inCorner = x <= desktop.left + kCornerPixels && y <= desktop.top + kCornerPixels;
    if (!inCorner) {
        cornerSince.store(0);
    } else if (cornerSince.load() == 0) {
        cornerSince.store(now);
        wake(Sleeper::Control);
    }
}

// A modifier pressed alone while a hotkey reassignment waits (reassignLoneModifier) becomes the hotkey
// if it is released before any other key is pressed; a key pressed while it is held takes it as its
// modifier instead.

void captureForReassignment(int32_t code, int32_t modifiers) {
    reassignModifiers.store(modifiers);
    reassignCode.exchange(code);
    wake(Sleeper::Control);
}

// Whether the target is a hotkey, which takes the modifiers held with its key; the key spammer's keys
// are taken as pressed, modifiers included, and never a mouse button.
bool takesModifiers(int32_t target) {
    return target != kKeySpamKey && target != kKeySpamMoreKey;
}

// The reassignment capture of a key event while a target is armed; true: swallowed. Every press is
// taken, Escape included; releases go on to the hotkeys as usual.
bool reassignmentStep(const plat::KeyEvent& event, int32_t modifier, int32_t held, int32_t target) {
    if (event.down) {
        if (takesModifiers(target) && modifier != 0) {
            if (reassignLoneModifier.load() == 0 && held == 0) reassignLoneModifier.store(event.vk);
            return true;
        }
        reassignLoneModifier.store(0);
        captureForReassignment(event.vk, takesModifiers(target) ? held : 0);
        return true;
    }
    if (event.vk == reassignLoneModifier.load()) {
        reassignLoneModifier.store(0);
        captureForReassignment(event.vk, 0);
    }
    return false;
}

std::atomic<uint8_t>* keyFlag(int32_t vk) {
    return vk >= 0 && vk < 256 ? &keyDownTable[vk] : nullptr;
}
std::atomic<uint8_t>* buttonFlag(int32_t code) {
    return code >= 1 && code <= 6 ? &buttonDownTable[code] : nullptr;
}

void recordKey(const plat::KeyEvent& event, int32_t held) {
    if (!recording.load() || !tkey.load() || matchHotkey(event.vk, held) >= 0) return;
    MacroEvent e;
    e.kind = kKey, e.vk = event.vk, e.down = event.down;
    recordCapturedEvent(e);
}

// The flag word a button message replays with; 0 for messages that are not recorded.
uint32_t recordedButtonFlags(uint32_t message) {
    switch (message) {
        case WM_LBUTTONDOWN:
            return MOUSEEVENTF_LEFTDOWN;
        case WM_LBUTTONUP:
            return MOUSEEVENTF_LEFTUP;
        case WM_RBUTTONDOWN:
            return MOUSEEVENTF_RIGHTDOWN;
        case WM_RBUTTONUP:
            return MOUSEEVENTF_RIGHTUP;
        case WM_MBUTTONDOWN:
            return MOUSEEVENTF_MIDDLEDOWN;
        case WM_MBUTTONUP:
            return MOUSEEVENTF_MIDDLEUP;
        case WM_XBUTTONDOWN:
            return MOUSEEVENTF_XDOWN;
        case WM_XBUTTONUP:
            return MOUSEEVENTF_XUP;
        default:
            return 0;
    }
}

void recordMouse(const plat::MouseEvent& event, int32_t code) {
    if (event.message == WM_MOUSEMOVE) {
        if (!tmv.load()) return;
        if (trel.load()) {
            lastPointerPoint.store(packPoint(event.x, event.y));
            return;
        }
        uint64_t point = packPoint(event.x, event.y);
        if (point == lastPointerPoint.load()) return;
        MacroEvent e;
        e.kind = kAbsoluteMove, e.x = event.x, e.y = event.y;
        recordCapturedEvent(e);
        lastPointerPoint.store(point);
        return;
    }
    if (event.message == WM_MOUSEWHEEL) {
        if (!tscr.load()) return;
        MacroEvent e;
        e.kind = kWheel, e.wheel = static_cast<int16_t>(static_cast<uint16_t>(event.mouseData >> 16));
        recordCapturedEvent(e);
        return;
    }
    uint32_t flags = recordedButtonFlags(event.message);
    if (!tclk.load() || flags == 0 || matchHotkey(code, heldModifiers()) >= 0) return;
    MacroEvent e;
    e.kind = kButton, e.x = event.x, e.y = event.y, e.flags = flags;
    // Side buttons keep which button they were (code 5 or 6), so that replay presses and releases
    // the same one.
    if (code == 5 || code == 6) e.vk = code;
    recordCapturedEvent(e);
}

// Ends a pick; the control thread tells the page.
void endPick(std::atomic<bool>& request) {
    request.exchange(false);
    wake(Sleeper::Control);
}

// A press while a pick is armed: a left press is taken by `place`, which says whether the pick goes
// on; a right or middle press ends it. Either is kept from the program under the pointer; false for
// the other buttons.
template <typename Place>
bool pickPress(std::atomic<bool>& request, int32_t button, Place place) {
    if (button == 1) {
        if (!place()) request.exchange(false);
        refreshProfileSettings();
        wake(Sleeper::Control);
        return true;
    }
    if (button != 2 && button != 4) return false;
    endPick(request);
    return true;
}

}  // namespace

ButtonEvent classifyMouseMessage(uint32_t message, uint32_t mouseData) {
    switch (message) {
        case WM_LBUTTONDOWN:
            return {1, true};
        case WM_LBUTTONUP:
            return {1, false};
        case WM_RBUTTONDOWN:
            return {2, true};
        case WM_RBUTTONUP:
            return {2, false};
        case WM_MBUTTONDOWN:
            return {4, true};
        case WM_MBUTTONUP:
            return {4, false};
        case WM_XBUTTONDOWN:
            return {(mouseData >> 16) == 1 ? 5 : 6, true};
        case WM_XBUTTONUP:
            return {(mouseData >> 16) == 1 ? 5 : 6, false};
        default:
            return {0, false};
    }
}

bool onKeyEvent(const plat::KeyEvent& event) {
    // Our own injected keys are never hotkeys, captures or recorded input.
    if (event.injected) return false;
    // Escape ends the picking of sequence points, and goes no further.
    if (event.vk == kEscapeKey && pickSequenceRequest.load()) {
        if (event.down) endPick(pickSequenceRequest);
        return true;
    }
    const int32_t modifier = modifierBitOfKey(event.vk);
    // The other modifiers held with this key.
    const int32_t held = heldModifiers() & ~modifier;
    if (modifier != 0) noteModifierKey(event.vk, event.down);
    const int32_t target = reassignTarget.load();
    if (target == kNoTarget) {
        reassignLoneModifier.store(0);
    } else if (reassignmentStep(event, modifier, held, target)) {
        return true;
    }
    if (hotkeysEnabled.load() && hotkeyStep(event.vk, event.down, keyFlag(event.vk), held)) return true;
    recordKey(event, held);
    return false;
}

bool onMouseEvent(const plat::MouseEvent& event) {
    ButtonEvent button = classifyMouseMessage(event.message, event.mouseData);
    if (event.injected) {
        // Kept so the first real move after a playback is compared with where playback left off.
        if (event.message == WM_MOUSEMOVE) lastPointerPoint.store(packPoint(event.x, event.y));
        return false;
    }
    if (button.code != 0) {
        if (button.down && pickSequenceRequest.load() &&
            pickPress(pickSequenceRequest, button.code, [&event] {
                // A left single click where the press is, with the usual wait after it; a full list
                // ends the picking.
                SequencePoint point{event.x, event.y, 0, false, kDefaultSequenceWaitMs};
                const bool fits = std::abs(event.x) <= kMaxSequenceCoordinate &&
                                  std::abs(event.y) <= kMaxSequenceCoordinate;
                const bool goesOn =
                    fits && appendSequencePoint(point) && clickSequencePoints().size() < kMaxSequencePoints;
                locMode.store(2);
                return goesOn;
            }))
            return true;
        if (button.down && pickLocationRequest.load() &&
            pickPress(pickLocationRequest, button.code, [&event] {
                fixedX.exchange(event.x);
                fixedY.exchange(event.y);
                locMode.store(1);
                return false;
            }))
            return true;
        int32_t target = reassignTarget.load();
        if (button.down && target != kNoTarget && takesModifiers(target) && button.code != 1) {
            reassignLoneModifier.store(0);
            captureForReassignment(button.code, heldModifiers());
            return true;
        }
        if (hotkeysEnabled.load() &&
            hotkeyStep(button.code, button.down, buttonFlag(button.code), heldModifiers()))
            return true;
    }
    if (event.message == WM_MOUSEMOVE) noteCorner(event.x, event.y);
    if (recording.load()) {
        recordMouse(event, button.code);
    } else if (event.message == WM_MOUSEMOVE) {
        lastPointerPoint.store(packPoint(event.x, event.y));
    }
    return false;
}

bool rawMotionWanted() {
    return recording.load() && tmv.load() && trel.load();
}

void onRawMotion(const plat::RawMotion& motion) {
    if (!rawMotionWanted()) return;
    if (motion.absolute || (motion.dx == 0 && motion.dy == 0)) return;
    MacroEvent e;
    e.kind = kRelativeMove, e.x = motion.dx, e.y = motion.dy;
    recordCapturedEvent(e);
}

void captureThread() {
    plat::runCaptureLoop(
        plat::CaptureHandlers{&onKeyEvent, &onMouseEvent, &onRawMotion, &captureGrabPlan, &rawMotionWanted});
}

GrabPlan captureGrabPlan() {
    GrabPlan plan;
    if (hotkeysEnabled.load()) {
        // Plain hotkeys in the order of the table's required ones first, as they always were.
        for (int i : {kRecord, kPlay, kClicker, kKeySpam, kStopAll, kFirstProfile, kFirstProfile + 1,
                      kFirstProfile + 2}) {
            const int32_t code = kHotkeys[i].code->load();
            if (code != 0 && kHotkeys[i].modifiers->load() == 0) plan.codes.add(code);
        }
        // A combination on a code that is grabbed whatever is held needs no grab of its own.
        for (const Hotkey& hotkey : kHotkeys) {
            const int32_t code = hotkey.code->load(), modifiers = hotkey.modifiers->load();
            if (code != 0 && modifiers != 0 &&
                std::find(plan.codes.begin(), plan.codes.end(), code) == plan.codes.end())
                plan.combos.add(code, modifiers);
        }
    }
    int32_t target = reassignTarget.load();
    plan.allKeys = target != kNoTarget;
    plan.nonLeftButtons = target != kNoTarget && takesModifiers(target);
    plan.pickButtons = pickLocationRequest.load() || pickSequenceRequest.load();
    if (pickSequenceRequest.load()) plan.codes.add(kEscapeKey);
    return plan;
}

std::string hotkeyDisplayName(int32_t code, int32_t modifiers) {
    return modifierPrefix(modifiers) + keyDisplayName(code);
}

std::string keyDisplayName(int32_t code) {
    switch (code) {
        case 1:
            return "Left Mouse";
        case 2:
            return "Right Mouse";
        case 4:
            return "Middle Mouse";
        case 5:
            return "Mouse 4 (Side)";
        case 6:
            return "Mouse 5 (Side)";
        case 192:
            return "`";
        default:
            break;
    }
    std::string name = plat::keyName(code);
    return name.empty() ? "Key[" + std::to_string(code) + "]" : name;
}

int32_t reassignTargetForWord(std::string_view word) {
    for (int32_t target = kRecordHotkey; target <= kLastTarget; ++target) {
        if (word == reassignWord(target)) return target;
    }
    return kNoTarget;
}

const char* reassignWord(int32_t target) {
    switch (target) {
        case kRecordHotkey:
            return "rec";
        case kPlayHotkey:
            return "play";
        case kClickerHotkey:
            return "auto";
        case kKeySpamHotkey:
            return "keyspamhotkey";
        case kKeySpamKey:
            return "keyspamtarget";
        case kStopAllHotkey:
            return "stopall";
        case kProfile1Hotkey:
            return "profile1";
        case kProfile2Hotkey:
            return "profile2";
        case kProfile3Hotkey:
            return "profile3";
        case kKeySpamMoreKey:
            return "keyspamaddkey";
        default:
            return "";
    }
}

void takeSpamKeyFromPage(int32_t vk) {
    const int32_t target = reassignTarget.load();
    if ((target != kKeySpamKey && target != kKeySpamMoreKey) || vk <= 0 || vk > 255) return;
    captureForReassignment(vk, 0);
}

bool armReassignment(std::string_view word) {
    int32_t target = reassignTargetForWord(word);
    if (target == kNoTarget) return false;
    reassignRefusedBy.store(kNoTarget);
    reassignRefusedCode.store(0);
    reassignTarget.exchange(target);
    plat::wakeCaptureLoop();
    return true;
}

}  // namespace rv
