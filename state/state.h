// Every process-wide item of the main instance, with its default, in one place.
//
// Single values (settings, hotkey codes, flags, requests) are individual atomics read afresh at
// every use; nothing groups them, so a reader may see part of an update. The profile list, the
// current index and every profile's fields are guarded by the one mutex `profilesLock`, which is
// held only for in-memory copies and changes, never across file access or waits.
//
// A panel instance has the same items with their defaults but does not use them.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "state/key_codes.h"
#include "state/rate_meter.h"

namespace rv {

// ---- defaults ---------------------------------------------------------------------------------------
// The defaults other than 0 and false, which start-up, the resets and the page's calls all return to.
inline constexpr int32_t kDefaultIntervalMs = 100;  // sms and ksms
inline constexpr int32_t kDefaultRepeatMode = 1;    // rptMode and ksRptMode: until stopped
inline constexpr int32_t kDefaultRepeatTimes = 10;  // rptTimes and ksRptTimes
inline constexpr float kDefaultPlaybackSpeed = 1.0f;
inline constexpr double kSlowestSpeed = 0.1;  // the playback speeds the page and the pipe accept
inline constexpr double kFastestSpeed = 10.0;
inline constexpr int32_t kDefaultLoopPauseMs = 500;
inline constexpr int32_t kDefaultRecordHotkey = 119;   // F8
inline constexpr int32_t kDefaultPlayHotkey = 118;     // F7
inline constexpr int32_t kDefaultClickerHotkey = 117;  // F6
inline constexpr int32_t kDefaultKeySpamHotkey = 120;  // F9
inline constexpr int32_t kDefaultKeySpamTarget = 32;   // space
inline constexpr int32_t kDefaultWindowWidth = 420;    // the main window's client size, pixels
inline constexpr int32_t kDefaultWindowHeight = 560;
inline constexpr const char* kDefaultTheme = "modern-blue";

// ---- ClickerSettings --------------------------------------------------------------------------
// Written by updateSpammer/updateKeySpam (page and pipe), the fixed-point pick, the profile
// operations, the session load and resetEverything; read by the workers and the texts.
inline std::atomic<int32_t> sh{0};                        // auto-clicker interval, hours
inline std::atomic<int32_t> sm{0};                        // minutes
inline std::atomic<int32_t> ss{0};                        // seconds
inline std::atomic<int32_t> sms{kDefaultIntervalMs};      // milliseconds
inline std::atomic<int32_t> sbtn{0};                      // 0 left, 1 right, 2 middle
inline std::atomic<int32_t> stype{0};                     // 1 double click, else single
inline std::atomic<int32_t> rptMode{kDefaultRepeatMode};  // 0 stop after rptTimes clicks, else until stopped
inline std::atomic<int32_t> rptTimes{kDefaultRepeatTimes};  // click count for rptMode 0
inline std::atomic<int32_t> locMode{
    0};  // 1 click at the fixed point, 2 the click sequence, else at the pointer
inline std::atomic<int32_t> fixedX{0};  // fixed point, screen pixels
inline std::atomic<int32_t> fixedY{0};
// Recording switches and playback values: written by updateTracker (page and pipe), the session
// load and resetEverything.
inline std::atomic<bool> tmv{true};                        // record pointer moves
inline std::atomic<bool> tclk{true};                       // record mouse buttons
inline std::atomic<bool> tscr{true};                       // record the wheel
inline std::atomic<bool> tkey{true};                       // record keys
inline std::atomic<bool> trel{false};                      // record relative motion instead of absolute moves
inline std::atomic<float> tspd{kDefaultPlaybackSpeed};     // playback speed factor
inline std::atomic<bool> tloop{false};                     // loop playback
inline std::atomic<int32_t> tloopMs{kDefaultLoopPauseMs};  // pause between loops, milliseconds
inline std::atomic<int32_t> ksh{0};                        // key-spam interval, hours
inline std::atomic<int32_t> ksm{0};
inline std::atomic<int32_t> kss{0};
inline std::atomic<int32_t> ksms{kDefaultIntervalMs};
inline std::atomic<int32_t> ksRptMode{
    kDefaultRepeatMode};  // 0 stop after ksRptTimes presses, else until stopped
inline std::atomic<int32_t> ksRptTimes{kDefaultRepeatTimes};
// How the auto-clicker and the key spammer click and press, per profile (kept by name on the
// profile's options line). A press length of -1 is automatic: a third of the interval, at most 20 ms,
// long enough for a program that looks at the buttons once a frame; 0 is a back-to-back press. A
// maximum above the minimum makes each value a random draw between the two (0: fixed).
inline constexpr int32_t kAutomaticPress = -1;
inline std::atomic<int32_t> clickPressMs{kAutomaticPress};
inline std::atomic<int32_t> clickPressMaxMs{0};
inline std::atomic<int32_t> clickIntervalMaxMs{0};  // each wait drawn between the interval and this
inline std::atomic<int32_t> clickJitterPx{0};       // a fixed point moves by up to this many pixels
inline std::atomic<int32_t> clickLimitSeconds{0};   // the clicker stops after this long; 0 never
inline std::atomic<int32_t> keySpamPressMs{kAutomaticPress};
inline std::atomic<int32_t> keySpamPressMaxMs{0};
inline std::atomic<int32_t> keySpamIntervalMaxMs{0};
inline std::atomic<int32_t> keySpamLimitSeconds{0};
// Modifiers held around each key-spam press: 1 Ctrl, 2 Shift, 4 Alt, 8 Win (Super), pressed in that
// order before the key and released in the reverse order after it.
inline std::atomic<int32_t> keySpamModifiers{0};
// A text value shared between threads: a short lock around each read and change.
struct GuardedText {
    std::string load() const {
        std::lock_guard<std::mutex> guard(lock);
        return value;
    }
    void store(std::string text) {
        std::lock_guard<std::mutex> guard(lock);
        value = std::move(text);
    }
    mutable std::mutex lock;
    std::string value;
};
// The click sequence of locMode 2 (state/click_sequence.h), per profile; always in its canonical form.
inline GuardedText clickSequence;
// The keys pressed in turn after keySpamTarget, one a press (target, first, second, ..., target, ...);
// 0 ends the list. Written by page calls, panel messages, the pipe and profile loads; the key-spam
// worker reads it at each press.
inline std::atomic<int32_t> keySpamKeys[kKeySpamMoreKeys] = {};
// Shared by every profile (kept in appsettings.txt): how the hotkeys start things (0 a press toggles,
// 1 it runs while the hotkey is held), how long a looping playback may run (0 no limit), the hotkey
// that stops everything (0 none) and the fail-safe corner.
inline constexpr int32_t kToggle = 0;
inline constexpr int32_t kHold = 1;
inline std::atomic<int32_t> clickActivation{kToggle};
inline std::atomic<int32_t> keySpamActivation{kToggle};
inline std::atomic<int32_t> playActivation{kToggle};
inline std::atomic<int32_t> playLimitSeconds{0};
inline std::atomic<int32_t> hkStopAll{0};
// Hotkeys that switch to the first, second and third profile of the list (0 none).
inline std::atomic<int32_t> hkProfile1{0};
inline std::atomic<int32_t> hkProfile2{0};
inline std::atomic<int32_t> hkProfile3{0};
inline std::atomic<bool> failSafe{true};
// A start by ravelin-cli (a command with no program running) opens the window minimized.
inline std::atomic<bool> commandStartsMinimized{true};

// ---- HotkeySet ------------------------------------------------------------------------------------
// Virtual-key codes; mouse buttons use their virtual-key numbers (2 right, 4 middle, 5 and 6 side).
// Written by the control thread (reassignment), resetHotkeys, resetEverything, the session load and,
// for keySpamTarget, the profile operations; read by the capture thread at every event.
inline std::atomic<int32_t> hkRec{kDefaultRecordHotkey};
inline std::atomic<int32_t> hkPlay{kDefaultPlayHotkey};
inline std::atomic<int32_t> hkAuto{kDefaultClickerHotkey};
inline std::atomic<int32_t> hkKeySpam{kDefaultKeySpamHotkey};
inline std::atomic<int32_t> keySpamTarget{kDefaultKeySpamTarget};
// The modifiers that must be held with each hotkey (1 Ctrl, 2 Shift, 4 Alt, 8 Win): such a hotkey
// fires, and is swallowed, only for exactly that combination. 0, the default, is a plain hotkey that
// fires whatever modifiers are held. Kept in appsettings.txt; written and read like the codes.
inline std::atomic<int32_t> hkRecModifiers{0};
inline std::atomic<int32_t> hkPlayModifiers{0};
inline std::atomic<int32_t> hkAutoModifiers{0};
inline std::atomic<int32_t> hkKeySpamModifiers{0};
inline std::atomic<int32_t> hkStopAllModifiers{0};
inline std::atomic<int32_t> hkProfile1Modifiers{0};
inline std::atomic<int32_t> hkProfile2Modifiers{0};
inline std::atomic<int32_t> hkProfile3Modifiers{0};

// ---- profiles ---------------------------------------------------------------------------------------

// What a recorded event is; the numbers are the session file's. A file may hold other numbers: such
// an event is kept and replays as nothing.
enum EventKind : int32_t { kAbsoluteMove = 0, kRelativeMove = 1, kButton = 2, kKey = 3, kWheel = 4 };

struct MacroEvent {
    int32_t kind = kAbsoluteMove;  // an EventKind
    double time = 0;               // seconds since the recording started
    int32_t x = 0;                 // screen X (kinds 0, 2) or motion dX (kind 1)
    int32_t y = 0;                 // screen Y (kinds 0, 2) or motion dY (kind 1)
    uint32_t flags = 0;            // kind 2: the mouse flag word to replay
    int32_t vk = 0;                // kind 3: virtual-key code
    bool down = false;             // kind 3: press
    int32_t wheel = 0;             // kind 4: signed wheel delta
};

struct Profile {
    std::string name;                // any characters but a line end
    std::string settingsText;        // the 18-field profile settings text, or empty
    std::vector<MacroEvent> events;  // in recording order, non-decreasing time
};

// Guarded by profilesLock. After start-up `profiles` is never empty and currentProfile indexes it.
inline std::vector<Profile> profiles;
inline int32_t currentProfile = 0;
inline std::mutex profilesLock;
// The events a recording replaced, kept so that the last recording can be taken back once.
// `heldEvents` are the current profile's events while a recording runs (put back when it ends with
// none); `replacedEvents` belong to profile `replacedProfile` (-1 none) and are dropped by the next
// recording and by any change of profile. Guarded by profilesLock.
inline std::vector<MacroEvent> heldEvents;
inline std::vector<MacroEvent> replacedEvents;
inline int32_t replacedProfile = -1;

// ---- activity flags ------------------------------------------------------------------------------
// Inverted only by the control thread; other writers (the workers at their limits, the player at the
// end of a pass, resetEverything) only ever clear them.
inline std::atomic<bool> recording{false};
inline std::atomic<bool> playing{false};
inline std::atomic<bool> autoClicking{false};
inline std::atomic<bool> keySpamming{false};
// A panel window is being dragged over the main window: pipe server sets it, the status text clears it.
inline std::atomic<bool> panelHover{false};

// ---- one-shot requests --------------------------------------------------------------------------
// Set with an exchange by any producer, cleared by the one consumer; sets before the next poll count
// as one.
inline std::atomic<bool> recordToggleRequest{false};   // record hotkey → control thread
inline std::atomic<bool> playToggleRequest{false};     // play hotkey → control thread
inline std::atomic<bool> clickerToggleRequest{false};  // hotkey, page, pipe → control thread
inline std::atomic<bool> keySpamToggleRequest{false};  // hotkey, page, pipe → control thread
inline std::atomic<bool> pickLocationRequest{false};   // page → mouse hook
// Points of the click sequence are being picked: each left press adds one, until Escape, a right or
// middle press, or a full list. Page → mouse and key hooks.
inline std::atomic<bool> pickSequenceRequest{false};
// A hotkey held or let go in hold activation: 1 start, 0 stop, -1 nothing asked. Capture thread →
// control thread.
inline std::atomic<int32_t> clickerHoldRequest{-1};
inline std::atomic<int32_t> keySpamHoldRequest{-1};
inline std::atomic<int32_t> playHoldRequest{-1};
// Stop every activity and release what is held: the stop hotkey, the fail-safe corner, the pipe.
inline std::atomic<bool> stopAllRequest{false};
// The profile a profile hotkey asks for (its place in the list), -1 none. Capture → control thread.
inline std::atomic<int32_t> profileHotkeyRequest{-1};
// When the physical pointer reached the fail-safe corner (counter value; 0 while it is elsewhere).
// Capture thread writes, control thread reads.
inline std::atomic<int64_t> cornerSince{0};
inline constexpr int32_t kCornerPixels = 2;      // how near the corner counts as in it
inline constexpr int64_t kFailSafeHoldMs = 500;  // how long the pointer stays there
// What a captured key is about to become, while a reassignment is armed.
enum ReassignTarget : int32_t {
    kNoTarget = 0,
    kRecordHotkey = 1,
    kPlayHotkey = 2,
    kClickerHotkey = 3,
    kKeySpamHotkey = 4,
    kKeySpamKey = 5,
    kStopAllHotkey = 6,
    kProfile1Hotkey = 7,
    kProfile2Hotkey = 8,
    kProfile3Hotkey = 9,
    kKeySpamMoreKey = 10,  // a key added to the end of keySpamKeys
    kLastTarget = kKeySpamMoreKey,
};
inline std::atomic<int32_t> reassignTarget{kNoTarget};  // a ReassignTarget
inline std::atomic<int32_t> reassignCode{0};            // code captured while a target is armed; 0 = none
// The modifiers held with the captured code; the capture thread stores it before reassignCode.
inline std::atomic<int32_t> reassignModifiers{0};
// The last reassignment the control thread refused because another target already had the key: that
// target (1 to 9, as reassignTarget) and the key's code; both 0 when the last one was accepted or
// cancelled. Control thread writes; reassignKey clears them when it arms a new target.
inline std::atomic<int32_t> reassignRefusedBy{0};
inline std::atomic<int32_t> reassignRefusedCode{0};
// A recording stopped with the page's own button ends with the click on that button. The page call
// leaves the main window's screen rectangle here and sets the request before the record request; the
// control thread, stopping the recording, then drops that click (and the moves around it) from the
// recording's end.
inline std::atomic<bool> recordTrimRequest{false};  // page → control thread, with the rectangle
inline std::atomic<int32_t> recordTrimLeft{0}, recordTrimTop{0}, recordTrimRight{0}, recordTrimBottom{0};

// ---- engine and capture bookkeeping -------------------------------------------------------------
inline std::atomic<int32_t> clickCount{0};      // auto-clicker worker only
inline std::atomic<int32_t> keyPressCount{0};   // key-spam worker only
inline std::atomic<int32_t> sequenceRounds{0};  // rounds of the click sequence this run; auto-clicker worker
// The key of the key spammer's press in progress or last made (0 before the first), so that a stop
// lets go of the one it pressed; key-spam worker writes.
inline std::atomic<int32_t> keySpamKeyInTurn{0};
inline std::atomic<int32_t> keySpamTurn{0};  // which key of the list comes next; key-spam worker only
// What the last run of each made, kept until the next run's first click or press; its worker writes.
inline std::atomic<int32_t> lastClickRun{0};
inline std::atomic<int32_t> lastKeyPressRun{0};
// When the running clicker and key spammer started (counter value), for their time limits; the
// control thread sets them when it starts a worker, the workers read them.
inline std::atomic<int64_t> clickerStartedAt{0};
inline std::atomic<int64_t> keySpamStartedAt{0};
inline std::atomic<int64_t> playStartedAt{0};
// When each click and key press was made, for the measured rates of the status text; each meter is
// noted and forgotten by its worker only.
inline RateMeter clickMeter;
inline RateMeter keyPressMeter;
// Where the player is, for the status text; player thread only, all 0 while it is idle.
inline std::atomic<int32_t> playPass{0};        // pass of the current playback, from 1
inline std::atomic<int32_t> playEventIndex{0};  // events of this pass replayed so far
inline std::atomic<int32_t> playEventTotal{0};  // events in this pass
// The steps the next playback plays, [playRangeFrom, playRangeTo) of the recording, set by the step
// editor just before it starts one; -1 for the whole recording. The player takes them when the
// playback starts and keeps them for its passes.
inline std::atomic<int64_t> playRangeFrom{-1};
inline std::atomic<int64_t> playRangeTo{-1};
inline int64_t recordingStart = 0;                 // counter value; written under profilesLock
inline int64_t counterFrequency = 1;               // ticks per second, read once at start-up
inline std::atomic<uint64_t> lastPointerPoint{0};  // X in the low half, Y in the high half
inline std::atomic<uint8_t> keyDownTable[256] = {};
inline std::atomic<uint8_t> buttonDownTable[7] = {};  // by button code 1 to 6
// The user's modifier keys held down now (bit n: the n-th modifier key code of the capture handlers),
// and a modifier pressed alone while a hotkey reassignment waits; capture thread only.
inline std::atomic<uint32_t> modifierKeysDown{0};
inline std::atomic<int32_t> reassignLoneModifier{0};

// ---- process ---------------------------------------------------------------------------------------
inline std::atomic<bool> appRunning{true};  // cleared once, by the shutdown sequence
// Panel instances started by this main instance, by panel name (process handles of the platform).
// User-interface thread only (the status text reaps ended ones), and the shutdown after the window
// loop.
inline std::map<std::string, void*> panelProcesses;

// ---- preferences (AppSettings) ------------------------------------------------------------------
// Read and written by the user-interface thread, except hotkeysEnabled (capture thread reads it).
inline std::atomic<bool> alwaysOnTop{false};
inline std::atomic<bool> launchOnStartup{false};
inline std::atomic<bool> startMinimized{false};
inline std::atomic<bool> hotkeysEnabled{true};
inline std::atomic<bool> disableAnimations{false};
inline std::atomic<int32_t> windowX{0};
inline std::atomic<int32_t> windowY{0};
inline std::atomic<int32_t> windowWidth{kDefaultWindowWidth};
inline std::atomic<int32_t> windowHeight{kDefaultWindowHeight};
inline std::atomic<bool> windowMaximized{false};
inline std::atomic<bool> windowPositionKnown{false};
inline std::string theme = kDefaultTheme;  // main thread at start-up, user-interface thread after
// Passes a looping playback makes before it stops by itself; 0 = until stopped. A preference kept in
// playback.txt beside the executable, not in the session file. Written by the page, read by the player.
inline std::atomic<int32_t> playRepeat{0};
// Seconds the page counts down before its Start button starts the auto-clicker: 0 to 10, kept in
// clickdelay.txt. User-interface thread.
inline std::atomic<int32_t> clickStartDelay{0};

// ---- the program's own windows --------------------------------------------------------------------
// Screen rectangles of the main window and the open panel windows, which the auto-clicker never
// clicks: the user-interface thread notes them once the main window shows, after each move or
// resize, at every status read and whenever the auto-clicker asks before a run's first click; the
// auto-clicker reads them.
inline constexpr size_t kOwnWindowSlots = 6;
inline std::mutex ownWindowsLock;
inline int32_t ownWindowRects[kOwnWindowSlots][4] =
    {};                            // left, top, right, bottom; guarded by ownWindowsLock
inline size_t ownWindowCount = 0;  // guarded by ownWindowsLock
// When they were noted (counter value; guarded by ownWindowsLock). Notes older than
// kOwnWindowsTrustMs are not trusted: the page stops taking the status while the main window is
// hidden or minimized. While something runs and it shows, it takes it once a second.
inline int64_t ownWindowsNoted = 0;
inline constexpr int64_t kOwnWindowsTrustMs = 3000;
// Asks the user-interface thread to note our windows soon (ownWindowsNoted changes once it has).
// Installed by the main instance, null before and after its window loop; any thread.
inline std::atomic<void (*)()> ownWindowsNoter{nullptr};
// The auto-clicker is on but waits, without clicking or counting, because the pointer is over one
// of the program's own windows. Auto-clicker worker writes.
inline std::atomic<bool> clickerWaiting{false};
// The system refused the last input the auto-clicker or key spammer sent (lock screen, UAC prompt):
// it was not counted, and the worker keeps trying. Those workers write.
inline std::atomic<bool> inputBlocked{false};
// How the time-critical threads are scheduled (plat::SchedulingKind and its level), the least any of
// them got: each notes its own as it starts (noteScheduling, bridge/texts.h).
inline std::atomic<int32_t> schedulingKind{0};
inline std::atomic<int32_t> schedulingLevel{0};
inline std::atomic<int32_t> schedulingNoted{0};  // how many threads noted theirs

// ---- session -----------------------------------------------------------------------------------------
inline std::string sessionPath;  // set once at start-up, before any save can run
// Set at start-up when a session file that could not be loaded could not be moved aside either: no
// save replaces it during this run.
inline std::atomic<bool> sessionSavesBlocked{false};

// The current profile, or nothing when the index is out of range. The caller holds profilesLock.
Profile* currentProfileEntry();

// The name of the profile that start-up creates when no session could be loaded.
inline constexpr const char* kDefaultProfileName = "Default Tracking Profile";

// Puts the recording switches and playback values back to their defaults. No lock.
void trackerDefaults();

// Puts the four hotkeys back to F8, F7, F6 and F9 (the key-spam target is a profile setting).
void hotkeyDefaults();

// "Recording" if recording, else "Playing" if playing, else "Idle".
const char* trackerState();

// Puts every item back to its program-start default (tests start from a fresh state with it).
void resetStateForTests();

}  // namespace rv
