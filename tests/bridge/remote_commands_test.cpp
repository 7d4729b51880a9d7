#include "bridge/remote_commands.h"

#include <functional>

#include "bridge/json_text.h"
#include "bridge/macro_jobs.h"
#include "bridge/panel_messages.h"
#include "bridge/texts.h"
#include "engine/control.h"
#include "state/profile_settings.h"
#include "state/settings.h"
#include "support/fresh_state.h"

namespace {

class RemoteCommands : public FreshState {
  protected:
    void SetUp() override {
        FreshState::SetUp();
        rv::profiles = {rv::Profile{"Default", "", {}}, rv::Profile{"Night shift", "", {}}};
        rv::currentProfile = 0;
        rv::refreshProfileSettings();
    }
    void TearDown() override {
        fake::onSleep(nullptr);
        while (rv::runNextMacroJob()) {
        }
        FreshState::TearDown();
    }
    static std::string send(const std::string& text) {
        return rv::servePanelMessage(text.data(), text.size());
    }
    // The control thread, carrying out requests whenever the command waits for it.
    static void controlThreadRuns() {
        fake::onSleep([](int64_t) {
            static bool inside = false;
            if (inside) return;
            inside = true;
            rv::controlPass();
            inside = false;
        });
    }
    // Everything a command could change.
    static std::string snapshot() {
        std::lock_guard<std::mutex> lock(rv::profilesLock);
        std::string text = rv::settingsText() + std::to_string(rv::currentProfile) + "|" +
                           std::to_string(rv::hkAuto.load()) + "|" + std::to_string(rv::playRepeat.load()) +
                           "|" + std::to_string(rv::autoClicking.load()) +
                           std::to_string(rv::playing.load()) + std::to_string(rv::recording.load());
        for (const rv::Profile& profile : rv::profiles)
            text += "|" + profile.settingsText + "#" + std::to_string(profile.events.size());
        return text;
    }
    // N of a {"job":N} reply (job numbers run on through the whole test program).
    static std::string jobOf(const std::string& reply) {
        EXPECT_EQ(0u, reply.find("{\"job\":")) << reply;
        return reply.substr(7, reply.size() - 8);
    }
    void writeMacro(const std::string& name, const std::string& text) {
        writeFile("Tapforge/macros/" + name + ".rvm", text);
    }
};

TEST_F(RemoteCommands, RefusedCommandsChangeNothingAndSayWhy) {
    struct Case {
        const char* message;
        const char* why;
        std::function<void()> before;
    };
    const Case cases[] = {
        {"setSettings|sms=250,nope=1", "No setting named \"nope\".", nullptr},
        {"setSettings|sms=250,ss=100000", "ss takes a whole number from 0 to 99999.", nullptr},
        {"setSettings|tspd=20", "tspd takes a number from 0.1 to 10.", nullptr},
        {"setSettings|tloop=2", "tloop takes 0 or 1.", nullptr},
        {"setSettings|sms=2.5", "sms takes a whole number from 0 to 99999.", nullptr},
        {"setSettings|sms=12px", "sms takes a whole number from 0 to 99999.", nullptr},
        {"setSettings|tspd=1.2.3", "tspd takes a number from 0.1 to 10.", nullptr},
        {"setSettings|hkAuto=118", "hkAuto: that key is taken already.", nullptr},
        // Two hotkeys changed onto one key; the key to spam on a hotkey's; a hotkey's modifiers making
        // the pair another hotkey has.
        {"setSettings|hkAuto=121,hkKeySpam=121", "hkAuto: that key is taken already.", nullptr},
        {"setSettings|keySpamTarget=119", "keySpamTarget: that key is taken already.", nullptr},
        {"setSettings|hkAutoModifiers=0", "hkAutoModifiers: that key is taken already.",
         [] { rv::hkAuto = 118, rv::hkAutoModifiers = 2; }},
        {"setSettings|alwaysOnTop=1", "No setting named \"alwaysOnTop\".", nullptr},
        {"setSettings|sms", "\"sms\" is not NAME=VALUE.", nullptr},
        {"useProfile|Nobody", "No profile named \"Nobody\". The profiles: \"Default\", \"Night shift\".",
         nullptr},
        {"useProfile|Night shift", "Stop the recording first.", [] { rv::recording = true; }},
        {"startFunction|play", "The current profile has no recording to play.", nullptr},
        {"startFunction|record", "Stop the playback first.", [] { rv::playing = true; }},
        {"toggleFunction|play", "Stop the recording first.", [] { rv::recording = true; }},
        {"startFunction|dance", "Unknown function \"dance\".", nullptr},
        {"playMacro|20||Log in", "The speed must be a number from 0.1 to 10.", nullptr},
        {"playMacro||-1|Log in", "The passes must be a whole number from 0 (until stopped) to 1000000.",
         nullptr},
        {"playMacro|||", "", nullptr},
        {"playMacro||Log in", "The request is malformed.", nullptr},
        {"playMacro|||Log in", "A playback runs already; stop it first.", [] { rv::playing = true; }},
        {"playMacroFile|||", "No macro file was named.", nullptr},
    };
    for (const Case& c : cases) {
        rv::recording = false, rv::playing = false;
        if (c.before) c.before();
        const std::string before = snapshot();
        const std::string reply = send(c.message);
        EXPECT_EQ(0u, reply.find("{\"ok\":false,\"message\":")) << c.message << " → " << reply;
        if (*c.why) {
            EXPECT_NE(reply.find(rv::jsonString(c.why)), std::string::npos) << c.message << " → " << reply;
        }
        EXPECT_EQ(before, snapshot()) << c.message;
        EXPECT_FALSE(rv::runNextMacroJob()) << c.message;
    }
}

TEST_F(RemoteCommands, SetSettingsSetsEveryNamedSettingAndTheProfileKeepsThem) {
    EXPECT_EQ(R"({"ok":true,"message":"Set 4 settings."})",
              send("setSettings|sms=250,tspd=2.5,tloop=1,ksms=40"));
    EXPECT_EQ(250, rv::sms.load());
    EXPECT_EQ(2.5f, rv::tspd.load());
    EXPECT_TRUE(rv::tloop.load());
    EXPECT_EQ(40, rv::ksms.load());
    EXPECT_EQ(rv::profileSettingsText(), rv::profiles[0].settingsText);
    // A free key as the clicker's hotkey.
    EXPECT_EQ(R"({"ok":true,"message":"Set 1 setting."})", send("setSettings|hkAuto=121"));
    EXPECT_EQ(121, rv::hkAuto.load());
    // A hotkey's modifiers, named as the status says them; the key list as its text, checked whole.
    EXPECT_EQ(R"({"ok":true,"message":"Set 2 settings."})",
              send("setSettings|hkAutoModifiers=3,keySpamKeys=66.67"));
    EXPECT_NE(send("getStatus|").find(R"("clicker":"Ctrl+Shift+Key[121]")"), std::string::npos);
    EXPECT_EQ("66.67", rv::keyListText(rv::keySpamKeys));
    EXPECT_NE(send("setSettings|keySpamKeys=66.6").find("\"ok\":false"), std::string::npos);
    EXPECT_NE(send("setSettings|hkAutoModifiers=16").find("\"ok\":false"), std::string::npos);
    EXPECT_EQ("66.67", rv::keyListText(rv::keySpamKeys));
    EXPECT_EQ(3, rv::hkAutoModifiers.load());
    // A key another hotkey has, with other modifiers in the same request; optional hotkeys that are
    // none never share their key.
    EXPECT_EQ(R"({"ok":true,"message":"Set 2 settings."})", send("setSettings|hkAuto=118,hkAutoModifiers=2"));
    EXPECT_EQ(R"({"ok":true,"message":"Set 2 settings."})", send("setSettings|hkStopAll=0,hkProfile1=0"));
    EXPECT_EQ(rv::profileSettingsText(), rv::profiles[0].settingsText);
}

TEST_F(RemoteCommands, AProfileIsFoundByItsNameThenIgnoringCase) {
    rv::profiles[1].settingsText = "0,0,0,777,0,0,1,10,0,0,0,0,0,0,100,1,10,32";
    EXPECT_NE(send("useProfile|night SHIFT").find("\"ok\":true"), std::string::npos);
    EXPECT_EQ(1, rv::currentProfile);
    EXPECT_EQ(777, rv::sms.load());
    // Two names that differ only in case: the loose match is no match.
    rv::profiles.push_back(rv::Profile{"NIGHT shift", "", {}});
    EXPECT_NE(send("useProfile|night shift").find("\"ok\":false"), std::string::npos);
    EXPECT_NE(send("useProfile|Default").find("\"ok\":true"), std::string::npos);
    EXPECT_EQ(0, rv::currentProfile);
}

TEST_F(RemoteCommands, SwitchesAnswerOnceTheControlThreadHasCarriedThemOut) {
    controlThreadRuns();
    EXPECT_EQ(R"({"ok":true,"message":"Started the auto-clicker."})", send("startFunction|clicker"));
    EXPECT_TRUE(rv::autoClicking.load());
    EXPECT_EQ(R"({"ok":true,"message":"The auto-clicker runs already."})", send("startFunction|clicker"));
    EXPECT_EQ(R"({"ok":true,"message":"Started the key spammer."})", send("toggleFunction|keyspam"));
    EXPECT_EQ(R"({"ok":true,"message":"Stopped everything."})", send("stopFunction|all"));
    EXPECT_FALSE(rv::autoClicking.load() || rv::keySpamming.load());
    EXPECT_EQ(R"({"ok":true,"message":"Nothing runs."})", send("stopFunction|all"));
    EXPECT_EQ(R"({"ok":true,"message":"The recording is not running."})", send("stopFunction|record"));
}

// The clicker reaches its count and stops by itself just before the control thread takes the stop,
// which then starts it again: the stop is carried out all the same.
TEST_F(RemoteCommands, AStopStopsAFunctionThatStoppedByItselfMeanwhile) {
    rv::autoClicking = true;
    fake::onSleep([](int64_t) {
        static bool inside = false;
        if (inside) return;
        inside = true;
        static bool first = true;
        if (first) rv::autoClicking = false;
        first = false;
        rv::controlPass();
        inside = false;
    });
    EXPECT_EQ(R"({"ok":true,"message":"Stopped the auto-clicker."})", send("stopFunction|clicker"));
    EXPECT_FALSE(rv::autoClicking.load());
}

TEST_F(RemoteCommands, PlayingAMacroLoadsItIntoTheProfileSetsThePlaybackAndStartsIt) {
    controlThreadRuns();
    writeMacro("Log in", "Ravelin macro 1\n0 move 10 20\n100 move 30 40\n");
    rv::profiles[0].events = {rv::MacroEvent{}};
    std::string job = jobOf(send("playMacro|2|3|Log in"));
    ASSERT_TRUE(rv::runNextMacroJob());
    EXPECT_EQ(R"({"done":true,"ok":true,"message":"Playing \"Log in\" (2 steps).","name":"Log in"})",
              send("macroJob|" + job));
    EXPECT_TRUE(rv::playing.load());
    EXPECT_EQ(2u, rv::profiles[0].events.size());
    EXPECT_EQ(2.0f, rv::tspd.load());
    EXPECT_TRUE(rv::tloop.load());
    EXPECT_EQ(3, rv::playRepeat.load());

    // A file that is no macro file: refused with its problems, and the recording stays.
    rv::playing = false;
    writeFile("other.txt", "Ravelin macro 1\n0 jump 1 2\n");
    job = jobOf(send("playMacroFile||1|" + inFolder("other.txt")));
    ASSERT_TRUE(rv::runNextMacroJob());
    const std::string outcome = send("macroJob|" + job);
    EXPECT_NE(outcome.find("\"ok\":false"), std::string::npos) << outcome;
    EXPECT_NE(outcome.find("line 2"), std::string::npos) << outcome;
    EXPECT_EQ(2u, rv::profiles[0].events.size());
    EXPECT_FALSE(rv::playing.load());
    EXPECT_TRUE(rv::tloop.load());  // the passes of a refused playback are not applied
}

// A macro of one step has played to its end before the command looks: it did start.
TEST_F(RemoteCommands, AShortPlaybackThatHasEndedAlreadyCountsAsStarted) {
    writeMacro("Tap", "Ravelin macro 1\n0 move 10 20\n");
    fake::onSleep([](int64_t) {
        static bool inside = false;
        if (inside) return;
        inside = true;
        rv::controlPass();
        rv::playing = false;  // the player's whole pass
        inside = false;
    });
    const std::string job = jobOf(send("playMacro|||Tap"));
    ASSERT_TRUE(rv::runNextMacroJob());
    EXPECT_NE(send("macroJob|" + job).find("\"ok\":true,\"message\":\"Playing \\\"Tap\\\" (1 step).\""),
              std::string::npos);
}

TEST_F(RemoteCommands, StatusTellsWhatRunsTheFiguresAndTheProfile) {
    rv::currentProfile = 1;
    rv::profiles[1].events.resize(5);
    rv::autoClicking = true;
    rv::clickCount = 12;
    const std::string status = send("getStatus|");
    for (const char* part :
         {R"("profile":"Night shift","profileIndex":1)", R"("clicker":{"running":true,"clicks":12,)",
          R"("record":{"running":false,"steps":5})", R"("keyspam":{"running":false,)"})
        EXPECT_NE(status.find(part), std::string::npos) << part << " in " << status;
    // A very long name is cut so that the reply fits the pipe.
    rv::profiles[1].name = std::string(5000, 'n');
    EXPECT_LE(send("getStatus|").size(), 4096u);
    EXPECT_NE(send("getVersion|").find("{\"version\":\""), std::string::npos);
}

}  // namespace
