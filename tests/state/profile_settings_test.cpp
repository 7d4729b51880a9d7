#include "state/profile_settings.h"

#include "state/state.h"
#include "support/fresh_state.h"

namespace {

class ProfileSettings : public FreshState {};

const char* kDefaults = "0,0,0,100,0,0,1,10,0,0,0,0,0,0,100,1,10,32";

}  // namespace

TEST_F(ProfileSettings, FreshStateGivesTheDefaultText) {
    EXPECT_EQ(rv::profileSettingsText(), kDefaults);
}

TEST_F(ProfileSettings, TextFollowsFieldOrderWithSigns) {
    rv::sh = 1, rv::sm = -2, rv::ss = 3, rv::sms = 4, rv::sbtn = 5, rv::stype = 6, rv::rptMode = 7;
    rv::rptTimes = 8, rv::locMode = 9, rv::fixedX = -10, rv::fixedY = 11, rv::ksh = 12, rv::ksm = 13;
    rv::kss = 14, rv::ksms = 15, rv::ksRptMode = 16, rv::ksRptTimes = 17, rv::keySpamTarget = 18;
    EXPECT_EQ(rv::profileSettingsText(), "1,-2,3,4,5,6,7,8,9,-10,11,12,13,14,15,16,17,18");
}

TEST_F(ProfileSettings, ApplyRoundTripsAndIgnoresExtraFields) {
    rv::applyProfileSettingsText("1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,99");
    EXPECT_EQ(rv::profileSettingsText(), "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18");
    EXPECT_EQ(rv::sh, 1);
    EXPECT_EQ(rv::keySpamTarget, 18);
}

TEST_F(ProfileSettings, FewerThanEighteenFieldsChangeNothing) {
    rv::applyProfileSettingsText("1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17");
    rv::applyProfileSettingsText("1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,");  // trailing empty not counted
    rv::applyProfileSettingsText("");
    EXPECT_EQ(rv::profileSettingsText(), kDefaults);
}

TEST_F(ProfileSettings, ABadFieldEndsTheParseKeepingEarlierFields) {
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        // Second field without digits: only sh applies.
        {"5,x,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18", "5,0,0,100,0,0,1,10,0,0,0,0,0,0,100,1,10,32"},
        // White space, a fraction and trailing letters are read by the number rule.
        {" 7,7.9,12px,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18",
         "7,7,12,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18"},
        // Out of the 32-bit range ends the parse at that field.
        {"1,2,3000000000,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18",
         "1,2,0,100,0,0,1,10,0,0,0,0,0,0,100,1,10,32"},
        // An empty field between commas counts as a field and fails.
        {"1,,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18", "1,0,0,100,0,0,1,10,0,0,0,0,0,0,100,1,10,32"},
    };
    for (const Case& c : cases) {
        rv::profileDefaults();
        rv::applyProfileSettingsText(c.text);
        EXPECT_EQ(rv::profileSettingsText(), c.expected) << c.text;
    }
}

TEST_F(ProfileSettings, DefaultsLeaveGlobalSettingsAlone) {
    rv::applyProfileSettingsText("1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18");
    rv::tspd = 2.0f, rv::tmv = false, rv::hkRec = 65;
    rv::profileDefaults();
    EXPECT_EQ(rv::profileSettingsText(), kDefaults);
    EXPECT_EQ(rv::tspd, 2.0f);
    EXPECT_FALSE(rv::tmv);
    EXPECT_EQ(rv::hkRec, 65);
}

TEST_F(ProfileSettings, RefreshStoresIntoTheCurrentProfileOnly) {
    rv::profiles = {rv::Profile{"a", "", {}}, rv::Profile{"b", "", {}}};
    rv::currentProfile = 1;
    rv::sms = 250;
    rv::refreshProfileSettings();
    EXPECT_EQ(rv::profiles[0].settingsText, "");
    EXPECT_EQ(rv::profiles[1].settingsText, rv::profileSettingsText());

    rv::currentProfile = 5;  // out of range: nothing is stored, nothing breaks
    rv::sms = 1;
    rv::refreshProfileSettings();
    EXPECT_EQ(rv::profiles[1].settingsText.find("250"), 6u);
}

TEST_F(ProfileSettings, TrackerStatePrefersRecording) {
    EXPECT_STREQ(rv::trackerState(), "Idle");
    rv::playing = true;
    EXPECT_STREQ(rv::trackerState(), "Playing");
    rv::recording = true;
    EXPECT_STREQ(rv::trackerState(), "Recording");
}
