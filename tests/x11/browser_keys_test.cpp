// Which keys the window keeps from the browser engine, and which still reach the page.
#include <gtest/gtest.h>

#include <X11/keysym.h>

#include "platform/x11/browser_keys.h"

namespace {

using plat::x11::isBrowserKey;
using plat::x11::kAltMask;
using plat::x11::kControlMask;
using plat::x11::kShiftMask;

constexpr uint32_t kNumLock = 1u << 4;  // Mod2 on the usual layouts

TEST(BrowserKeys, BrowserFunctionsAreKeptFromTheEngineWhateverLocksAreOn) {
    struct Case {
        uint32_t keysym;
        uint32_t modifiers;
    };
    const Case kept[] = {
        {XK_F7, 0},  // caret browsing
        {XK_F5, 0},
        {XK_F3, 0},            // reload, find again
        {XK_F10, kShiftMask},  // the keyboard's context menu
        {XK_F1, 0},
        {XK_F12, 0},
        {XK_F24, kControlMask},
        {XK_r, kControlMask},
        {XK_R, kControlMask | kShiftMask},
        {XK_f, kControlMask},
        {XK_p, kControlMask},
        {XK_u, kControlMask},
        {XK_plus, kControlMask | kShiftMask},
        {XK_equal, kControlMask},
        {XK_minus, kControlMask},
        {XK_0, kControlMask},
        {XK_KP_Add, kControlMask},
        {XK_I, kControlMask | kShiftMask},  // developer tools
        {XK_Left, kAltMask},
        {XK_Right, kAltMask},  // back, forward
        {XK_Menu, 0},
        {0x1008ff26, 0},  // XF86Back
        {0x1008ff73, 0},  // XF86Reload
    };
    for (const Case& c : kept) {
        EXPECT_TRUE(isBrowserKey(c.keysym, c.modifiers)) << std::hex << c.keysym << " " << c.modifiers;
        EXPECT_TRUE(isBrowserKey(c.keysym, c.modifiers | kNumLock)) << std::hex << c.keysym;
    }
}

TEST(BrowserKeys, TypingAndEditingKeysReachThePage) {
    struct Case {
        uint32_t keysym;
        uint32_t modifiers;
    };
    const Case passed[] = {
        {XK_r, 0},
        {XK_R, kShiftMask},
        {XK_0, 0},
        {XK_minus, 0},
        {XK_Left, 0},
        {XK_Right, kShiftMask},
        {XK_Tab, 0},
        {XK_Escape, 0},
        {XK_Return, 0},
        {XK_space, 0},
        {XK_BackSpace, 0},
        {XK_Up, 0},
        {XK_c, kControlMask},
        {XK_v, kControlMask},
        {XK_x, kControlMask},
        {XK_a, kControlMask},
        {XK_z, kControlMask},
        {XK_Z, kControlMask | kShiftMask},
        {XK_i, kControlMask},
        {XK_Left, kControlMask},  // a word back in a text field
    };
    for (const Case& c : passed)
        EXPECT_FALSE(isBrowserKey(c.keysym, c.modifiers)) << std::hex << c.keysym << " " << c.modifiers;
}

}  // namespace
