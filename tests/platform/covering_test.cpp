// Whether the windows above hide a window entirely.
#include "platform/covering.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using plat::Rect;
using Rects = std::vector<Rect>;

TEST(Covering, AWindowIsCoveredOnlyWhenEveryPointLiesUnderAnother) {
    const Rect area{100, 100, 500, 400};
    const struct {
        const char* what;
        Rects over;
        bool covered;
    } cases[] = {
        {"nothing above", {}, false},
        {"the same rectangle", {{100, 100, 500, 400}}, true},
        {"a larger one", {{0, 0, 1920, 1080}}, true},
        {"one pixel short at the right", {{100, 100, 499, 400}}, false},
        {"one pixel short at the top", {{100, 101, 500, 400}}, false},
        {"two halves side by side", {{100, 100, 300, 400}, {300, 100, 500, 400}}, true},
        {"two halves with a one-pixel gap", {{100, 100, 300, 400}, {301, 100, 500, 400}}, false},
        {"two overlapping, one above the other",
         {{50, 50, 450, 300}, {80, 250, 600, 450}, {400, 50, 520, 260}},
         true},
        {"four around a hole in the middle",
         {{100, 100, 500, 200}, {100, 300, 500, 400}, {100, 200, 250, 300}, {260, 200, 500, 300}},
         false},
        {"beside it, touching its edge", {{500, 100, 900, 400}, {0, 0, 100, 1080}}, false},
        {"empty rectangles count for nothing", {{300, 300, 300, 900}, {100, 100, 500, 100}}, false},
        {"an empty one among covering ones", {{0, 0, 0, 0}, {0, 0, 300, 1080}, {300, 0, 600, 1080}}, true},
    };
    for (const auto& c : cases) EXPECT_EQ(plat::rectCovered(area, c.over), c.covered) << c.what;

    // An empty area has nothing left to show.
    EXPECT_TRUE(plat::rectCovered(Rect{10, 10, 10, 50}, {}));
}

TEST(Covering, ManyWindowsAreSortedOutQuickly) {
    const Rect area{0, 0, 1000, 1000};
    // A hundred strips side by side cover it.
    Rects strips;
    for (int x = 0; x < 1000; x += 10) strips.push_back({x, 0, x + 10, 1000});
    EXPECT_TRUE(plat::rectCovered(area, strips));
    strips.erase(strips.begin() + 57);
    EXPECT_FALSE(plat::rectCovered(area, strips));

    // Scattered small windows would split what is left into ever more pieces: the answer is "not
    // covered" (the figures keep coming) rather than a long count.
    Rects specks;
    for (int i = 0; i < 5000; ++i)
        specks.push_back({(i * 37) % 990, (i * 91) % 990, (i * 37) % 990 + 3, (i * 91) % 990 + 3});
    EXPECT_FALSE(plat::rectCovered(area, specks));
}

TEST(Covering, ClippedKeepsTheCommonPartOrNothing) {
    const Rect screen{0, 0, 1920, 1080};
    const Rect inside = plat::clipped({1800, 1000, 2200, 1300}, screen);
    EXPECT_EQ(inside.left, 1800);
    EXPECT_EQ(inside.top, 1000);
    EXPECT_EQ(inside.right, 1920);
    EXPECT_EQ(inside.bottom, 1080);
    const Rect apart = plat::clipped({2000, 0, 2400, 300}, screen);
    EXPECT_TRUE(apart.right <= apart.left);
}

}  // namespace
