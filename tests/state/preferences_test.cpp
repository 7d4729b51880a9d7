#include "state/preferences.h"

#include <filesystem>

#include "bridge/bindings.h"
#include "state/profile_settings.h"
#include "state/session_file.h"
#include "support/fresh_state.h"

namespace {

const char* const kDefaultFile =
    "alwaysOnTop=0\r\nlaunchOnStartup=0\r\nstartMinimized=0\r\nhotkeysEnabled=1\r\ndisableAnimations=0\r\n"
    "windowX=0\r\nwindowY=0\r\nwindowWidth=420\r\nwindowHeight=560\r\nwindowMaximized=0\r\n";

class Preferences : public FreshState {
  protected:
    static std::string call(const char* name, const std::string& request) {
        return callMainBinding(name, request);
    }
    // Every preference that appsettings.txt holds, plus windowPositionKnown, in one line.
    static std::string preferences() {
        return std::to_string(rv::alwaysOnTop) + std::to_string(rv::launchOnStartup) +
               std::to_string(rv::startMinimized) + std::to_string(rv::hotkeysEnabled) +
               std::to_string(rv::disableAnimations) + " " + std::to_string(rv::windowX) + "," +
               std::to_string(rv::windowY) + " " + std::to_string(rv::windowWidth) + "x" +
               std::to_string(rv::windowHeight) + " max" + std::to_string(rv::windowMaximized) + " known" +
               std::to_string(rv::windowPositionKnown);
    }
};

}  // namespace

TEST_F(Preferences, AppSettingsLinesAreReadOneByOne) {
    struct Case {
        const char* file;
        const char* after;
    };
    const Case cases[] = {
        {"windowY=300\n", "00010 0,300 420x560 max0 known0"},
        {"windowX=-5\r\n", "00010 -5,0 420x560 max0 known1"},
        {"alwaysOnTop=true\n", "00010 0,0 420x560 max0 known0"},
        {"alwaysOnTop=1\n", "10010 0,0 420x560 max0 known0"},
        {"windowWidth=abc\nwindowHeight= 700px\n", "00010 0,0 420x700 max0 known0"},
        {"windowX=x\n", "00010 0,0 420x560 max0 known0"},
        {"AlwaysOnTop=1\nalwaysontop=1\nalwaysOnTop =1\n", "00010 0,0 420x560 max0 known0"},
        {"alwaysOnTop=1\nalwaysOnTop=0\nwindowMaximized=1", "00010 0,0 420x560 max1 known0"},
        {"\n\nno equals here\n=1\nstartMinimized=1\n", "00110 0,0 420x560 max0 known0"},
        {"hotkeysEnabled=0\r\ndisableAnimations=1\r\nlaunchOnStartup=1\r\n", "01001 0,0 420x560 max0 known0"},
        {"alwaysOnTop==1\nwindowWidth=5000\n", "00010 0,0 5000x560 max0 known0"},
        {"windowX=3000000000\n", "00010 0,0 420x560 max0 known0"},
    };
    for (const Case& c : cases) {
        rv::resetStateForTests();
        writeFile("appsettings.txt", c.file);
        rv::loadAppSettings();
        EXPECT_EQ(preferences(), c.after) << c.file;
    }
    std::filesystem::remove(inFolder("appsettings.txt"));
    rv::resetStateForTests();
    rv::loadAppSettings();
    EXPECT_EQ(preferences(), "00010 0,0 420x560 max0 known0");
}

TEST_F(Preferences, AppSettingsAreWrittenAsTenLinesAndReadBack) {
    rv::saveAppSettings();
    EXPECT_EQ(readFile("appsettings.txt"), kDefaultFile);

    rv::alwaysOnTop = true, rv::hotkeysEnabled = false, rv::windowX = -1200, rv::windowY = 40;
    rv::windowWidth = 800, rv::windowHeight = 600, rv::windowMaximized = true;
    rv::saveAppSettings();
    std::string saved = preferences();
    rv::resetStateForTests();
    rv::loadAppSettings();
    EXPECT_EQ(preferences(), saved.substr(0, saved.size() - 1) + "1");  // and the position is known
}

TEST_F(Preferences, AppSettingsTextHasTheFiveSwitches) {
    EXPECT_EQ(
        call("getAppSettings", "[]"),
        "{\"alwaysOnTop\":false,\"launchOnStartup\":false,\"startMinimized\":false,\"hotkeysEnabled\":true,"
        "\"disableAnimations\":false}");
    rv::alwaysOnTop = true, rv::hotkeysEnabled = false, rv::disableAnimations = true;
    EXPECT_EQ(
        rv::appSettingsText(),
        "{\"alwaysOnTop\":true,\"launchOnStartup\":false,\"startMinimized\":false,\"hotkeysEnabled\":false,"
        "\"disableAnimations\":true}");
}

TEST_F(Preferences, SetAppSettingTakesExactlyTwoFieldsAndAlwaysRewritesTheFile) {
    struct Case {
        const char* request;
        const char* after;  // preferences(); "" = the file is not written
    };
    const Case cases[] = {
        {"[\"startMinimized\",\"1\"]", "00110 0,0 420x560 max0 known0"},
        {"[\"alwaysOnTop\",1]", "10010 0,0 420x560 max0 known0"},
        {"[\"alwaysOnTop\",true]", "00010 0,0 420x560 max0 known0"},
        {"[\"alwaysOnTop\",\"true\"]", "00010 0,0 420x560 max0 known0"},
        {"[\"alwaysOnTop\",2]", "00010 0,0 420x560 max0 known0"},
        {"[\"hotkeysEnabled\",0]", "00000 0,0 420x560 max0 known0"},
        {"[\"disableAnimations\",\"1\"]", "00011 0,0 420x560 max0 known0"},
        {"[\"windowWidth\",\"1\"]", "00010 0,0 420x560 max0 known0"},  // not settable: file unchanged
        {"[\"unknown\",\"1\"]", "00010 0,0 420x560 max0 known0"},
        {"[\"alwaysOnTop\",1,1]", ""},
        {"[\"alwaysOnTop\"]", ""},
        {"[]", ""},
    };
    for (const Case& c : cases) {
        rv::resetStateForTests();
        std::filesystem::remove(inFolder("appsettings.txt"));
        EXPECT_EQ(call("setAppSetting", c.request), "") << c.request;
        if (*c.after == '\0') {
            EXPECT_FALSE(std::filesystem::exists(inFolder("appsettings.txt"))) << c.request;
            EXPECT_EQ(preferences(), "00010 0,0 420x560 max0 known0") << c.request;
            continue;
        }
        EXPECT_EQ(preferences(), c.after) << c.request;
        std::string written = readFile("appsettings.txt");
        rv::resetStateForTests();
        rv::loadAppSettings();
        std::string reloaded = c.after;
        reloaded.back() = '1';  // windowX is in the file, so the position counts as known
        EXPECT_EQ(preferences(), reloaded) << c.request << "\n" << written;
    }
    EXPECT_EQ(fake::startupRegistration(), std::nullopt);
}

TEST_F(Preferences, LaunchOnStartupFollowsTheRegistration) {
    call("setAppSetting", "[\"launchOnStartup\",\"1\"]");
    EXPECT_TRUE(rv::launchOnStartup);
    EXPECT_EQ(fake::startupRegistration(), "\"" + folder() + "/ravelin\"");
    EXPECT_NE(readFile("appsettings.txt").find("launchOnStartup=1\r\n"), std::string::npos);
    call("setAppSetting", "[\"launchOnStartup\",\"0\"]");
    EXPECT_FALSE(rv::launchOnStartup);
    EXPECT_EQ(fake::startupRegistration(), std::nullopt);

    // The system refuses: the page and the file show what is registered, not what was asked.
    fake::failRegistration(true);
    call("setAppSetting", "[\"launchOnStartup\",\"1\"]");
    EXPECT_FALSE(rv::launchOnStartup);
    EXPECT_NE(rv::appSettingsText().find("\"launchOnStartup\":false"), std::string::npos);
    EXPECT_NE(readFile("appsettings.txt").find("launchOnStartup=0\r\n"), std::string::npos);
    fake::failRegistration(false);
    call("setAppSetting", "[\"launchOnStartup\",\"1\"]");
    fake::failRegistration(true);
    call("setAppSetting", "[\"launchOnStartup\",\"0\"]");
    EXPECT_TRUE(rv::launchOnStartup) << "still registered: still shown on";
    call("resetEverything", "[]");
    EXPECT_TRUE(rv::launchOnStartup);
    EXPECT_NE(readFile("appsettings.txt").find("launchOnStartup=1\r\n"), std::string::npos);
}

TEST_F(Preferences, ThemeIsTheFirstLineWhenItIsANameElseModernBlue) {
    EXPECT_EQ(rv::loadTheme(), "modern-blue");
    struct Case {
        const char* file;
        const char* theme;
    };
    const Case cases[] = {
        {"dark", "dark"},
        {"dark\r\nlight\r\n", "dark"},
        {"dark\nlight", "dark"},
        {"", "modern-blue"},
        {"\r\ndark", "modern-blue"},
        // What the page could not have saved is not handed to panels either.
        {" spaced out \n", "modern-blue"},
        {"dark|1,2,3", "modern-blue"},
        {"dark\rx", "modern-blue"},
    };
    for (const Case& c : cases) {
        writeFile("theme.txt", c.file);
        EXPECT_EQ(rv::loadTheme(), c.theme) << c.file;
    }
}

TEST_F(Preferences, StatusFileHoldsExactlyTheText) {
    rv::writeStatusFile("{\"state\":\"Idle\"}");
    EXPECT_EQ(readFile("status.txt"), "{\"state\":\"Idle\"}");
    rv::writeStatusFile("x");
    EXPECT_EQ(readFile("status.txt"), "x");
}

TEST_F(Preferences, ResetEverythingStopsFirstThenRestoresDefaultsAndKeepsOtherProfiles) {
    rv::prepareSessionPath();
    rv::applySettingsLine("1,2,3,4,1,1,0,5,1,6,7,0,0,0,0,1,2.5,1,9,65,66,0,67,4,3,2,1,0,5,68,69");
    rv::autoClicking = true, rv::keySpamming = true, rv::playing = true;
    rv::alwaysOnTop = true, rv::startMinimized = true, rv::hotkeysEnabled = false,
    rv::disableAnimations = true;
    rv::windowX = 100, rv::windowY = 200, rv::windowWidth = 900, rv::windowHeight = 700,
    rv::windowMaximized = true;
    rv::windowPositionKnown = true;
    rv::theme = "dark";
    writeFile("theme.txt", "dark\r\n");
    call("setPlayRepeat", "[4]");
    call("setClickStartDelay", "[5]");
    call("setAppSetting", "[\"launchOnStartup\",1]");
    const std::vector<rv::MacroEvent> events(3, rv::MacroEvent{3, 0.5, 0, 0, 0, 65, true, 0});
    rv::profiles = {rv::Profile{"a", "9,9,9,9,9,9,9,9,9,9,9,9,9,9,9,9,9,9", events},
                    rv::Profile{"b", "1,2,3,4,1,1,0,5,1,6,7,4,3,2,1,0,5,69", events}};
    rv::currentProfile = 1;

    bool stoppedBeforeSettings = false;
    fake::onSleep([&](int64_t) {
        stoppedBeforeSettings = !rv::autoClicking && !rv::keySpamming && !rv::playing && !rv::recording &&
                                rv::sms == 4 && rv::hkRec == 65;
    });
    EXPECT_EQ(call("resetEverything", "[1]"), "");

    EXPECT_TRUE(stoppedBeforeSettings);
    EXPECT_EQ(fake::sleepCount(), 1);
    EXPECT_EQ(fake::now(), 20 * (fake::kFrequency / 1000));
    EXPECT_TRUE(fake::injected().empty());  // no releases are sent
    EXPECT_EQ(rv::settingsLine(),
              "0,0,0,100,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,0,117,0,0,0,100,1,10,120,32");
    EXPECT_EQ(rv::profileSettingsText(), "0,0,0,100,0,0,1,10,0,0,0,0,0,0,100,1,10,32");
    EXPECT_EQ(preferences(), "00010 100,200 420x560 max0 known1");
    EXPECT_EQ(fake::startupRegistration(), std::nullopt);
    EXPECT_EQ(rv::theme, "modern-blue");
    EXPECT_EQ(readFile("theme.txt"), "modern-blue");
    EXPECT_EQ(rv::playRepeat, 0);
    EXPECT_EQ(readFile("playback.txt"), "0");
    EXPECT_EQ(rv::clickStartDelay, 0);
    EXPECT_EQ(readFile("clickdelay.txt"), "0");
    EXPECT_NE(readFile("appsettings.txt").find("windowX=100\r\nwindowY=200\r\nwindowWidth=420\r\n"),
              std::string::npos);

    EXPECT_EQ(rv::currentProfile, 1);
    EXPECT_TRUE(rv::profiles[1].events.empty());
    EXPECT_EQ(rv::profiles[1].settingsText, "0,0,0,100,0,0,1,10,0,0,0,0,0,0,100,1,10,32");
    EXPECT_EQ(rv::profiles[1].name, "b");
    EXPECT_EQ(rv::profiles[0].events.size(), 3u);
    EXPECT_EQ(rv::profiles[0].settingsText, "9,9,9,9,9,9,9,9,9,9,9,9,9,9,9,9,9,9");
    EXPECT_FALSE(std::filesystem::exists(inFolder("Tapforge/session.mcr")));  // the next autosave carries it
}

TEST_F(Preferences, TheChosenThemeIsKeptAndOnlyPlainNamesAreTaken) {
    EXPECT_EQ(call("getTheme", "[]"), "\"modern-blue\"");
    EXPECT_EQ(call("setTheme", "[\"midnight\"]"), "");
    EXPECT_EQ(rv::theme, "midnight");
    EXPECT_EQ(readFile("theme.txt"), "midnight");
    EXPECT_EQ(rv::loadTheme(), "midnight");
    EXPECT_EQ(call("getTheme", "[]"), "\"midnight\"");
    // Names that could break the panel command line or its script are refused.
    for (const char* request : {"[\"a|b\"]", "[\"x');alert(1)//\"]", "[\"\"]", "[]", "[\"two words\"]"}) {
        call("setTheme", request);
        EXPECT_EQ(rv::theme, "midnight") << request;
    }
    EXPECT_EQ(readFile("theme.txt"), "midnight");
}

TEST_F(Preferences, ClickStartDelayIsKeptAndLimitedToTenSeconds) {
    EXPECT_EQ(call("getClickStartDelay", "[]"), "0");
    EXPECT_EQ(rv::loadClickStartDelay(), 0);  // no file
    struct Case {
        const char* request;
        int32_t kept;
    };
    const Case cases[] = {{"[3]", 3},      {"[10]", 10}, {"[11]", 10}, {"[-1]", 10},
                          {"[\"x\"]", 10}, {"[]", 10},   {"[0]", 0}};
    for (const Case& c : cases) {
        call("setClickStartDelay", c.request);
        EXPECT_EQ(call("getClickStartDelay", "[]"), std::to_string(c.kept)) << c.request;
        EXPECT_EQ(readFile("clickdelay.txt"), std::to_string(c.kept)) << c.request;
    }
    for (const char* text : {"7\n", "7\r\n", "12", "-3", "", "seven"}) {
        writeFile("clickdelay.txt", text);
        int32_t expected = std::string(text).rfind("7", 0) == 0 ? 7 : 0;
        EXPECT_EQ(rv::loadClickStartDelay(), expected) << text;
    }
}

TEST_F(Preferences, PlaybackRepeatCountIsKeptBesideTheExecutable) {
    EXPECT_EQ(call("getPlayRepeat", "[]"), "0");
    EXPECT_EQ(call("setPlayRepeat", "[3]"), "");
    EXPECT_EQ(rv::playRepeat, 3);
    EXPECT_EQ(readFile("playback.txt"), "3");
    EXPECT_EQ(call("getPlayRepeat", "[]"), "3");
    // Not a count from 0 to 1000000: nothing changes.
    for (const char* request : {"[-1]", "[1000001]", "[\"x\"]", "[]", "[3000000000]"}) {
        call("setPlayRepeat", request);
        EXPECT_EQ(rv::playRepeat, 3) << request;
    }
    EXPECT_EQ(readFile("playback.txt"), "3");
    EXPECT_EQ(call("setPlayRepeat", "[\"1000000\"]"), "");
    EXPECT_EQ(rv::playRepeat, 1000000);

    // The file as read at start-up; the session file never holds the count.
    struct Case {
        const char* file;
        int32_t passes;
    };
    for (const Case& c : {Case{"7", 7}, Case{"7\r\n2\r\n", 7}, Case{" 12 passes", 12}, Case{"", 0},
                          Case{"-4", 0}, Case{"2000000", 0}, Case{"many", 0}}) {
        writeFile("playback.txt", c.file);
        EXPECT_EQ(rv::loadPlayRepeat(), c.passes) << c.file;
    }
    std::filesystem::remove(inFolder("playback.txt"));
    EXPECT_EQ(rv::loadPlayRepeat(), 0);
}
