// A panel window in step with the main instance: the requests the main instance answers, the
// field-by-field change it applies, and the panel's side, with the fake pipe handing each request to
// the main instance's own handler (this process plays both).
#include "bridge/panel_sync.h"
#include "state/page_notice.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "bridge/panel_messages.h"
#include "bridge/texts.h"
#include "state/numbers.h"
#include "state/profile_settings.h"
#include "support/fresh_state.h"

namespace {

class PanelSync : public FreshState {
  protected:
    void SetUp() override {
        FreshState::SetUp();
        rv::profiles = {rv::Profile{"p", "", {}}};
        rv::resetPanelSyncForTests();
        fake::setPipeResponder(&rv::servePanelMessage);
    }
    void TearDown() override {
        rv::resetPanelSyncForTests();
        FreshState::TearDown();
    }
    static std::string serve(const std::string& text) {
        return rv::servePanelMessage(text.data(), text.size());
    }
    // The messages the panel sent that are not requests.
    static std::vector<std::string> changesSent() {
        std::vector<std::string> out;
        for (const std::string& message : fake::sentMessages()) {
            if (message != "getSettings|" && message != "getTrackerStatus|") out.push_back(message);
        }
        return out;
    }
};

TEST_F(PanelSync, RequestsAreAnsweredWithoutTheMainPagesSideEffects) {
    rv::ss = 3;
    rv::autoClicking = true;
    rv::panelHover = true;
    EXPECT_EQ(serve("getSettings|"), rv::settingsText());
    const std::string status = serve("getPanelStatus|");
    EXPECT_EQ(status, rv::panelStatusText());
    EXPECT_NE(status.find("\"autoClicking\":true"), std::string::npos) << status;
    EXPECT_NE(status.find("\"keySpamming\":false"), std::string::npos) << status;
    EXPECT_NE(status.find("\"hkAuto\":\""), std::string::npos) << status;
    rv::clickCount = 12;
    const std::string full = serve("getTrackerStatus|");
    EXPECT_NE(full.find("\"clicks\":12,"), std::string::npos) << full;
    // The hover of a dragged panel stays for the main page to see; no status file is written.
    EXPECT_TRUE(rv::panelHover);
    EXPECT_FALSE(plat::pathExists(inFolder("status.txt")));
    // One-way messages get no reply and still work.
    EXPECT_EQ(serve("toggleSpammer|"), "");
    EXPECT_TRUE(rv::clickerToggleRequest);
    EXPECT_EQ(serve("getSettings"), "");  // no bar: no message
}

// What a panel shows beyond the settings goes through the same calls as in the main window: the
// start delay, the passes of a replay, point picking and why a key was refused.
TEST_F(PanelSync, PanelsReachTheMainWindowsOtherCalls) {
    const uint64_t before = rv::pageStateSignature();
    EXPECT_EQ(serve("setClickStartDelay|3"), "");
    EXPECT_EQ(serve("setPlayRepeat|12"), "");
    EXPECT_EQ(serve("getClickStartDelay|"), "3");
    EXPECT_EQ(serve("getPlayRepeat|"), "12");
    EXPECT_NE(rv::pageStateSignature(), before);    // the main page is told
    EXPECT_EQ(serve("setClickStartDelay|11"), "");  // out of range: kept
    EXPECT_EQ(serve("getClickStartDelay|"), "3");
    EXPECT_EQ(serve("getReassignRefusal|"), "null");
    rv::reassignRefusedBy = 1, rv::reassignRefusedCode = 0x75;
    EXPECT_NE(serve("getReassignRefusal|").find("\"key\":\"F6\""), std::string::npos);
    EXPECT_FALSE(rv::pickLocationRequest);
    EXPECT_EQ(serve("pickLocation|"), "");
    EXPECT_TRUE(rv::pickLocationRequest);
    EXPECT_EQ(serve("getReplacedRecording|"), "0");

    // A stop from a panel leaves out the click on that panel; a start, or a rectangle that is none,
    // trims nothing.
    struct Case {
        const char* message;
        bool recording, trimmed;
    };
    for (const Case& c :
         {Case{"toggleRecord|10,20,300,400", true, true}, Case{"toggleRecord|10,20,300,400", false, false},
          Case{"toggleRecord|0,0,0,0", true, false}, Case{"toggleRecord|1,2,x,4", true, false}}) {
        rv::recording = c.recording;
        rv::recordTrimRequest = false, rv::recordToggleRequest = false;
        EXPECT_EQ(serve(c.message), "");
        EXPECT_TRUE(rv::recordToggleRequest) << c.message;
        EXPECT_EQ(rv::recordTrimRequest, c.trimmed) << c.message << c.recording;
        if (c.trimmed) {
            EXPECT_EQ(std::vector<int32_t>(
                          {rv::recordTrimLeft, rv::recordTrimTop, rv::recordTrimRight, rv::recordTrimBottom}),
                      std::vector<int32_t>({10, 20, 300, 400}));
        }
    }
    rv::recording = false;
}

TEST_F(PanelSync, ChangeSettingsSetsOnlyTheNamedMembers) {
    struct Case {
        const char* payload;
        int applied;
        int32_t sms, ss, ksms;
    };
    for (const Case& c : {Case{"sms=250", 1, 250, 0, 100}, Case{"ss=2,ksms=300", 2, 100, 2, 300},
                          Case{"sms=250,bogus=1,ss=9", 1, 250, 0, 100}, Case{"sms=abc", 0, 100, 0, 100},
                          Case{"fixedX=5", 0, 100, 0, 100}, Case{"sms", 0, 100, 0, 100},
                          Case{"", 0, 100, 0, 100}, Case{"sms= 42tail", 1, 42, 0, 100},
                          // Values the page would refuse are refused here too.
                          Case{"sms=-5", 0, 100, 0, 100}, Case{"ss=2,sms=100000", 1, 100, 2, 100},
                          Case{"ksms=99999,sbtn=3", 1, 100, 0, 99999}, Case{"rptTimes=0", 0, 100, 0, 100},
                          // Preferences change only through setAppSetting.
                          Case{"alwaysOnTop=1", 0, 100, 0, 100}, Case{"windowWidth=900", 0, 100, 0, 100}}) {
        rv::resetStateForTests();
        rv::profiles = {rv::Profile{"p", "", {}}};
        EXPECT_EQ(rv::applySettingChanges(c.payload), c.applied) << c.payload;
        EXPECT_EQ(rv::sms, c.sms) << c.payload;
        EXPECT_EQ(rv::ss, c.ss) << c.payload;
        EXPECT_EQ(rv::ksms, c.ksms) << c.payload;
        EXPECT_EQ(rv::fixedX, 0) << c.payload;
        // The profile keeps the values in use whenever something changed.
        EXPECT_EQ(rv::profiles[0].settingsText, c.applied ? rv::profileSettingsText() : "") << c.payload;
    }
}

TEST_F(PanelSync, APanelEditChangesOnlyWhatTheUserEdited) {
    // The panel opened with the settings of the time ...
    rv::seedPanelSettings(rv::profileSettingsText());
    // ... then the main window switched to a profile with other clicker and key-spam values.
    rv::applyProfileSettingsText("0,0,7,0,1,0,0,5,1,0,0,0,0,3,0,0,2,32");
    // The panel's page still shows the old values and the user sets the milliseconds to 250.
    rv::panelUpdateGroup(rv::SettingsGroup::Clicker, "0,0,0,250,0,0,1,10,0");
    EXPECT_EQ(changesSent(), std::vector<std::string>{"changeSettings|sms=250"});
    rv::handlePanelMessage("changeSettings|sms=250", 22);
    EXPECT_EQ(rv::profileSettingsText(), "0,0,7,250,1,0,0,5,1,0,0,0,0,3,0,0,2,32");

    // Once the panel has read the settings, its page shows them and an edit there is again one field.
    EXPECT_EQ(rv::panelGetSettings(), rv::settingsText());
    rv::panelUpdateGroup(rv::SettingsGroup::KeySpam, "0,0,3,0,1,2");
    EXPECT_EQ(changesSent().back(), "changeSettings|ksRptMode=1");
    // A group that changes nothing sends nothing.
    const size_t sent = changesSent().size();
    rv::panelUpdateGroup(rv::SettingsGroup::KeySpam, "0,0,3,0,1,2");
    EXPECT_EQ(changesSent().size(), sent);
}

// Every field a panel edits is read from its own place of the seed: the page's groups with the
// seed's values change nothing, and each one field changed is sent under its own name.
TEST_F(PanelSync, EverySeededFieldIsReadBackInItsPlace) {
    rv::seedPanelSettings("1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,65");
    const char* clicker = "1,2,3,4,5,6,7,8,9";
    const char* keySpam = "12,13,14,15,16,17";
    rv::panelUpdateGroup(rv::SettingsGroup::Clicker, clicker);
    rv::panelUpdateGroup(rv::SettingsGroup::KeySpam, keySpam);
    EXPECT_EQ(changesSent(), std::vector<std::string>{});
    const char* names[] = {"sh",      "sm",  "ss",  "sms", "sbtn", "stype",     "rptMode",   "rptTimes",
                           "locMode", "ksh", "ksm", "kss", "ksms", "ksRptMode", "ksRptTimes"};
    for (size_t i = 0; i < 15; ++i) {
        rv::resetPanelSyncForTests();
        fake::setPipeResponder(nullptr);
        rv::seedPanelSettings("1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,65");
        std::vector<std::string> fields = rv::splitFields(i < 9 ? clicker : keySpam, ',');
        fields[i < 9 ? i : i - 9] = "0";
        std::string group;
        for (const std::string& field : fields) group += (group.empty() ? "" : ",") + field;
        rv::panelUpdateGroup(i < 9 ? rv::SettingsGroup::Clicker : rv::SettingsGroup::KeySpam, group);
        EXPECT_EQ(changesSent().back(), std::string("changeSettings|") + names[i] + "=0");
    }
}

TEST_F(PanelSync, WithoutWordFromTheMainInstanceTheGroupGoesAsItIs) {
    fake::setPipeResponder(nullptr);
    rv::panelUpdateGroup(rv::SettingsGroup::Clicker, "0,0,1,500,0,0,1,10,0");
    EXPECT_EQ(changesSent(), std::vector<std::string>{"updateSpammer|0,0,1,500,0,0,1,10,0"});
    // A malformed group is the main instance's to refuse, as from its own page.
    fake::setPipeResponder(&rv::servePanelMessage);
    rv::seedPanelSettings(rv::profileSettingsText());
    rv::panelUpdateGroup(rv::SettingsGroup::KeySpam, "0,0,x,1,1,1");
    EXPECT_EQ(changesSent().back(), "updateKeySpam|0,0,x,1,1,1");
    // No main instance: the panel's reads come back empty and the page keeps what it shows; after a
    // read that got no answer the panel asks again only after a pause.
    fake::setPipeServerPresent(false);
    EXPECT_EQ(rv::panelGetSettings(), "");
    fake::setPipeServerPresent(true);
    const size_t asked = fake::sentMessages().size();
    EXPECT_EQ(rv::panelGetStatus(), "");
    EXPECT_EQ(fake::sentMessages().size(), asked);
    fake::advance(fake::kFrequency * 21 / 10);
    EXPECT_EQ(rv::panelGetStatus(), rv::statusText());
}

TEST_F(PanelSync, ASeedOfTheWrongShapeIsIgnored) {
    fake::setPipeResponder(nullptr);
    for (const char* seed : {"", "1,2,3", "0,0,0,100,0,0,1,10,0,0,0,0,0,0,100,1,x,32"}) {
        rv::resetPanelSyncForTests();
        rv::seedPanelSettings(seed);
        rv::panelUpdateGroup(rv::SettingsGroup::KeySpam, "0,0,0,100,1,9");
        EXPECT_EQ(changesSent().back(), "updateKeySpam|0,0,0,100,1,9") << seed;
    }
}

}  // namespace

namespace {

std::atomic<int> panelTold{0};

// Waits up to `milliseconds` of real time for `done`.
template <typename Done>
bool within(int milliseconds, Done done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace

// The panel is told once a watch is made (what changed before went untold) and at every notice;
// without a main instance, or after it closed the watch, it watches again a moment later; a stop ends
// it at once, also while it waits to try again.
TEST_F(PanelSync, ThePanelWatchIsToldOfChangesAndComesBackAfterALoss) {
    panelTold = 0;
    fake::setPipeServerPresent(false);
    std::thread watch([] { rv::runPanelWatch([] { ++panelTold; }); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(panelTold, 0);
    fake::setPipeServerPresent(true);
    EXPECT_TRUE(within(rv::kPanelWatchRetryMs + 500, [] { return panelTold == 1; }));
    plat::notifyPipeWatchers();
    plat::notifyPipeWatchers();
    EXPECT_TRUE(within(500, [] { return panelTold == 3; })) << panelTold;

    fake::endPipeWatches(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    fake::endPipeWatches(false);
    EXPECT_EQ(fake::watchesMade(), 1);
    EXPECT_TRUE(within(rv::kPanelWatchRetryMs + 500, [] { return panelTold == 4; })) << panelTold;
    EXPECT_EQ(fake::watchesMade(), 2);

    fake::endPipeWatches(true);  // it now waits to try again
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto stopped = std::chrono::steady_clock::now();
    rv::stopPanelWatch();
    watch.join();
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::milliseconds(200));
}
