// Virtual-key codes ↔ X keysyms and keycodes, and the display names of keys.
#include <X11/XKBlib.h>
#include <X11/keysym.h>

#include <array>

#include "platform/platform.h"
#include "platform/x11/keys.h"

namespace plat::x11 {
namespace {

struct KeyEntry {
    int32_t vk;
    KeySym keysym;
    const char* name;
};

// Names in the words a Windows desktop shows for the same keys.
constexpr KeyEntry kKeys[] = {
    {8, XK_BackSpace, "Backspace"},
    {9, XK_Tab, "Tab"},
    {13, XK_Return, "Enter"},
    {16, XK_Shift_L, "Shift"},
    {17, XK_Control_L, "Ctrl"},
    {18, XK_Alt_L, "Alt"},
    {19, XK_Pause, "Pause"},
    {20, XK_Caps_Lock, "Caps Lock"},
    {27, XK_Escape, "Esc"},
    {32, XK_space, "Space"},
    {33, XK_Prior, "Page Up"},
    {34, XK_Next, "Page Down"},
    {35, XK_End, "End"},
    {36, XK_Home, "Home"},
    {37, XK_Left, "Left"},
    {38, XK_Up, "Up"},
    {39, XK_Right, "Right"},
    {40, XK_Down, "Down"},
    {44, XK_Print, "Print Screen"},
    {45, XK_Insert, "Insert"},
    {46, XK_Delete, "Delete"},
    {48, XK_0, "0"},
    {49, XK_1, "1"},
    {50, XK_2, "2"},
    {51, XK_3, "3"},
    {52, XK_4, "4"},
    {53, XK_5, "5"},
    {54, XK_6, "6"},
    {55, XK_7, "7"},
    {56, XK_8, "8"},
    {57, XK_9, "9"},
    {65, XK_a, "A"},
    {66, XK_b, "B"},
    {67, XK_c, "C"},
    {68, XK_d, "D"},
    {69, XK_e, "E"},
    {70, XK_f, "F"},
    {71, XK_g, "G"},
    {72, XK_h, "H"},
    {73, XK_i, "I"},
    {74, XK_j, "J"},
    {75, XK_k, "K"},
    {76, XK_l, "L"},
    {77, XK_m, "M"},
    {78, XK_n, "N"},
    {79, XK_o, "O"},
    {80, XK_p, "P"},
    {81, XK_q, "Q"},
    {82, XK_r, "R"},
    {83, XK_s, "S"},
    {84, XK_t, "T"},
    {85, XK_u, "U"},
    {86, XK_v, "V"},
    {87, XK_w, "W"},
    {88, XK_x, "X"},
    {89, XK_y, "Y"},
    {90, XK_z, "Z"},
    {91, XK_Super_L, "Left Windows"},
    {92, XK_Super_R, "Right Windows"},
    {93, XK_Menu, "Application"},
    {96, XK_KP_0, "Num 0"},
    {97, XK_KP_1, "Num 1"},
    {98, XK_KP_2, "Num 2"},
    {99, XK_KP_3, "Num 3"},
    {100, XK_KP_4, "Num 4"},
    {101, XK_KP_5, "Num 5"},
    {102, XK_KP_6, "Num 6"},
    {103, XK_KP_7, "Num 7"},
    {104, XK_KP_8, "Num 8"},
    {105, XK_KP_9, "Num 9"},
    {106, XK_KP_Multiply, "Num *"},
    {107, XK_KP_Add, "Num +"},
    {108, XK_KP_Separator, "Num Separator"},
    {109, XK_KP_Subtract, "Num -"},
    {110, XK_KP_Decimal, "Num ."},
    {111, XK_KP_Divide, "Num /"},
    {112, XK_F1, "F1"},
    {113, XK_F2, "F2"},
    {114, XK_F3, "F3"},
    {115, XK_F4, "F4"},
    {116, XK_F5, "F5"},
    {117, XK_F6, "F6"},
    {118, XK_F7, "F7"},
    {119, XK_F8, "F8"},
    {120, XK_F9, "F9"},
    {121, XK_F10, "F10"},
    {122, XK_F11, "F11"},
    {123, XK_F12, "F12"},
    {124, XK_F13, "F13"},
    {125, XK_F14, "F14"},
    {126, XK_F15, "F15"},
    {127, XK_F16, "F16"},
    {128, XK_F17, "F17"},
    {129, XK_F18, "F18"},
    {130, XK_F19, "F19"},
    {131, XK_F20, "F20"},
    {132, XK_F21, "F21"},
    {133, XK_F22, "F22"},
    {134, XK_F23, "F23"},
    {135, XK_F24, "F24"},
    {144, XK_Num_Lock, "Num Lock"},
    {145, XK_Scroll_Lock, "Scroll Lock"},
    {160, XK_Shift_L, "Shift"},
    {161, XK_Shift_R, "Right Shift"},
    {162, XK_Control_L, "Ctrl"},
    {163, XK_Control_R, "Right Ctrl"},
    {164, XK_Alt_L, "Alt"},
    {165, XK_Alt_R, "Right Alt"},
    {186, XK_semicolon, ";"},
    {187, XK_equal, "="},
    {188, XK_comma, ","},
    {189, XK_minus, "-"},
    {190, XK_period, "."},
    {191, XK_slash, "/"},
    {192, XK_grave, "`"},
    {219, XK_bracketleft, "["},
    {220, XK_backslash, "\\"},
    {221, XK_bracketright, "]"},
    {222, XK_apostrophe, "'"},
};

// Keysyms that only ever come back from the server: the other meaning of a keypad key, the shifted or
// alternative symbol of a key in the table.
constexpr KeyEntry kOtherMeanings[] = {
    {96, XK_KP_Insert, nullptr},   {97, XK_KP_End, nullptr},     {98, XK_KP_Down, nullptr},
    {99, XK_KP_Next, nullptr},     {100, XK_KP_Left, nullptr},   {101, XK_KP_Begin, nullptr},
    {102, XK_KP_Right, nullptr},   {103, XK_KP_Home, nullptr},   {104, XK_KP_Up, nullptr},
    {105, XK_KP_Prior, nullptr},   {110, XK_KP_Delete, nullptr}, {13, XK_KP_Enter, nullptr},
    {9, XK_ISO_Left_Tab, nullptr}, {44, XK_Sys_Req, nullptr},    {19, XK_Break, nullptr},
    {164, XK_Meta_L, nullptr},     {165, XK_Meta_R, nullptr},    {165, XK_ISO_Level3_Shift, nullptr},
};

// The generic modifier codes: they send the left key, and a key read back is always a sided code.
bool isGenericModifier(int32_t vk) {
    return vk == 16 || vk == 17 || vk == 18;
}

constexpr std::array<const KeyEntry*, 256> indexByVk() {
    std::array<const KeyEntry*, 256> index{};
    for (const KeyEntry& entry : kKeys) index[static_cast<size_t>(entry.vk)] = &entry;
    return index;
}

constexpr std::array<const KeyEntry*, 256> kByVk = indexByVk();

const KeyEntry* entryOf(int32_t vk) {
    if (vk < 0 || vk > 255) return nullptr;
    return kByVk[static_cast<size_t>(vk)];
}

}  // namespace

KeySym keysymFromVk(int32_t vk) {
    const KeyEntry* entry = entryOf(vk);
    return entry ? entry->keysym : NoSymbol;
}

int32_t vkFromKeysym(KeySym keysym) {
    if (keysym == NoSymbol) return 0;
    if (keysym >= XK_A && keysym <= XK_Z) return static_cast<int32_t>(keysym - XK_A) + 65;
    for (const KeyEntry& entry : kKeys)
        if (entry.keysym == keysym && !isGenericModifier(entry.vk)) return entry.vk;
    for (const KeyEntry& entry : kOtherMeanings)
        if (entry.keysym == keysym) return entry.vk;
    return 0;
}

unsigned keycodeFromVk(Display* display, int32_t vk) {
    if (!display) return 0;
    KeySym keysym = keysymFromVk(vk);
    if (keysym == NoSymbol) return 0;
    // XKeysymToKeycode looks at first levels first, so KP_Decimal alone would find the extra keypad
    // comma key of some keyboards before the keypad's own Del/. key.
    if (vk == 110) {
        if (KeyCode code = XKeysymToKeycode(display, XK_KP_Delete)) return code;
    }
    if (KeyCode code = XKeysymToKeycode(display, keysym)) return code;
    // Layouts with AltGr put ISO_Level3_Shift on the right Alt key.
    if (vk == 165) return XKeysymToKeycode(display, XK_ISO_Level3_Shift);
    return 0;
}

int32_t vkFromKeycode(Display* display, unsigned keycode) {
    if (!display || keycode < 8 || keycode > 255) return 0;
    // Some keycodes carry their symbol on the second level only (a second Super_L, for instance).
    for (int level = 0; level < 2; ++level) {
        KeySym keysym = XkbKeycodeToKeysym(display, static_cast<KeyCode>(keycode), 0, level);
        if (keysym == NoSymbol) continue;
        return vkFromKeysym(keysym);
    }
    return 0;
}

}  // namespace plat::x11

namespace plat {

std::string keyName(int32_t vk) {
    const x11::KeyEntry* entry = x11::entryOf(vk);
    return entry ? entry->name : "";
}

}  // namespace plat
