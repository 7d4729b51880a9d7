// A code that cannot stand for its role is refused wherever it enters: the session file, a profile's
// settings text and a captured reassignment. The member keeps its value.
#include "state/key_codes.h"

#include <climits>
#include <string>
#include <vector>

#include "engine/control.h"
#include "state/numbers.h"
#include "state/profile_settings.h"
#include "state/session_file.h"
#include "support/fresh_state.h"

namespace {

struct CodeCase {
    int32_t code;
    bool hotkey;  // may be a hotkey
    bool target;  // may be the key-spam target
};

const CodeCase kCodes[] = {
    {INT32_MIN, false, false}, {-1, false, false},  {0, false, false},   {1, false, false},
    {2, true, false},          {3, true, false},    {4, true, false},    {5, true, false},
    {6, true, false},          {7, true, true},     {32, true, true},    {117, true, true},
    {254, true, true},         {255, false, false}, {256, false, false}, {INT32_MAX, false, false},
};

class KeyCodes : public FreshState {};

// The default settings line with `code` as hkAuto (index 22) and keySpamTarget (index 30), and ksh
// (index 23, after the refused field) set to 5.
std::string settingsWith(int32_t code) {
    std::vector<std::string> fields = rv::splitFields(rv::settingsLine(), ',');
    fields[22] = std::to_string(code);
    fields[23] = "5";
    fields[30] = std::to_string(code);
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) line += (i ? "," : "") + fields[i];
    return line;
}

}  // namespace

TEST_F(KeyCodes, EveryEntryRefusesACodeThatCannotStandForItsRole) {
    for (const CodeCase& c : kCodes) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(rv::isHotkeyCode(c.code), c.hotkey);
        EXPECT_EQ(rv::isKeySpamTargetCode(c.code), c.target);

        // Session file: a refused code keeps the default and the fields after it still apply.
        rv::resetStateForTests();
        rv::applySettingsLine(settingsWith(c.code));
        EXPECT_EQ(rv::hkAuto, c.hotkey ? c.code : 117);
        EXPECT_EQ(rv::keySpamTarget, c.target ? c.code : 32);
        EXPECT_EQ(rv::ksh, 5);

        // A profile's settings text: the target in use stays.
        rv::resetStateForTests();
        rv::keySpamTarget = 65;
        rv::applyProfileSettingsText("0,0,0,100,0,0,1,10,0,0,0,0,0,0,100,1,10," + std::to_string(c.code));
        EXPECT_EQ(rv::keySpamTarget, c.target ? c.code : 65);

        // Reassignment: the capture hands over the code; a refused one cancels like Escape.
        for (int32_t target : {3, 5}) {
            rv::resetStateForTests();
            rv::reassignTarget = target;
            rv::reassignCode = c.code;
            rv::controlPass();
            if (c.code == 0) {  // nothing captured yet: stays armed
                EXPECT_EQ(rv::reassignTarget, target);
                continue;
            }
            // A code another default member already holds is refused as a clash, whatever its role.
            bool taken = target == 3 ? (c.code == 32 || (c.code >= 118 && c.code <= 120))
                                     : (c.code >= 117 && c.code <= 120);
            if (target == 3) {
                EXPECT_EQ(rv::hkAuto, c.hotkey && !taken ? c.code : 117);
            } else {
                EXPECT_EQ(rv::keySpamTarget, c.target && !taken ? c.code : 32);
            }
            EXPECT_EQ(rv::reassignTarget, 0);
            EXPECT_EQ(rv::reassignCode, 0);
        }
    }
}

TEST_F(KeyCodes, ASessionFileWithTheLeftButtonAsEveryHotkeyLoadsTheDefaults) {
    rv::prepareSessionPath();
    writeFile("Tapforge/session.mcr",
              "SETTINGS:0,0,0,100,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,1,1,0,1,0,0,0,100,1,10,1,1\r\n"
              "CURRENT:0\r\nPROFILE:p\r\n");
    ASSERT_TRUE(rv::loadSession());
    EXPECT_EQ(rv::hkRec, 119);
    EXPECT_EQ(rv::hkPlay, 118);
    EXPECT_EQ(rv::hkAuto, 117);
    EXPECT_EQ(rv::hkKeySpam, 120);
    EXPECT_EQ(rv::keySpamTarget, 32);
    EXPECT_EQ(rv::tloopMs, 500);
}
