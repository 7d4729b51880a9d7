#include "platform/input_math.h"

#include <gtest/gtest.h>

#include <initializer_list>

TEST(AbsoluteMoveNormalisation, ScalesTo65536OnThePrimaryDisplay) {
    struct Case {
        int32_t x, y, width, height, dx, dy;
    };
    const Case cases[] = {
        {960, 540, 1920, 1080, 32768, 32768},
        {0, 0, 1920, 1080, 0, 0},
        {1919, 1079, 1920, 1080, 65502, 65476},  // rounded up: truncated, the last pixel is missed
        {1920, 1080, 1920, 1080, 65536, 65536},
        {-10, -1, 1920, 1080, -341, -60},  // left of and above the display: negative, sent as is
        {32767, 32767, 1920, 1080, 1118447, 1988351},
        {1, 1, 2560, 1440, 26, 46},
        {100, 100, 0, -5, 100, 100},  // no size to normalise against
    };
    for (const Case& c : cases) {
        rv::NormalizedPoint n = rv::normalizeAbsolute(c.x, c.y, c.width, c.height);
        EXPECT_EQ(n.dx, c.dx) << c.x << "," << c.y;
        EXPECT_EQ(n.dy, c.dy) << c.x << "," << c.y;
    }
}

TEST(AbsoluteMoveNormalisation, EveryPixelMapsBackToItself) {
    // The system's way back: n × extent / 65536, rounded down.
    for (int32_t extent : {640, 1080, 1366, 1920, 2160, 3840, 7680}) {
        for (int32_t pixel = -extent; pixel <= extent; ++pixel) {
            int32_t n = rv::normalizeAbsolute(pixel, 0, extent, 1).dx;
            int64_t product = static_cast<int64_t>(n) * extent;
            int64_t back = product >= 0 ? product / 65536 : -((-product + 65535) / 65536);
            ASSERT_EQ(back, pixel) << "extent " << extent;
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
