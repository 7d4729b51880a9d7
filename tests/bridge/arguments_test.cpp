#include "bridge/arguments.h"

#include <limits>

#include "app/app.h"
#include "bridge/bindings.h"
#include "bridge/json_text.h"
#include "bridge/texts.h"
#include "engine/control.h"
#include "state/profile_settings.h"
#include "support/fresh_state.h"

namespace {

class Arguments : public FreshState {
  protected:
    void SetUp() override {
        FreshState::SetUp();
        rv::profiles = {rv::Profile{"p", "", {}}};
    }
    // The nine clicker settings as a comma list.
    static std::string clicker() {
        return std::to_string(rv::sh) + "," + std::to_string(rv::sm) + "," + std::to_string(rv::ss) + "," +
               std::to_string(rv::sms) + "," + std::to_string(rv::sbtn) + "," + std::to_string(rv::stype) +
               "," + std::to_string(rv::rptMode) + "," + std::to_string(rv::rptTimes) + "," +
               std::to_string(rv::locMode);
    }
    // The recording switches and playback values in the order of updateTracker.
    static std::string tracker() {
        return std::to_string(rv::tmv) + "," + std::to_string(rv::tclk) + "," + std::to_string(rv::tscr) +
               "," + std::to_string(rv::tkey) + "," + std::to_string(rv::trel) + "," +
               rv::jsonSpeed(rv::tspd) + "," + std::to_string(rv::tloop) + "," + std::to_string(rv::tloopMs);
    }
    static std::string call(const char* name, const std::string& request) {
        return callMainBinding(name, request);
    }
};

}  // namespace

TEST(ArgumentText, StrippingRemovesBracketsAndQuotesOnly) {
    EXPECT_EQ(rv::stripArguments("[1,2,3]"), "1,2,3");
    EXPECT_EQ(rv::stripArguments("[]"), "");
    EXPECT_EQ(rv::stripArguments("[\"a\\\"b\",\" x \"]"), "a\\b, x ");
    EXPECT_EQ(rv::stripArguments("[[1],{\"k\":2}]"), "1,{k:2}");
}

TEST_F(Arguments, ClickerUpdateTable) {
    struct Case {
        const char* request;
        const char* settings;  // the nine clicker settings afterwards
        bool refreshed;        // the profile's settings text follows
    };
    const Case cases[] = {
        {"[0,0,1,500,0,0,1,10,0]", "0,0,1,500,0,0,1,10,0", true},
        {"[0,0,1,500,0,0,1,10]", "0,0,0,100,0,0,1,10,0", false},  // eight fields: nothing
        {"[1,2,3,4,1,1,0,5,1,99]", "1,2,3,4,1,1,0,5,1", true},    // tenth ignored
        {"[\"1\",\"2\",\"3\",\"4\",\"1\",\"1\",\"0\",\"5\",\"1\"]", "1,2,3,4,1,1,0,5,1", true},
        {"[\"12px\",1.9,0,0,0,0,1,10,0]", "12,1,0,0,0,0,1,10,0", true},
        {"[1,2,3,4,\"abc\",1,1,1,1]", "1,2,3,4,0,0,1,10,0", false},  // stops at the bad field
        {"[1,2,3,4,true,1,1,1,1]", "1,2,3,4,0,0,1,10,0", false},
        {"[1,,3,4,5,6,7,8,9]", "1,0,0,100,0,0,1,10,0", false},            // empty field
        {"[1,2,3000000000,4,5,6,7,8,9]", "1,2,0,100,0,0,1,10,0", false},  // out of range
        {"[0,0,-5,0,0,0,1,10,0]", "0,0,-5,0,0,0,1,10,0", true},           // no range check here
        {"[]", "0,0,0,100,0,0,1,10,0", false},
    };
    for (const Case& c : cases) {
        rv::resetStateForTests();
        rv::profiles = {rv::Profile{"p", "", {}}};
        EXPECT_EQ(call("updateSpammer", c.request), "");
        EXPECT_EQ(clicker(), c.settings) << c.request;
        EXPECT_EQ(rv::profiles[0].settingsText, c.refreshed ? rv::profileSettingsText() : "") << c.request;
    }
}

TEST_F(Arguments, TrackerUpdateTable) {
    struct Case {
        const char* request;
        const char* values;  // tmv,tclk,tscr,tkey,trel,tspd,tloop,tloopMs afterwards
        bool refreshed;
    };
    const Case cases[] = {
        {"[0,1,0,1,1,2,1,250]", "0,1,0,1,1,2,1,250", true},
        {"[\"0\",\"0\",\"0\",\"0\",\"1\",\"0.5\",\"1\",\"0\"]", "0,0,0,0,1,0.5,1,0", true},
        {"[0,1,0,1,1,2,1]", "1,1,1,1,0,1,0,500", false},       // seven fields: nothing
        {"[0,0,0,0,0,4,0,100,9]", "0,0,0,0,0,4,0,100", true},  // ninth ignored
        {"[0,0,2,0,0,4,0,100]", "0,0,1,1,0,1,0,500", false},   // a switch must be 0 or 1
        {"[true,0,0,0,0,4,0,100]", "1,1,1,1,0,1,0,500", false},
        {"[0,,0,0,0,4,0,100]", "0,1,1,1,0,1,0,500", false},  // empty field
        {"[0,0,0,0,0,0.1,1,7]", "0,0,0,0,0,0.1,1,7", true},  // both ends of the speed range
        {"[0,0,0,0,0,10,1,7]", "0,0,0,0,0,10,1,7", true},
        {"[0,0,0,0,0,\" 1.25x\",1,7]", "0,0,0,0,0,1.25,1,7", true},  // session-file decimal rule
        {"[0,0,0,0,0,1e0,1,7]", "0,0,0,0,0,1,1,7", true},
        {"[0,0,0,0,0,0.09,1,7]", "0,0,0,0,0,1,0,500", false},  // speed out of range: stops there
        {"[0,0,0,0,0,10.01,1,7]", "0,0,0,0,0,1,0,500", false},
        {"[0,0,0,0,0,0,1,7]", "0,0,0,0,0,1,0,500", false},
        {"[0,0,0,0,0,-2,1,7]", "0,0,0,0,0,1,0,500", false},
        {"[0,0,0,0,0,nan,1,7]", "0,0,0,0,0,1,0,500", false},
        {"[0,0,0,0,0,inf,1,7]", "0,0,0,0,0,1,0,500", false},
        {"[0,0,0,0,0,fast,1,7]", "0,0,0,0,0,1,0,500", false},
        {"[0,0,0,0,0,3,1,-1]", "0,0,0,0,0,3,1,500", false},  // a pause below 0 stops it
        {"[0,0,0,0,0,3,1,12ms]", "0,0,0,0,0,3,1,12", true},
        {"[0,0,0,0,0,3,1,3000000000]", "0,0,0,0,0,3,1,500", false},
        {"[]", "1,1,1,1,0,1,0,500", false},
    };
    for (const Case& c : cases) {
        rv::resetStateForTests();
        rv::profiles = {rv::Profile{"p", "", {}}};
        EXPECT_EQ(call("updateTracker", c.request), "");
        EXPECT_EQ(tracker(), c.values) << c.request;
        EXPECT_EQ(rv::profiles[0].settingsText, c.refreshed ? rv::profileSettingsText() : "") << c.request;
    }
    // getSettings shows what was applied.
    call("updateTracker", "[1,0,1,0,1,0.5,1,1500]");
    EXPECT_NE(call("getSettings", "[]")
                  .find("\"tmv\":true,\"tclk\":false,\"tscr\":true,\"tkey\":false,"
                        "\"trel\":true,\"tspd\":0.5,\"tloop\":true,\"tloopMs\":1500,"),
              std::string::npos);
}

TEST_F(Arguments, KeySpamUpdateAcceptsNumbersOrDigitStrings) {
    EXPECT_EQ(call("updateKeySpam", "[0,1,2,3,0,7]"), "");
    std::string asNumbers = rv::profileSettingsText();
    EXPECT_EQ(rv::ksm, 1);
    EXPECT_EQ(rv::ksRptTimes, 7);
    rv::resetStateForTests();
    rv::profiles = {rv::Profile{"p", "", {}}};
    call("updateKeySpam", "[\"0\",\"1\",\"2\",\"3\",\"0\",\"7\"]");
    EXPECT_EQ(rv::profileSettingsText(), asNumbers);
    EXPECT_EQ(rv::profiles[0].settingsText, asNumbers);

    call("updateKeySpam", "[9,9,9,9,9]");  // five fields: nothing
    EXPECT_EQ(rv::profileSettingsText(), asNumbers);
}

TEST_F(Arguments, TogglesOnlySetTheirRequests) {
    EXPECT_EQ(call("toggleSpammer", "[1,\"x\"]"), "");
    EXPECT_TRUE(rv::clickerToggleRequest);
    EXPECT_FALSE(rv::autoClicking);
    EXPECT_EQ(call("toggleKeySpam", "[]"), "");
    EXPECT_TRUE(rv::keySpamToggleRequest);
    EXPECT_FALSE(rv::keySpamming);
    EXPECT_EQ(call("toggleRecord", "[1]"), "");
    EXPECT_TRUE(rv::recordToggleRequest);
    EXPECT_FALSE(rv::recording);
    EXPECT_EQ(call("togglePlay", "[]"), "");
    EXPECT_TRUE(rv::playToggleRequest);
    EXPECT_FALSE(rv::playing);
}

TEST_F(Arguments, RecordAndPlayFromThePageKeepTheControlThreadsRules) {
    rv::counterFrequency = fake::kFrequency;
    call("toggleRecord", "[]");
    rv::controlPass();
    EXPECT_TRUE(rv::recording);
    call("togglePlay", "[]");  // no playback during a recording: the request is consumed
    rv::controlPass();
    EXPECT_FALSE(rv::playing);
    EXPECT_FALSE(rv::playToggleRequest);
    call("toggleRecord", "[]");
    rv::controlPass();
    EXPECT_FALSE(rv::recording);
    call("togglePlay", "[]");
    rv::controlPass();
    EXPECT_TRUE(rv::playing);
    call("toggleRecord", "[]");  // and no recording during playback
    rv::controlPass();
    EXPECT_FALSE(rv::recording);
    EXPECT_FALSE(rv::recordToggleRequest);
}

TEST_F(Arguments, StoppingARecordingFromThePageDropsTheClickOnItsButton) {
    void* const main = reinterpret_cast<void*>(0x1);
    fake::addWindow(rv::kMainWindowTitle, main);
    fake::window(main).rect = {100, 100, 520, 660};
    auto event = [](int32_t kind, int32_t x, int32_t y) {
        return rv::MacroEvent{kind, 1.0, x, y, 0, 0, false, 0};
    };
    const rv::MacroEvent key = event(3, 0, 0), outside = event(0, 900, 300), inside = event(0, 150, 600),
                         press = event(2, 150, 600), release = event(2, 150, 600),
                         pressOutside = event(2, 900, 300), relative = event(1, -40, 3),
                         edge = event(2, 520, 600);
    struct Case {
        const char* name;
        std::vector<rv::MacroEvent> events;
        bool fromPage;
        size_t kept;
    };
    const Case cases[] = {
        {"the click on the button and the moves to it",
         {key, outside, inside, press, inside, release},
         true,
         2},
        {"stopped with the hotkey", {key, outside, inside, press, release}, false, 5},
        {"moves into the window but no click", {key, outside, inside, inside}, true, 4},
        {"relative motion up to the click", {key, relative, relative, press, release}, true, 1},
        {"the last click is elsewhere", {key, press, release, pressOutside}, true, 4},
        {"the right edge is outside", {key, edge}, true, 2},
        {"only the click", {press, release}, true, 0},
    };
    for (const Case& c : cases) {
        rv::profiles = {rv::Profile{"p", "", c.events}};
        rv::recording = true;
        if (c.fromPage) {
            call("toggleRecord", "[]");
        } else {
            rv::recordToggleRequest = true;
        }
        rv::controlPass();
        EXPECT_FALSE(rv::recording) << c.name;
        EXPECT_EQ(rv::profiles[0].events.size(), c.kept) << c.name;
    }
    // Starting from the page leaves nothing behind for a later stop by the hotkey.
    rv::profiles = {rv::Profile{"p", "", {}}};
    call("toggleRecord", "[]");
    rv::controlPass();
    ASSERT_TRUE(rv::recording);
    EXPECT_FALSE(rv::recordTrimRequest);
    rv::profiles[0].events = {key, press, release};
    rv::recordToggleRequest = true;
    rv::controlPass();
    EXPECT_EQ(rv::profiles[0].events.size(), 3u);
}

TEST_F(Arguments, SettingsTextInMemberOrder) {
    EXPECT_EQ(
        call("getSettings", "[]"),
        "{\"sh\":0,\"sm\":0,\"ss\":0,\"sms\":100,\"sbtn\":0,\"stype\":0,\"rptMode\":1,\"rptTimes\":10,"
        "\"locMode\":0,\"fixedX\":0,\"fixedY\":0,\"tmv\":true,\"tclk\":true,\"tscr\":true,\"tkey\":true,"
        "\"trel\":false,\"tspd\":1,\"tloop\":false,\"tloopMs\":500,\"ksh\":0,\"ksm\":0,\"kss\":0,"
        "\"ksms\":100,\"ksRptMode\":1,\"ksRptTimes\":10,\"clickPressMs\":-1,\"clickPressMaxMs\":0,"
        "\"clickIntervalMaxMs\":0,\"clickJitterPx\":0,\"clickLimitSeconds\":0,\"keySpamPressMs\":-1,"
        "\"keySpamPressMaxMs\":0,\"keySpamIntervalMaxMs\":0,\"keySpamLimitSeconds\":0,\"keySpamModifiers\":0,"
        "\"clickActivation\":0,"
        "\"keySpamActivation\":0,\"playActivation\":0,\"playLimitSeconds\":0,\"failSafe\":true,"
        "\"keySpamKeys\":\"\",\"commandStartsMinimized\":true,\"clickSequence\":\"\"}");
    for (auto [speed, text] : {std::pair{0.5f, "0.5"}, {2.0f, "2"}, {1.25f, "1.25"}, {0.1f, "0.1"}}) {
        rv::tspd = speed;
        EXPECT_NE(rv::settingsText().find(std::string("\"tspd\":") + text + ","), std::string::npos) << text;
    }
    rv::sms = -40;
    EXPECT_NE(rv::settingsText().find("\"sms\":-40,"), std::string::npos);
}

TEST(JsonText, RatesInHundredthsWithoutTrailingZeros) {
    for (auto [rate, text] : {std::pair{9.975, "9.98"},
                              {10.0, "10"},
                              {0.5, "0.5"},
                              {0.05, "0.05"},
                              {0.004, "0"},
                              {1234.567, "1234.57"},
                              {99.999, "100"},
                              {0.0, "0"},
                              {-1.0, "0"},
                              {std::numeric_limits<double>::quiet_NaN(), "0"},
                              {std::numeric_limits<double>::infinity(), "0"}}) {
        EXPECT_EQ(rv::jsonRate(rate), text) << rate;
    }
}

TEST(JsonText, StringsEscapeQuotesBackslashesAndControlCharacters) {
    EXPECT_EQ(rv::jsonString("plain"), "\"plain\"");
    EXPECT_EQ(rv::jsonString("b\"c"), "\"b\\\"c\"");
    EXPECT_EQ(rv::jsonString("a\\b"), "\"a\\\\b\"");
    EXPECT_EQ(rv::jsonString("tab\there"), "\"tab\\u0009here\"");
    EXPECT_EQ(rv::jsonString("\xc3\xa9"), "\"\xc3\xa9\"");  // UTF-8 passes unchanged
}
