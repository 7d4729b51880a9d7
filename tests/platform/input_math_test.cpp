#include "platform/input_math.h"

#include <gtest/gtest.h>

#include <initializer_list>

TEST(AbsoluteMoveNormalisation, ScalesTo65536OverTheVirtualDesktop) {
    struct Case {
        const char* layout;
        rv::DeskArea desk;
        int32_t x, y, dx, dy;
    };
    const rv::DeskArea alone{0, 0, 1920, 1080};
    const rv::DeskArea left{-1280, 0, 3200, 1080};      // 1280 × 1024 left of a 1920 × 1080 primary
    const rv::DeskArea above{-320, -1440, 2560, 2520};  // 2560 × 1440 above it, overhanging both sides
    const rv::DeskArea bigger{0, 0, 5760, 2160};        // 3840 × 2160 right of it
    const Case cases[] = {
        {"alone", alone, 960, 540, 32768, 32768},
        {"alone", alone, 0, 0, 0, 0},
        {"alone", alone, 1919, 1079, 65502, 65476},  // rounded up: truncated, the last pixel is missed
        {"alone", alone, 1920, 1080, 65536, 65536},
        {"alone", alone, -10, -1, -341, -60},  // outside the desktop: negative, sent as is
        {"alone", alone, 32767, 32767, 1118447, 1988351},
        {"alone", {0, 0, 2560, 1440}, 1, 1, 26, 46},
        {"alone", {0, 0, 0, -5}, 100, 100, 100, 100},  // no size to normalise against
        {"left", left, -1280, 0, 0, 0},
        {"left", left, -1, 1023, 26194, 62078},
        {"left", left, 0, 0, 26215, 0},  // the primary's corner
        {"left", left, 1919, 1079, 65516, 65476},
        {"above", above, -320, -1440, 0, 0},
        {"above", above, 0, 0, 8192, 37450},
        {"above", above, 2239, 1079, 65511, 65510},
        {"bigger", bigger, 1919, 1079, 21834, 32738},
        {"bigger", bigger, 5759, 2159, 65525, 65506},
    };
    for (const Case& c : cases) {
        rv::NormalizedPoint n = rv::normalizeAbsolute(c.x, c.y, c.desk);
        EXPECT_EQ(n.dx, c.dx) << c.layout << " " << c.x << "," << c.y;
        EXPECT_EQ(n.dy, c.dy) << c.layout << " " << c.x << "," << c.y;
    }
}

// Pixel to normalised value and back, as the system maps it, for every pixel of each layout (and
// as far again beyond it, where the system would clamp but the arithmetic must still hold).
TEST(AbsoluteMoveNormalisation, EveryPixelOfEveryLayoutMapsBackToItself) {
    const rv::DeskArea layouts[] = {
        {0, 0, 640, 480},          {0, 0, 1366, 768},
        {0, 0, 1920, 1080},        {0, 0, 3840, 2160},
        {-1280, 0, 3200, 1080},    {-1920, -120, 3840, 1200},
        {-320, -1440, 2560, 2520}, {0, -2160, 3840, 3240},
        {0, 0, 5760, 2160},        {-7680, -4320, 15360, 8640},
    };
    for (const rv::DeskArea& desk : layouts) {
        for (int32_t offset = -desk.width; offset < 2 * desk.width; ++offset) {
            const int32_t x = desk.left + offset;
            const int32_t y = desk.top + offset % (desk.height * 2);
            rv::DeskPixel back = rv::deskPixel(rv::normalizeAbsolute(x, y, desk), desk);
            ASSERT_EQ(back.x, x) << desk.left << "," << desk.top << " " << desk.width << "x" << desk.height;
            ASSERT_EQ(back.y, y) << desk.left << "," << desk.top << " " << desk.width << "x" << desk.height;
        }
    }
}

TEST(KeyRecords, ExtendedFlagOnlyForNavigationAndEditingKeys) {
    for (int vk = 0; vk < 256; ++vk) {
        bool extended = (vk >= 33 && vk <= 40) || vk == 45 || vk == 46;
        EXPECT_EQ(rv::isExtendedKey(vk), extended) << vk;
    }
    EXPECT_EQ(rv::keyRecordFlags(46, true), 0x0009u);  // Delete
    EXPECT_EQ(rv::keyRecordFlags(46, false), 0x000Bu);
    EXPECT_EQ(rv::keyRecordFlags(44, true), 0x0008u);  // Print Screen is not extended
    EXPECT_EQ(rv::keyRecordFlags(44, false), 0x000Au);
    EXPECT_EQ(rv::keyRecordFlags(38, true), 0x0009u);   // Up
    EXPECT_EQ(rv::keyRecordFlags(163, true), 0x0008u);  // right Ctrl: not on the fixed list
}

// The layout's prefix makes a key extended; without one the fixed list still does.
TEST(KeyRecords, ExtendedFlagFromTheLayoutAsWellAsTheFixedList) {
    struct Case {
        const char* name;
        int32_t vk;
        uint32_t prefixed, plain;
        uint16_t scan;
        bool extended;
    };
    const Case cases[] = {
        {"A", 0x41, 0x1E, 0x1E, 0x1E, false},
        {"Volume Up (was the B key)", 0xAF, 0xE030, 0x30, 0x30, true},
        {"left Windows", 0x5B, 0xE05B, 0x5B, 0x5B, true},
        {"right Ctrl (was left Ctrl)", 0xA3, 0xE01D, 0x1D, 0x1D, true},
        {"right Alt", 0xA5, 0xE038, 0x38, 0x38, true},
        {"keypad divide", 0x6F, 0xE035, 0x35, 0x35, true},
        {"Delete, layout with prefix", 46, 0xE053, 0x53, 0x53, true},
        {"Delete, layout without prefix", 46, 0x53, 0x53, 0x53, true},
        {"Print Screen, layout without prefix", 44, 0x54, 0x54, 0x54, false},
        {"Pause keeps its plain code", 0x13, 0xE11D, 0x45, 0x45, false},
        {"no scan code", 0xFF, 0, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        rv::KeyScan key = rv::keyScanFromLayout(c.vk, c.prefixed, c.plain);
        EXPECT_EQ(key.scan, c.scan);
        EXPECT_EQ(key.extended, c.extended);
        EXPECT_EQ(rv::keyRecordFlags(key, true), c.extended ? 0x0009u : 0x0008u);
        EXPECT_EQ(rv::keyRecordFlags(key, false), c.extended ? 0x000Bu : 0x000Au);
    }
}

TEST(HookCheck, InputNoHookSawMeansTheHooksAreGone) {
    struct Case {
        const char* name;
        uint32_t input, hook;
        bool missed;
    };
    const Case cases[] = {
        {"input before the last hook call", 5000, 6000, false},
        {"input as the hook ran", 6000, 6000, false},
        {"within the grace", 7000, 6000, false},
        {"past the grace", 7001, 6000, true},
        {"the tick count wrapped between them", 700, 0xFFFFFF00u, false},
        {"wrapped and past the grace", 1200, 0xFFFFFF00u, true},
        {"input just before the wrap, hook just after", 0xFFFFFFF0u, 16, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(rv::inputMissedByHooks(c.input, c.hook, 1000), c.missed);
    }
}
