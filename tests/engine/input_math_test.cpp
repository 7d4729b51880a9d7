#include "engine/input_math.h"

#include <gtest/gtest.h>

TEST(AbsoluteMoveNormalisation, ScalesTo65536OnThePrimaryDisplay) {
    struct Case {
        int32_t x, y, width, height, dx, dy;
    };
    const Case cases[] = {
        {960, 540, 1920, 1080, 32768, 32768},
        {0, 0, 1920, 1080, 0, 0},
        {1919, 1079, 1920, 1080, 65501, 65475},
        {1920, 1080, 1920, 1080, 65536, 65536},
        {-10, -1, 1920, 1080, -341, -60},  // left of and above the display: negative, sent as is
        {32767, 32767, 1920, 1080, 1118446, 1988350},
        {100, 100, 0, -5, 100, 100},  // no size to normalise against
    };
    for (const Case& c : cases) {
        rv::NormalizedPoint n = rv::normalizeAbsolute(c.x, c.y, c.width, c.height);
        EXPECT_EQ(n.dx, c.dx) << c.x << "," << c.y;
        EXPECT_EQ(n.dy, c.dy) << c.x << "," << c.y;
    }
}

TEST(KeyRecords, ExtendedFlagOnlyForNavigationAndEditingKeys) {
    for (int vk = 0; vk < 256; ++vk) {
        bool extended = (vk >= 33 && vk <= 40) || vk == 45 || vk == 46;
        EXPECT_EQ(rv::isExtendedKey(vk), extended) << vk;
    }
    EXPECT_EQ(rv::keyRecordFlags(46, true), 0x0009u);   // Delete
    EXPECT_EQ(rv::keyRecordFlags(46, false), 0x000Bu);
    EXPECT_EQ(rv::keyRecordFlags(44, true), 0x0008u);   // Print Screen is not extended
    EXPECT_EQ(rv::keyRecordFlags(44, false), 0x000Au);
    EXPECT_EQ(rv::keyRecordFlags(38, true), 0x0009u);   // Up
    EXPECT_EQ(rv::keyRecordFlags(163, true), 0x0008u);  // right Ctrl goes without the flag
}
