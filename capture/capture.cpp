#include "capture/capture.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

#include "capture/recording.h"
#include "platform/input_codes.h"
#include "state/click_sequence.h"
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

// The hotkeys that are none (0) when not set: stop everything, then the three profiles'.
std::atomic<int32_t>* const kOptionalHotkeys[] = {&hkStopAll, &hkProfile1, &hkProfile2, &hkProfile3};

// The place of `code` among the optional hotkeys, or -1.
int optionalHotkey(int32_t code) {
    if (code == 0) return -1;
    for (int i = 0; i < 4; ++i) {
        if (kOptionalHotkeys[i]->load() == code) return i;
    }
    return -1;
}

bool isHotkey(int32_t code) {
    return code == hkRec.load() || code == hkPlay.load() || code == hkAuto.load() ||
           code == hkKeySpam.load() || optionalHotkey(code) >= 0;
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

// Hotkey edge detection: a hotkey acts once per physical press, on the press (and in hold activation
// on the release too); its first press and its release are swallowed, its auto-repeats pass.
bool hotkeyStep(int32_t code, bool down, std::atomic<uint8_t>* downFlag) {
    if (down) {
        if (downFlag && downFlag->load()) return false;
        if (downFlag) downFlag->store(1);
    } else if (downFlag) {
        // A release without its press (the hotkey was pressed before it was one) only passes.
        if (!downFlag->exchange(0)) return isHotkey(code);
    }
    if (int optional = optionalHotkey(code); optional >= 0) {
        if (down && optional == 0) raiseRequest(stopAllRequest);
        if (down && optional > 0) {
            profileHotkeyRequest.store(optional - 1);
            wake(Sleeper::Control);
        }
        return true;
    }
    if (code == hkRec.load()) {
        if (down) raiseRequest(recordToggleRequest);
        return true;
    }
    if (code == hkPlay.load())
        return activityHotkey(down, playActivation, playToggleRequest, playHoldRequest), true;
    if (code == hkAuto.load()) {
        return activityHotkey(down, clickActivation, clickerToggleRequest, clickerHoldRequest), true;
    }
    if (code == hkKeySpam.load()) {
        return activityHotkey(down, keySpamActivation, keySpamToggleRequest, keySpamHoldRequest), true;
    }
    return false;
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

std::atomic<uint8_t>* keyFlag(int32_t vk) {
    return vk >= 0 && vk < 256 ? &keyDownTable[vk] : nullptr;
}
std::atomic<uint8_t>* buttonFlag(int32_t code) {
    return code >= 1 && code <= 6 ? &buttonDownTable[code] : nullptr;
}

void recordKey(const plat::KeyEvent& event) {
    if (!recording.load() || !tkey.load() || isHotkey(event.vk)) return;
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
    if (!tclk.load() || flags == 0 || isHotkey(code)) return;
    MacroEvent e;
    e.kind = kButton, e.x = event.x, e.y = event.y, e.flags = flags;
    // Side buttons keep which button they were (code 5 or 6), so that replay presses and releases
    // the same one.
    if (code == 5 || code == 6) e.vk = code;
    recordCapturedEvent(e);
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
        if (event.down) {
            pickSequenceRequest.exchange(false);
            wake(Sleeper::Control);
        }
        return true;
    }
    if (event.down && reassignTarget.load() != kNoTarget) {
        reassignCode.exchange(event.vk);
        wake(Sleeper::Control);
        return true;
    }
    if (hotkeysEnabled.load() && hotkeyStep(event.vk, event.down, keyFlag(event.vk))) return true;
    recordKey(event);
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
        if (button.down && pickSequenceRequest.load()) {
            // A left press adds a point where it is (a left single click, the usual wait after it);
            // a right or middle press ends the picking, as does a full list.
            if (button.code == 1) {
                SequencePoint point{event.x, event.y, 0, false, kDefaultSequenceWaitMs};
                const bool fits = std::abs(event.x) <= kMaxSequenceCoordinate &&
                                  std::abs(event.y) <= kMaxSequenceCoordinate;
                if (!fits || !appendSequencePoint(point) ||
                    clickSequencePoints().size() >= kMaxSequencePoints)
                    pickSequenceRequest.exchange(false);
                locMode.store(2);
                refreshProfileSettings();
                wake(Sleeper::Control);
                return true;
            }
            if (button.code == 2 || button.code == 4) {
                pickSequenceRequest.exchange(false);
                wake(Sleeper::Control);
                return true;
            }
        }
        if (button.down && pickLocationRequest.load()) {
            if (button.code == 1) {
                fixedX.exchange(event.x);
                fixedY.exchange(event.y);
                locMode.store(1);
                pickLocationRequest.exchange(false);
                refreshProfileSettings();
                wake(Sleeper::Control);
                return true;
            }
            if (button.code == 2 || button.code == 4) {
                pickLocationRequest.exchange(false);
                wake(Sleeper::Control);
                return true;
            }
        }
        int32_t target = reassignTarget.load();
        if (button.down && target != kNoTarget && target != kKeySpamKey && button.code != 1) {
            reassignCode.exchange(button.code);
            wake(Sleeper::Control);
            return true;
        }
        if (hotkeysEnabled.load() && hotkeyStep(button.code, button.down, buttonFlag(button.code)))
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
        for (int32_t code : {hkRec.load(), hkPlay.load(), hkAuto.load(), hkKeySpam.load()})
            plan.codes.add(code);
        for (std::atomic<int32_t>* optional : kOptionalHotkeys) {
            if (optional->load() != 0) plan.codes.add(optional->load());
        }
    }
    int32_t target = reassignTarget.load();
    plan.allKeys = target != kNoTarget;
    plan.nonLeftButtons = target != kNoTarget && target != kKeySpamKey;
    plan.pickButtons = pickLocationRequest.load() || pickSequenceRequest.load();
    if (pickSequenceRequest.load()) plan.codes.add(kEscapeKey);
    return plan;
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
        default:
            return "";
    }
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
