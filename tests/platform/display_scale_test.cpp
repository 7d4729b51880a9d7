// Page pixels to window pixels at the display scales Windows offers.
#include "platform/display_scale.h"

#include <gtest/gtest.h>

TEST(DisplayScale, PagePixelsToWindowPixelsAtEachScale) {
    struct Case {
        double scale;
        int32_t width, height;  // a panel's 450 × 400
    };
    const Case cases[] = {
        {1.0, 450, 400},  {1.25, 563, 500},  {1.5, 675, 600}, {1.75, 788, 700},
        {2.0, 900, 800},  {2.25, 1013, 900}, {0.0, 450, 400},  // no scale known
        {-1.0, 450, 400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scale);
        EXPECT_EQ(rv::windowPixels(450, c.scale), c.width);
        EXPECT_EQ(rv::windowPixels(400, c.scale), c.height);
    }
    EXPECT_EQ(rv::windowPixels(-3, 1.5), -5);  // halves away from zero both ways
}
