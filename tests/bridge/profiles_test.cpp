#include "bridge/profiles.h"

#include <algorithm>

#include "bridge/bindings.h"
#include "state/profile_settings.h"
#include "support/fresh_state.h"

namespace {

const char* const kDefaults = "0,0,0,100,0,0,1,10,0,0,0,0,0,0,100,1,10,32";
const char* const kTextA = "1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,65";
const char* const kTextB = "2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,2,66";
const char* const kTextC = "3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,3,67";

class Profiles : public FreshState {
  protected:
    void SetUp() override {
        FreshState::SetUp();
        rv::profiles = {rv::Profile{rv::kDefaultProfileName, "", {}}};
    }
    static std::string call(const char* name, const std::string& request) {
        return callMainBinding(name, request);
    }
    // A, B, C with their own settings texts and one event each; `current` is current and its
    // settings are live.
    static void threeProfiles(int32_t current) {
        const rv::MacroEvent e{3, 0.5, 0, 0, 0, 65, true, 0};
        rv::profiles = {rv::Profile{"A", kTextA, {e}}, rv::Profile{"B", kTextB, {e}},
                        rv::Profile{"C", kTextC, {e}}};
        rv::currentProfile = current;
        rv::applyProfileSettingsText(rv::profiles[static_cast<size_t>(current)].settingsText);
    }
    static std::string names() {
        std::string out;
        for (const rv::Profile& p : rv::profiles) out += p.name + ";";
        return out;
    }
};

}  // namespace

TEST_F(Profiles, ProfilesTextEscapesNamesAndAlwaysShowsTheCap) {
    EXPECT_EQ(call("getProfiles", "[]"),
              "{\"current\":0,\"names\":[\"Default Tracking Profile\"],\"cap\":3}");
    rv::profiles = {rv::Profile{"a", "", {}}, rv::Profile{"b\"c", "", {}}, rv::Profile{"d\\e", "", {}},
                    rv::Profile{"", "", {}}};
    rv::currentProfile = 1;
    EXPECT_EQ(rv::profilesText(), "{\"current\":1,\"names\":[\"a\",\"b\\\"c\",\"d\\\\e\",\"\"],\"cap\":3}");
}

TEST_F(Profiles, AddTakesTheStrippedTextAsNameUpToThree) {
    rv::sms = 250, rv::keySpamTarget = 65;
    struct Case {
        const char* request;
        const char* names;  // after the call
    };
    const Case cases[] = {
        {"[\"\"]", "Default Tracking Profile;"},
        {"[]", "Default Tracking Profile;"},
        {"[\"a,b\"]", "Default Tracking Profile;a,b;"},
        {"[\"x\\\"y\\\\z\"]", "Default Tracking Profile;a,b;x\\y\\\\z;"},  // the page's escapes stay
        {"[\"fourth\"]", "Default Tracking Profile;a,b;x\\y\\\\z;"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(call("addProfile", c.request), "") << c.request;
        EXPECT_EQ(names(), c.names) << c.request;
        EXPECT_EQ(rv::currentProfile, static_cast<int32_t>(rv::profiles.size() - 1)) << c.request;
    }
    EXPECT_EQ(rv::profiles[1].settingsText, rv::profileSettingsText());
    EXPECT_TRUE(rv::profiles[1].events.empty());
    EXPECT_EQ(rv::sms, 250);  // the live settings do not change
    EXPECT_EQ(rv::profilesText(),
              "{\"current\":2,\"names\":[\"Default Tracking Profile\",\"a,b\",\"x\\\\y\\\\\\\\z\"],"
              "\"cap\":3}");

    // A name another profile has, in any letter case and with blanks around it, is refused.
    rv::profiles.resize(1);
    rv::currentProfile = 0;
    call("addProfile", "[\" default tracking PROFILE \"]");
    EXPECT_EQ(names(), "Default Tracking Profile;");
}

TEST_F(Profiles, DeleteMakesTheNextProfileCurrentAndAppliesIt) {
    threeProfiles(1);
    EXPECT_EQ(call("deleteProfile", "[\"ignored\"]"), "");
    EXPECT_EQ(names(), "A;C;");
    EXPECT_EQ(rv::currentProfile, 1);
    EXPECT_EQ(rv::profileSettingsText(), kTextC);

    threeProfiles(2);
    rv::deleteProfile();
    EXPECT_EQ(names(), "A;B;");
    EXPECT_EQ(rv::currentProfile, 1);
    EXPECT_EQ(rv::profileSettingsText(), kTextB);

    threeProfiles(0);
    rv::profiles[1].settingsText.clear();
    rv::deleteProfile();
    EXPECT_EQ(rv::currentProfile, 0);
    EXPECT_EQ(rv::profileSettingsText(), kDefaults);  // no settings text: the defaults

    rv::profiles.resize(1);
    rv::deleteProfile();
    EXPECT_EQ(names(), "B;");
}

TEST_F(Profiles, DeleteAtRemovesAnyProfileAndKeepsTheCurrentOneLive) {
    struct Case {
        int32_t current;
        const char* request;
        const char* names;
        int32_t after;
        const char* live;
    };
    const Case cases[] = {
        {2, "[0]", "B;C;", 1, kTextC},    {0, "[2]", "A;B;", 0, kTextA},
        {1, "[1]", "A;C;", 1, kTextC},    {0, "[3]", "A;B;C;", 0, kTextA},
        {0, "[-2]", "A;B;C;", 0, kTextA}, {0, "[\"x\"]", "A;B;C;", 0, kTextA},
    };
    for (const Case& c : cases) {
        threeProfiles(c.current);
        EXPECT_EQ(call("deleteProfileAt", c.request), "") << c.request;
        EXPECT_EQ(names(), c.names) << c.request;
        EXPECT_EQ(rv::currentProfile, c.after) << c.request;
        EXPECT_EQ(rv::profileSettingsText(), c.live) << c.request;
    }
    rv::profiles.resize(1);
    rv::currentProfile = 0;
    call("deleteProfileAt", "[0]");
    EXPECT_EQ(rv::profiles.size(), 1u);
}

TEST_F(Profiles, RenameFollowsTheNameRules) {
    threeProfiles(1);
    struct Case {
        const char* request;
        const char* names;
    };
    const Case cases[] = {
        {"[0,\"First\"]", "First;B;C;"},
        {"[2,\"a, b\"]", "First;B;a, b;"},  // the name is everything after the first comma
        {"[1,\"\"]", "First;B;a, b;"},
        {"[1]", "First;B;a, b;"},
        {"[3,\"x\"]", "First;B;a, b;"},
        {"[\"one\",\"x\"]", "First;B;a, b;"},
        {"[1,\"two\nlines\"]", "First;B;a, b;"},
        {"[0,\" b\"]", "First;B;a, b;"},  // another profile's name
        {"[1,\"b\"]", "First;b;a, b;"},   // its own, in other letters
    };
    for (const Case& c : cases) {
        EXPECT_EQ(call("renameProfile", c.request), "") << c.request;
        EXPECT_EQ(names(), c.names) << c.request;
    }
    // A line end cannot reach a name through the page (it arrives escaped), but the rule holds here.
    rv::renameProfile("1,two\nlines");
    rv::addProfile("x\ry");
    EXPECT_EQ(names(), "First;b;a, b;");
    EXPECT_EQ(rv::currentProfile, 1);
    EXPECT_EQ(rv::profiles[1].events.size(), 1u);
}

TEST_F(Profiles, SwitchNeedsAnExistingIndex) {
    threeProfiles(0);
    struct Case {
        const char* request;
        int32_t current;
        const char* live;
    };
    const Case cases[] = {
        {"[5]", 0, kTextA}, {"[-1]", 0, kTextA}, {"[\"two\"]", 0, kTextA},  {"[]", 0, kTextA},
        {"[3]", 0, kTextA}, {"[2]", 2, kTextC},  {"[\"1abc\"]", 1, kTextB}, {"[\" 0\"]", 0, kTextA},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(call("switchProfile", c.request), "") << c.request;
        EXPECT_EQ(rv::currentProfile, c.current) << c.request;
        EXPECT_EQ(rv::profileSettingsText(), c.live) << c.request;
    }

    rv::profiles[1].settingsText.clear();
    rv::switchProfile("1");
    EXPECT_EQ(rv::profileSettingsText(), kDefaults);

    // Settings given to a profile come back when it is switched to again.
    call("updateSpammer", "[0,0,1,500,1,0,1,10,0]");
    std::string mine = rv::profileSettingsText();
    rv::switchProfile("0");
    EXPECT_EQ(rv::profileSettingsText(), kTextA);
    rv::switchProfile("1");
    EXPECT_EQ(rv::profileSettingsText(), mine);
    // Switching to the current profile re-applies its text.
    rv::sms = 1;
    rv::switchProfile("1");
    EXPECT_EQ(rv::profileSettingsText(), mine);
}

TEST_F(Profiles, ClearResetsTheCurrentProfileAndKeepsItsName) {
    threeProfiles(1);
    rv::fixedX = 300, rv::fixedY = 400;
    EXPECT_EQ(call("clearProfile", "[1,2]"), "");
    EXPECT_EQ(names(), "A;B;C;");
    EXPECT_TRUE(rv::profiles[1].events.empty());
    EXPECT_EQ(rv::profiles[1].settingsText, kDefaults);
    EXPECT_EQ(rv::profileSettingsText(), kDefaults);
    EXPECT_EQ(rv::keySpamTarget, 32);
    EXPECT_EQ(rv::fixedX, 0);
    EXPECT_EQ(rv::profiles[0].events.size(), 1u);
    EXPECT_EQ(rv::profiles[2].settingsText, kTextC);
}

TEST_F(Profiles, NothingChangesWhileRecording) {
    threeProfiles(1);
    rv::recording = true;
    const std::string before = rv::profilesText() + rv::profileSettingsText();
    call("addProfile", "[\"new\"]");
    call("deleteProfile", "[]");
    call("switchProfile", "[0]");
    call("clearProfile", "[]");
    call("renameProfile", "[1,\"new\"]");
    call("deleteProfileAt", "[0]");
    EXPECT_EQ(rv::profilesText() + rv::profileSettingsText(), before);
    EXPECT_EQ(rv::profiles[1].events.size(), 1u);
}
