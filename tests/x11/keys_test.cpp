// Key names, and virtual-key codes ↔ keysyms ↔ keycodes on the Xvfb server's default (US) layout.
// GoogleTest comes before the X11 headers, whose macros (None, Bool) would break it.
#include <gtest/gtest.h>

#include <X11/keysym.h>

#include "platform/x11/keys.h"

#include <set>

#include "platform/platform.h"

namespace {

using namespace plat::x11;

TEST(X11Keys, KeyNamesReadLikeTheDesktops) {
    struct Case {
        int32_t vk;
        const char* name;
    };
    const Case cases[] = {
        {119, "F8"},        {135, "F24"},         {32, "Space"},       {34, "Page Down"},
        {27, "Esc"},        {8, "Backspace"},     {65, "A"},           {48, "0"},
        {96, "Num 0"},      {106, "Num *"},       {110, "Num ."},      {186, ";"},
        {192, "`"},         {220, "\\"},          {160, "Shift"},      {161, "Right Shift"},
        {165, "Right Alt"}, {91, "Left Windows"}, {93, "Application"}, {44, "Print Screen"}};
    for (const Case& c : cases) EXPECT_EQ(plat::keyName(c.vk), c.name) << c.vk;
    // Codes with no key, mouse buttons and codes out of range have no name of the platform's own.
    for (int32_t vk : {0, 1, 2, 4, 7, 255, -1, 256, 1 << 30}) EXPECT_EQ(plat::keyName(vk), "") << vk;
}

// A key read back from the server is a sided code where a low-level keyboard hook reports one.
int32_t readBackCode(int32_t vk) {
    switch (vk) {
        case 16:
            return 160;
        case 17:
            return 162;
        case 18:
            return 164;
        default:
            return vk;
    }
}

TEST(X11Keys, EveryCodeOfTheLayoutReadsBackAsItself) {
    Display* display = threadDisplay();
    ASSERT_NE(display, nullptr);
    // Keys the default layout has no keycode for.
    std::set<int32_t> absent = {108};
    for (int32_t vk = 124; vk <= 135; ++vk) absent.insert(vk);  // F13–F24

    for (int32_t vk = 0; vk < 256; ++vk) {
        const KeySym keysym = keysymFromVk(vk);
        EXPECT_EQ(keysym == NoSymbol, plat::keyName(vk).empty()) << vk;  // a name exactly for each key
        if (keysym == NoSymbol) continue;
        EXPECT_EQ(vkFromKeysym(keysym), readBackCode(vk)) << vk;
        const unsigned keycode = keycodeFromVk(display, vk);
        if (absent.count(vk)) {
            EXPECT_EQ(keycode, 0u) << vk;
            continue;
        }
        ASSERT_NE(keycode, 0u) << vk;
        EXPECT_EQ(vkFromKeycode(display, keycode), readBackCode(vk)) << vk;
    }
}

TEST(X11Keys, OtherMeaningsOfAKeyReadBackAsTheSameCode) {
    struct Case {
        KeySym keysym;
        int32_t vk;
    };
    // Keypad keys are the same key whatever Num Lock says; AltGr is the right Alt key.
    const Case cases[] = {{XK_KP_Insert, 96}, {XK_KP_Delete, 110},        {XK_KP_Enter, 13}, {XK_A, 65},
                          {XK_Meta_L, 164},   {XK_ISO_Level3_Shift, 165}, {XK_Hyper_L, 0},   {NoSymbol, 0}};
    for (const Case& c : cases) EXPECT_EQ(vkFromKeysym(c.keysym), c.vk) << XKeysymToString(c.keysym);
    EXPECT_EQ(vkFromKeycode(threadDisplay(), 0), 0);
    EXPECT_EQ(keycodeFromVk(nullptr, 65), 0u);
}

}  // namespace
