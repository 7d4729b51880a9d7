// The settings table holds together: what a new entry could get wrong shows here, not in a file
// written by one version and read by the next.
#include "state/settings.h"

#include <set>
#include <string>

#include "state/profile_settings.h"
#include "state/state.h"
#include "support/fresh_state.h"

namespace {

class Settings : public FreshState {};

}  // namespace

TEST_F(Settings, EachEntryHasAPlaceOfItsOwnAndADefaultItAccepts) {
    std::set<std::string> names;
    std::set<int> profileFields;
    for (const rv::Setting* s = rv::settingsBegin(); s != rv::settingsEnd(); ++s) {
        if (s->type == rv::SettingType::Reserved) continue;
        EXPECT_TRUE(names.insert(s->name).second) << s->name;
        EXPECT_EQ(rv::settingNamed(s->name), s);
        if (s->profileField >= 0) {
            EXPECT_TRUE(profileFields.insert(s->profileField).second) << s->name;
            EXPECT_EQ(s->scope, rv::SettingScope::Profile) << s->name;
        }
        EXPECT_TRUE(s->byDefault >= s->min && s->byDefault <= s->max) << s->name;
        if (s->isCode) {
            EXPECT_TRUE(s->isCode(static_cast<int32_t>(s->byDefault))) << s->name;
        }
        // What reads these takes them as such: the switches as flags, a file of its own by its name.
        if (s->group == rv::SettingGroup::Preference) {
            EXPECT_TRUE(s->type == rv::SettingType::Flag && s->store == rv::SettingStore::Preferences)
                << s->name;
        }
        EXPECT_EQ(s->store == rv::SettingStore::OwnFile, s->file != nullptr) << s->name;
    }
    // The profile settings text has no gaps.
    EXPECT_EQ(profileFields.size(), rv::profileFieldCount());
    EXPECT_EQ(*profileFields.rbegin(), static_cast<int>(rv::profileFieldCount()) - 1);
    EXPECT_EQ(rv::settingNamed(""), nullptr);
}

TEST_F(Settings, ValuesFromThePageAndThePipeAreCheckedAgainstTheRange) {
    struct Case {
        const char* name;
        const char* text;
        bool accepted;
    };
    for (const Case& c :
         {Case{"sms", "0", true}, Case{"sms", "99999", true}, Case{"sms", "100000", false},
          Case{"sms", "-1", false}, Case{"rptTimes", "0", false}, Case{"sbtn", "2", true},
          Case{"sbtn", "3", false}, Case{"tmv", "1", true}, Case{"tmv", "2", false},
          Case{"tspd", "0.1", true}, Case{"tspd", "10.01", false}, Case{"tspd", "nan", false},
          Case{"fixedX", "-3000", true}, Case{"hkRec", "1", false}, Case{"hkRec", "118", true},
          Case{"keySpamTarget", "65", true}, Case{"keySpamTarget", "2", false}}) {
        EXPECT_EQ(rv::parseSettingValue(*rv::settingNamed(c.name), c.text).has_value(), c.accepted)
            << c.name << "=" << c.text;
    }
}

// The one look-up of the current profile, at both ends of the list and past them.
TEST_F(Settings, TheCurrentProfileIsFoundOnlyWithinTheList) {
    rv::profiles = {rv::Profile{"a", "", {}}, rv::Profile{"b", "", {}}};
    for (int32_t index : {-1, 0, 1, 2}) {
        rv::currentProfile = index;
        const rv::Profile* found = rv::currentProfileEntry();
        if (index == 0 || index == 1) {
            ASSERT_NE(found, nullptr) << index;
            EXPECT_EQ(found->name, index == 0 ? "a" : "b");
        } else {
            EXPECT_EQ(found, nullptr) << index;
        }
    }
}

// The key spammer's list crosses comma-, semicolon- and equals-separated texts: only digits and dots,
// at most seven keys the spammer can press; anything else changes nothing. It goes with its profile.
TEST_F(Settings, KeyListTextIsCheckedWholeAndGoesWithItsProfile) {
    const rv::Setting& list = *rv::settingNamed("keySpamKeys");
    struct Case {
        const char* text;
        const char* kept;  // nullptr: refused
    };
    for (const Case& c :
         {Case{"", ""}, Case{"65", "65"}, Case{"65.160.7", "65.160.7"}, Case{"065.66", "65.66"},
          Case{"65.66.67.68.69.70.71", "65.66.67.68.69.70.71"}, Case{"65.66.67.68.69.70.71.72", nullptr},
          Case{"6", nullptr}, Case{"255", nullptr}, Case{"1000", nullptr}, Case{"65..66", nullptr},
          Case{"65.", nullptr}, Case{".65", nullptr}, Case{"65,66", nullptr}, Case{"65;66", nullptr},
          Case{"65=66", nullptr}, Case{"-65", nullptr}, Case{"6 5", nullptr}}) {
        ASSERT_TRUE(rv::setSettingText(list, "90.91"));
        EXPECT_EQ(rv::setSettingText(list, c.text), c.kept != nullptr) << c.text;
        EXPECT_EQ(rv::keyListText(rv::keySpamKeys), c.kept ? c.kept : "90.91") << c.text;
    }
    rv::setSettingText(list, "66.67");
    const std::string text = rv::profileSettingsText();
    EXPECT_NE(text.find(";keySpamKeys=66.67"), std::string::npos) << text;
    rv::setSettingText(list, "");
    EXPECT_EQ(rv::profileSettingsText().find("keySpamKeys"), std::string::npos);
    rv::applyProfileSettingsText(text);
    EXPECT_EQ(rv::keyListText(rv::keySpamKeys), "66.67");
    rv::settingsDefaults(rv::SettingScope::Profile);
    EXPECT_EQ(rv::keySpamKeys[0], 0);
}
