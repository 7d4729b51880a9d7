#include "platform/virtual_input.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(VirtualInput, TheLayoutHoldsEveryOutputWithASize) {
    struct Case {
        std::vector<rv::DeskArea> outputs;
        rv::DeskArea box;
    };
    const Case cases[] = {
        {{}, {0, 0, 0, 0}},
        {{{0, 0, 1280, 720}}, {0, 0, 1280, 720}},
        {{{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}}, {0, 0, 3200, 1080}},
        {{{0, 0, 1920, 1080}, {-1280, -200, 1280, 1024}}, {-1280, -200, 3200, 1280}},
        {{{500, 300, 800, 600}}, {500, 300, 800, 600}},                // a layout need not start at 0,0
        {{{0, 0, 0, 0}, {100, 100, 640, 480}}, {100, 100, 640, 480}},  // an output not yet sized
    };
    for (const Case& c : cases) {
        const rv::DeskArea box = rv::layoutBox(c.outputs);
        EXPECT_EQ(std::vector<int32_t>({box.left, box.top, box.width, box.height}),
                  std::vector<int32_t>({c.box.left, c.box.top, c.box.width, c.box.height}))
            << c.outputs.size() << " outputs";
    }
}

TEST(VirtualInput, AnAbsoluteMoveIsThePixelsOffsetInTheLayoutClampedToIt) {
    struct Case {
        rv::DeskArea layout;
        int32_t x, y;
        rv::AbsoluteMotion motion;
    };
    const rv::DeskArea alone{0, 0, 1280, 720};
    const rv::DeskArea left{-1280, -200, 3200, 1280};
    const Case cases[] = {
        {alone, 300, 200, {300, 200, 1280, 720}},
        {alone, 0, 0, {0, 0, 1280, 720}},
        {alone, 1279, 719, {1279, 719, 1280, 720}},
        {alone, 1280, 720, {1279, 719, 1280, 720}},  // the extent itself lies outside
        {alone, -5, 100000, {0, 719, 1280, 720}},
        {left, -1280, -200, {0, 0, 3200, 1280}},
        {left, 0, 0, {1280, 200, 3200, 1280}},
        {left, -2147483647 - 1, 2147483647, {0, 1279, 3200, 1280}},
    };
    for (const Case& c : cases) {
        const auto motion = rv::absoluteMotion(c.x, c.y, c.layout);
        ASSERT_TRUE(motion.has_value()) << c.x << "," << c.y;
        EXPECT_EQ(*motion, c.motion) << c.x << "," << c.y << " -> " << motion->x << "," << motion->y;
    }
    EXPECT_FALSE(rv::absoluteMotion(10, 10, {0, 0, 0, 720}).has_value());
}

TEST(VirtualInput, WheelNotchesAreWholeAtLeastOneAndBounded) {
    const std::pair<int32_t, int32_t> cases[] = {
        {0, 0},
        {120, 1},
        {-120, -1},
        {240, 2},
        {239, 1},
        {30, 1},
        {-1, -1},
        {1200, 10},
        {12000, 100},
        {120000, 100},
        {-2147483647 - 1, -100},
    };
    for (auto [delta, notches] : cases) EXPECT_EQ(rv::wheelNotches(delta), notches) << delta;
}

namespace {

std::string describe(const rv::PointerActions& actions) {
    static const char* const kNames[] = {"left", "right", "middle", "back", "forward"};
    std::string text;
    for (const rv::PointerAction& a : actions) {
        if (!text.empty()) text += " ";
        text += a.wheel ? "wheel" + std::to_string(a.notches)
                        : std::string(kNames[static_cast<int>(a.button)]) + (a.down ? "+" : "-");
    }
    return text;
}

}  // namespace

TEST(VirtualInput, AMouseFlagWordBecomesPointerActionsInOrder) {
    struct Case {
        uint32_t flags;
        int32_t data;
        const char* actions;
    };
    const Case cases[] = {
        {rv::MOUSEEVENTF_LEFTDOWN, 0, "left+"},
        {rv::MOUSEEVENTF_LEFTDOWN | rv::MOUSEEVENTF_LEFTUP, 0, "left+ left-"},
        {rv::MOUSEEVENTF_RIGHTUP | rv::MOUSEEVENTF_MIDDLEDOWN, 0, "right- middle+"},
        {rv::MOUSEEVENTF_XDOWN, 1, "back+"},
        {rv::MOUSEEVENTF_XDOWN, 2, "forward+"},
        {rv::MOUSEEVENTF_XUP, 2, "forward-"},
        // A recorded side press says no button and has no release: a whole click, never one held.
        {rv::MOUSEEVENTF_XDOWN, 0, "back+ back-"},
        {rv::MOUSEEVENTF_XDOWN, 7, "back+ back-"},
        {rv::MOUSEEVENTF_WHEEL, -240, "wheel-2"},
        {rv::MOUSEEVENTF_WHEEL, 0, ""},
        {rv::MOUSEEVENTF_MOVE, 0, ""},
        {rv::MOUSEEVENTF_LEFTDOWN | rv::MOUSEEVENTF_WHEEL, 120, "left+ wheel1"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(describe(rv::pointerActions(c.flags, c.data)), c.actions)
            << std::hex << c.flags << " " << c.data;
}

TEST(VirtualInput, TheKeycodeIsTheLowestAtTheFirstLevelElseTheLowestAnywhere) {
    struct Case {
        std::vector<rv::KeySlot> slots;
        uint32_t keycode;
    };
    const Case cases[] = {
        {{}, 0},
        {{{38, 0}}, 38},
        {{{38, 1}, {52, 0}}, 52},  // "A" where another key gives it unshifted
        {{{90, 0}, {19, 0}}, 19},  // two keys: the lower one
        {{{19, 1}, {10, 1}}, 10},  // "1" on an AZERTY keyboard: shifted only
        {{{0, 0}, {24, 2}}, 24},   // keycode 0 is no key
    };
    for (const Case& c : cases) EXPECT_EQ(rv::chooseKeycode(c.slots), c.keycode) << c.slots.size();
}
