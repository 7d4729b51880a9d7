// How a panel window stays in step with the main instance. A panel keeps no settings of its own: the
// main instance tells it of each change (a watch on the panel pipe), its page then asks for the
// settings and the running state (a request with a reply), and an edit made in it sends only the
// fields the user changed, so a change made meanwhile anywhere else (main page, another panel,
// profile switch, reset, pick) stays.
//
// Messages added to the one-way ones of panel_messages.h:
//   getSettings|      reply: the getSettings text of the main instance
//   getPanelStatus|   reply: panelStatusText (running flags, hotkey and key names, pending reassignment)
//   getTrackerStatus| reply: the main page's status, live figures included
//   getClickStartDelay|, getPlayRepeat|, getReassignRefusal|, getReplacedRecording|,
//   restoreRecording|  reply: as the main page's calls of those names
//   setClickStartDelay|seconds, setPlayRepeat|passes, pickLocation|, togglePlay|   as the main
//                     page's calls; no reply
//   toggleRecord|left,top,right,bottom   the recorder's toggle from a panel whose window has that
//                     screen rectangle; no reply
//   changeSettings|key=value,...   sets the named clicker or key-spam members, or settings kept by
//                     name (hotkeys excepted); no reply
//   watchChanges|     kept open; "changed|" at each change of what the main page shows (platform.h)
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace rv {

// ---- main instance (pipe server thread) ---------------------------------------------------------

// The reply to a request message (name and payload already split), or nothing when the name is no
// request.
std::optional<std::string> answerPanelRequest(std::string_view name, std::string_view payload);

// A toggleRecord message: starts or stops the recorder; a stop leaves out of the recording the
// trailing click on the panel window whose rectangle ("left,top,right,bottom") is given.
void toggleRecordFromPanel(std::string_view rectangle);

// Applies a changeSettings payload: comma-separated "key=value" fields, each key a setting of the
// clicker or key-spam group of the settings table or one kept by name (not a hotkey), each value an
// integer within that setting's range. The first bad field ends it; what came before it stays, the
// profile's settings text is refreshed when anything was applied, and appsettings.txt is saved when a
// shared setting was. Returns how many fields were applied. Main page, panel pipe.
int applySettingChanges(std::string_view payload);

// ---- panel instance (user-interface thread) -----------------------------------------------------

// How long a panel's page call waits for the main instance's reply, in milliseconds.
inline constexpr int kPanelRequestTimeoutMs = 150;

// Starts the panel from the profile settings text the main instance put on its command line.
void seedPanelSettings(std::string_view profileSettingsText);

// The panel's getSettings and getTrackerStatus (the main page's status, live figures included): the
// main instance's reply, or the empty text when it
// gave none (the page then keeps what it shows).
std::string panelGetSettings();
std::string panelGetStatus();
// Another request of the list above (from getClickStartDelay to restoreRecording): the main
// instance's reply, or the empty text.
std::string panelRequest(const char* name);

// The panel's updateSpammer and updateKeySpam: `stripped` is the page's whole group. Only the fields
// that differ from what the main instance last reported go out (changeSettings); a group that is not
// all integers, or a panel that has never heard from the main instance, sends the group as it is.
enum class SettingsGroup { Clicker, KeySpam };
void panelUpdateGroup(SettingsGroup group, std::string_view stripped);

// The panel's watch of the main instance, on a thread of its own until stopPanelWatch: `told` runs
// (on that thread) each time a watch is made (whatever changed before went untold) and for each
// change the main instance tells of. With no main instance to watch, or after the watch ended, it
// tries again every kPanelWatchRetryMs milliseconds.
inline constexpr int kPanelWatchRetryMs = 2000;
void runPanelWatch(void (*told)());
// Ends runPanelWatch (any thread).
void stopPanelWatch();

// Forgets what the main instance reported (tests).
void resetPanelSyncForTests();

}  // namespace rv
