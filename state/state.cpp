#include "state/state.h"

#include "state/preferences.h"
#include "state/profile_settings.h"
#include "state/save_problems.h"
#include "state/settings.h"

namespace rv {

Profile* currentProfileEntry() {
    if (currentProfile < 0 || static_cast<size_t>(currentProfile) >= profiles.size()) return nullptr;
    return &profiles[static_cast<size_t>(currentProfile)];
}

const char* trackerState() {
    if (recording.load()) return "Recording";
    if (playing.load()) return "Playing";
    return "Idle";
}

void trackerDefaults() {
    settingsDefaults(SettingGroup::Tracker);
}

void hotkeyDefaults() {
    settingsDefaults(SettingGroup::Hotkey);
}

void resetStateForTests() {
    profileDefaults();
    trackerDefaults();
    hotkeyDefaults();
    settingsDefaults(SettingStore::AppSettings);
    profileHotkeyRequest = -1;
    clickerHoldRequest = -1, keySpamHoldRequest = -1, playHoldRequest = -1, stopAllRequest = false;
    cornerSince = 0, clickerStartedAt = 0, keySpamStartedAt = 0, playStartedAt = 0;
    {
        std::lock_guard<std::mutex> lock(profilesLock);
        profiles.clear();
        currentProfile = 0;
        recordingStart = 0;
        heldEvents.clear();
        replacedEvents.clear();
        replacedProfile = -1;
    }
    recording = false, playing = false, autoClicking = false, keySpamming = false, panelHover = false;
    recordToggleRequest = false, playToggleRequest = false, clickerToggleRequest = false;
    keySpamToggleRequest = false, pickLocationRequest = false, pickSequenceRequest = false,
    reassignTarget = kNoTarget, reassignCode = 0;
    reassignRefusedBy = kNoTarget, reassignRefusedCode = 0;
    recordTrimRequest = false, recordTrimLeft = 0, recordTrimTop = 0, recordTrimRight = 0,
    recordTrimBottom = 0;
    clickCount = 0, keyPressCount = 0, sequenceRounds = 0, lastClickRun = 0, lastKeyPressRun = 0,
    counterFrequency = 1, lastPointerPoint = 0;
    clickMeter.noted = 0, clickMeter.runStart = 0, keyPressMeter.noted = 0, keyPressMeter.runStart = 0;
    playPass = 0, playEventIndex = 0, playEventTotal = 0;
    playRangeFrom = -1, playRangeTo = -1;
    for (auto& flag : keyDownTable) flag = 0;
    for (auto& flag : buttonDownTable) flag = 0;
    modifierKeysDown = 0, reassignLoneModifier = 0, keySpamKeyInTurn = 0, keySpamTurn = 0;
    appRunning = true;
    panelProcesses.clear();
    settingsDefaults(SettingStore::Preferences);
    windowPositionKnown = false;
    resetPreferencesForTests();
    clearSaveProblems();
    theme = kDefaultTheme;
    settingsDefaults(SettingStore::OwnFile);
    {
        std::lock_guard<std::mutex> lock(ownWindowsLock);
        ownWindowCount = 0;
        ownWindowsNoted = 0;
    }
    clickerWaiting = false;
    inputBlocked = false;
    schedulingKind = 0, schedulingLevel = 0, schedulingNoted = 0;
    sessionPath.clear();
    sessionSavesBlocked = false;
}

}  // namespace rv
