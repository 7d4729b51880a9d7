#include "engine/control.h"

#include <algorithm>

#include "capture/recording.h"
#include "platform/input_math.h"
#include "platform/platform.h"
#include "state/key_codes.h"
#include "state/page_notice.h"
#include "state/preferences.h"
#include "state/profile_settings.h"
#include "state/settings.h"
#include "state/state.h"
#include "state/wakes.h"

namespace rv {

namespace {

// Each target's member, and the modifiers held with it (none for the key to spam).
constexpr ReassignMembers kReassignMembers[] = {
    {kRecordHotkey, &hkRec, &hkRecModifiers},
    {kPlayHotkey, &hkPlay, &hkPlayModifiers},
    {kClickerHotkey, &hkAuto, &hkAutoModifiers},
    {kKeySpamHotkey, &hkKeySpam, &hkKeySpamModifiers},
    {kKeySpamKey, &keySpamTarget, nullptr},
    {kStopAllHotkey, &hkStopAll, &hkStopAllModifiers},
    {kProfile1Hotkey, &hkProfile1, &hkProfile1Modifiers},
    {kProfile2Hotkey, &hkProfile2, &hkProfile2Modifiers},
    {kProfile3Hotkey, &hkProfile3, &hkProfile3Modifiers},
};

// A key added to the end of the key spammer's list; false when the list is full.
bool addKeySpamKey(int32_t code) {
    for (std::atomic<int32_t>& slot : keySpamKeys) {
        if (slot.load() == 0) {
            slot.store(code);
            return true;
        }
    }
    return false;
}

constexpr int32_t kEscape = 27;
// How often the control thread looks at a pointer resting in the fail-safe corner.
constexpr int kCornerCheckMs = 50;

// Control thread only.
bool timerResolutionHeld = false;

std::atomic<void (*)(int32_t)> profileSwitcher{nullptr};

// The 1 ms system timer is held only while a worker needs it: on Windows 10 before 2004 it is
// system-wide and keeps the whole machine from its power saving.
void followTimerResolutionNeed() {
    const bool needed = appRunning.load() &&
                        (autoClicking.load() || keySpamming.load() || playing.load() || recording.load());
    if (needed == timerResolutionHeld) return;
    timerResolutionHeld = needed;
    if (needed)
        plat::raiseTimerResolution();
    else
        plat::restoreTimerResolution();
}

void applyReassignment() {
    int32_t target = reassignTarget.load();
    int32_t code = reassignCode.load();
    if (target == kNoTarget || code == 0) return;
    // Stored by the capture thread before the code.
    const ReassignMembers* members = reassignMembersOf(target);
    const int32_t modifiers = members && members->modifiers ? reassignModifiers.load() : 0;
    // Escape cancels, and so does a code the member cannot hold (the left button as a hotkey, a mouse
    // button as a key to spam). A key another target already has is refused too: two hotkeys on one
    // key leave one action unreachable, and a spammed key that is a hotkey would fire it. The keys the
    // spammer presses in turn may repeat.
    const bool spamKey = target == kKeySpamKey || target == kKeySpamMoreKey;
    bool accepted = spamKey ? isKeySpamTargetCode(code) : isHotkeyCode(code);
    int32_t holder = code == kEscape || !accepted || target == kKeySpamMoreKey
                         ? kNoTarget
                         : reassignHolder(target, code, modifiers);
    reassignRefusedBy.store(holder);
    reassignRefusedCode.store(holder != 0 ? code : 0);
    if (code != kEscape && accepted && holder == 0) {
        if (members && members->modifiers) members->modifiers->exchange(modifiers);
        if (members) members->key->exchange(code);
        if (target == kKeySpamMoreKey) addKeySpamKey(code);
        // The keys to spam are profile values. The hotkeys' modifiers, and the hotkeys added since the
        // first files (stop everything, the profiles'), are kept in appsettings.txt: written now, so
        // that a crash does not take the new hotkey with it.
        if (spamKey) {
            refreshProfileSettings();
        } else {
            saveAppSettings();
        }
    }
    reassignTarget.exchange(kNoTarget);
    reassignCode.exchange(0);
    // The new hotkey, and the end of the armed reassignment, change what the capture loop grabs.
    plat::wakeCaptureLoop();
}

// Each switch reads the flag and then sets it: other writers only ever clear a set flag, so no change
// is lost between the two.
//
// Woken after the flag changed, the player acts on it now: a pass starts, or its wait ends. Stopped
// playback is released by the player itself: exactly what the macro held, nothing the user's hand
// may be holding.
void setPlaying(bool on) {
    if (playing.load() == on) return;
    playing.exchange(on);
    wake(Sleeper::Player);
}

void setClicking(bool on) {
    if (autoClicking.load() == on) return;
    autoClicking.exchange(on);
    wake(Sleeper::AutoClicker);
    // Switched off by the user: release every button the clicker may have left down.
    if (!on) {
        plat::injectMouse(MOUSEEVENTF_LEFTUP, 0);
        plat::injectMouse(MOUSEEVENTF_RIGHTUP, 0);
        plat::injectMouse(MOUSEEVENTF_MIDDLEUP, 0);
    }
}

void setKeySpamming(bool on) {
    if (keySpamming.load() == on) return;
    keySpamming.exchange(on);
    wake(Sleeper::KeySpammer);
    // The key of the press in progress, then its modifiers in the reverse of their order down.
    if (!on) {
        const int32_t key = keySpamKeyInTurn.load();
        plat::injectKey(key != 0 ? key : keySpamTarget.load(), false);
        const std::vector<int32_t> modifiers = modifierKeys(keySpamModifiers.load());
        for (auto m = modifiers.rbegin(); m != modifiers.rend(); ++m) plat::injectKey(*m, false);
    }
}

// The stop hotkey and the fail-safe: everything that runs stops, and what it held is let go. Picking
// sequence points ends too, so that left clicks reach the programs under them again.
void stopEverything() {
    if (pickSequenceRequest.exchange(false)) plat::wakeCaptureLoop();
    if (recording.load()) {
        stopRecording();
        settleRecording();
        plat::wakeCaptureLoop();
    }
    setPlaying(false);
    setClicking(false);
    setKeySpamming(false);
}

// The pointer has stayed in the fail-safe corner long enough. Until then the control thread naps no
// longer than the hold has left.
bool failSafeTriggered() {
    const int64_t since = cornerSince.load();
    if (since == 0) return false;
    if (!failSafe.load()) return false;
    const int64_t due = since + kFailSafeHoldMs * counterFrequency / 1000;
    if (plat::ticks() < due) return false;
    cornerSince.store(0);
    return true;
}

}  // namespace

void setProfileSwitcher(void (*switchTo)(int32_t)) {
    profileSwitcher.store(switchTo);
}

const ReassignMembers* reassignMembersOf(int32_t target) {
    for (const ReassignMembers& members : kReassignMembers) {
        if (members.target == target) return &members;
    }
    return nullptr;
}

const ReassignMembers* reassignMembersHolding(const std::atomic<int32_t>* member) {
    for (const ReassignMembers& members : kReassignMembers) {
        if (members.key == member || (members.modifiers && members.modifiers == member)) return &members;
    }
    return nullptr;
}

int32_t hotkeyModifiersOf(int32_t target) {
    const ReassignMembers* members = reassignMembersOf(target);
    return members && members->modifiers ? members->modifiers->load() : 0;
}

KeyClash keyClash(const std::vector<KeyChoice>& choices) {
    // What a target holds: its choice when it has one, else its members as they are.
    auto held = [&choices](const ReassignMembers& members) {
        for (const KeyChoice& choice : choices) {
            if (choice.target == members.target) return choice;
        }
        return KeyChoice{members.target, members.key->load(),
                         members.modifiers ? members.modifiers->load() : 0};
    };
    for (size_t i = 0; i < choices.size(); ++i) {
        const KeyChoice& choice = choices[i];
        // No key (an optional hotkey that is none) is shared by nobody.
        if (choice.code == 0) continue;
        const ReassignMembers* mine = reassignMembersOf(choice.target);
        for (const ReassignMembers& other : kReassignMembers) {
            const KeyChoice theirs = held(other);
            if (other.target == choice.target || theirs.code != choice.code) continue;
            // Two hotkeys on one key differ when their modifiers do; the key to spam has none of its
            // own and stays off every hotkey's key.
            const bool hotkeys = other.modifiers && mine && mine->modifiers;
            if (!hotkeys || theirs.modifiers == choice.modifiers) return {i, other.target};
        }
    }
    return {choices.size(), kNoTarget};
}

int32_t reassignHolder(int32_t target, int32_t code, int32_t modifiers) {
    return keyClash({{target, code, modifiers}}).holder;
}

void controlPass() {
    applyReassignment();

    if (recordToggleRequest.exchange(false)) {
        // Set before the request it goes with, so it is read only once that request is taken.
        bool trim = recordTrimRequest.exchange(false);
        if (!playing.load()) {
            if (recording.load()) {
                stopRecording();
                if (trim) {
                    dropTrailingClickInside(recordTrimLeft.load(), recordTrimTop.load(),
                                            recordTrimRight.load(), recordTrimBottom.load());
                }
                settleRecording();
            } else {
                startRecording();
            }
            // Raw motion is taken only while it is recorded.
            plat::wakeCaptureLoop();
        }
    }
    if (playToggleRequest.exchange(false) && !recording.load()) setPlaying(!playing.load());
    if (clickerToggleRequest.exchange(false)) setClicking(!autoClicking.load());
    if (keySpamToggleRequest.exchange(false)) setKeySpamming(!keySpamming.load());
    // A hotkey in hold activation: held, it starts; let go, it stops.
    if (int32_t held = playHoldRequest.exchange(-1); held >= 0 && !recording.load()) setPlaying(held == 1);
    if (int32_t held = clickerHoldRequest.exchange(-1); held >= 0) setClicking(held == 1);
    if (int32_t held = keySpamHoldRequest.exchange(-1); held >= 0) setKeySpamming(held == 1);
    if (failSafeTriggered()) stopAllRequest.store(true);
    if (stopAllRequest.exchange(false)) stopEverything();
    if (int32_t asked = profileHotkeyRequest.exchange(-1); asked >= 0) {
        if (void (*switchTo)(int32_t) = profileSwitcher.load()) switchTo(asked);
    }
    // A recording in progress goes into its profile as it grows, so that an autosave or the crash
    // handler's save keeps what was recorded so far.
    if (recording.load()) collectRecordedEvents();
    followTimerResolutionNeed();
    // What was just switched, and what workers, the capture thread or panel messages changed since
    // the last pass (a clicker that reached its count, a picked point), reaches the page now.
    tellPageOfChanges();
    const int figuresDue = handPageFigures();
    // Every producer of a request or a change wakes this thread; the nap only bounds how late a
    // change made without a wake reaches the page. While something runs, it ends when the next
    // figures are due.
    int napMs = figuresDue < 0 ? kControlIdleNapMs : figuresDue;
    if (cornerSince.load() != 0) napMs = std::min(napMs, kCornerCheckMs);
    nap(Sleeper::Control, napMs);
}

void controlThread() {
    while (appRunning.load()) controlPass();
    followTimerResolutionNeed();
}

}  // namespace rv
