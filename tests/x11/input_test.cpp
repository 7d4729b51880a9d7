// Synthetic input through the real X11 backend, seen by a separate target window on the test's Xvfb.
// GoogleTest comes before the X11 headers, whose macros (None, Bool) would break it.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/input_math.h"
#include "platform/platform.h"
#include "platform/x11/injection_notes.h"
#include "platform/x11/keys.h"
#include "x11/target_window.h"

namespace {

using plat::x11::NoteKind;
using x11test::targetPath;
using x11test::TargetWindow;

class X11InputTest : public testing::Test {
  protected:
    static void SetUpTestSuite() { target_ = new TargetWindow; }
    static void TearDownTestSuite() {
        delete target_;
        target_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(ready_ || target_->ready()) << "the target window did not come up: " << targetPath();
        ready_ = true;
        // Buttons go to the window under the pointer.
        plat::injectAbsoluteMove(TargetWindow::kLeft + 200, TargetWindow::kTop + 150);
    }

    std::optional<std::string> next() { return target_->nextLine(); }

    static TargetWindow* target_;
    static bool ready_;
};

TargetWindow* X11InputTest::target_ = nullptr;
bool X11InputTest::ready_ = false;

// The key's keycode in the test's own view of the layout, for the expected lines.
std::string keycodeText(int32_t vk) {
    return std::to_string(plat::x11::keycodeFromVk(plat::x11::threadDisplay(), vk));
}

TEST_F(X11InputTest, KeysArriveAsTheirKeysymsWithPressAndRelease) {
    struct Case {
        int32_t vk;
        const char* keysym;
    };
    // The keypad keys arrive with Num Lock off, as their navigation meanings; Num . must be the
    // keypad's own Del/. key.
    const Case cases[] = {{65, "a"},         {46, "Delete"},     {119, "F8"},        {106, "KP_Multiply"},
                          {96, "KP_Insert"}, {110, "KP_Delete"}, {186, "semicolon"}, {222, "apostrophe"},
                          {13, "Return"},    {32, "space"},      {34, "Next"},       {191, "slash"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.vk);
        EXPECT_EQ(plat::injectKey(c.vk, true), 1);
        EXPECT_EQ(plat::injectKey(c.vk, false), 1);
        EXPECT_EQ(next(), "key press " + keycodeText(c.vk) + " " + c.keysym);
        EXPECT_EQ(next(), "key release " + keycodeText(c.vk) + " " + c.keysym);
    }

    // A held Shift applies to the next key.
    EXPECT_EQ(plat::injectKey(160, true), 1);
    EXPECT_EQ(plat::injectKey(65, true), 1);
    EXPECT_EQ(plat::injectKey(65, false), 1);
    EXPECT_EQ(plat::injectKey(160, false), 1);
    EXPECT_EQ(next(), "key press " + keycodeText(160) + " Shift_L");
    EXPECT_EQ(next(), "key press " + keycodeText(65) + " A");
    EXPECT_EQ(next(), "key release " + keycodeText(65) + " A");
    EXPECT_EQ(next(), "key release " + keycodeText(160) + " Shift_L");
}

TEST_F(X11InputTest, CodesWithoutAKeySendNothing) {
    for (int32_t vk : {0, 7, 255, -1, 256, 1 << 20}) {
        EXPECT_EQ(plat::injectKey(vk, true), 0) << vk;
        EXPECT_EQ(plat::injectKey(vk, false), 0) << vk;
    }
    // The marker key is the first thing the target sees.
    plat::injectKey(88, true);
    plat::injectKey(88, false);
    EXPECT_EQ(next(), "key press " + keycodeText(88) + " x");
    EXPECT_EQ(next(), "key release " + keycodeText(88) + " x");
}

TEST_F(X11InputTest, ButtonsAndWheelArriveAsXButtons) {
    using namespace rv;
    struct Case {
        uint32_t flags;
        int32_t data;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {MOUSEEVENTF_LEFTDOWN, 0, {"button press 1"}},
        {MOUSEEVENTF_LEFTUP, 0, {"button release 1"}},
        {MOUSEEVENTF_RIGHTDOWN, 0, {"button press 3"}},
        {MOUSEEVENTF_RIGHTUP, 0, {"button release 3"}},
        {MOUSEEVENTF_MIDDLEDOWN, 0, {"button press 2"}},
        {MOUSEEVENTF_MIDDLEUP, 0, {"button release 2"}},
        {MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_LEFTUP, 0, {"button press 1", "button release 1"}},
        {MOUSEEVENTF_WHEEL, 120, {"button press 4", "button release 4"}},
        {MOUSEEVENTF_WHEEL,
         -240,
         {"button press 5", "button release 5", "button press 5", "button release 5"}},
        {MOUSEEVENTF_WHEEL, 30, {"button press 4", "button release 4"}},
        {MOUSEEVENTF_WHEEL,
         -359,
         {"button press 5", "button release 5", "button press 5", "button release 5"}},
        // A recorded side-button press says neither which button nor ever comes with its release.
        {MOUSEEVENTF_XDOWN, 0, {"button press 8", "button release 8"}},
        {MOUSEEVENTF_XDOWN, 2, {"button press 9"}},
        {MOUSEEVENTF_XUP, 2, {"button release 9"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.flags << std::dec << " " << c.data);
        plat::injectMouse(c.flags, c.data);
        for (const std::string& line : c.lines) EXPECT_EQ(next(), line);
    }

    // Words without a button or a wheel delta send nothing: the marker click comes first.
    plat::injectMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, 0);
    plat::injectMouse(MOUSEEVENTF_WHEEL, 0);
    plat::injectMouse(0, 120);
    plat::injectMouse(MOUSEEVENTF_RIGHTDOWN, 0);
    plat::injectMouse(MOUSEEVENTF_RIGHTUP, 0);
    EXPECT_EQ(next(), "button press 3");
    EXPECT_EQ(next(), "button release 3");
}

TEST_F(X11InputTest, HugeWheelDeltaIsCapped) {
    plat::injectMouse(rv::MOUSEEVENTF_WHEEL, INT32_MIN);
    plat::injectMouse(rv::MOUSEEVENTF_RIGHTDOWN | rv::MOUSEEVENTF_RIGHTUP, 0);
    int presses = 0;
    std::optional<std::string> line;
    while ((line = next()) && *line != "button press 3") presses += *line == "button press 5";
    EXPECT_EQ(presses, 100);
    EXPECT_EQ(next(), "button release 3");
}

TEST(X11Pointer, MovesLandWhereAsked) {
    struct Case {
        bool relative;
        int32_t x, y;
        int32_t expectX, expectY;
    };
    const Case cases[] = {
        {false, 321, 654, 321, 654},
        {true, 37, -21, 358, 633},
        {true, 0, 0, 358, 633},
        {false, 0, 0, 0, 0},
        {true, -5, -5, 0, 0},  // held at the screen's edge
        {false, 1919, 1079, 1919, 1079},
        {false, 5000, -20, 1919, 0},
        // Beyond the protocol's 16 bits: clamped, not wrapped to the other side.
        {false, 100000, 100000, 1919, 1079},
        {false, 500, 500, 500, 500},
        {true, -70000, 70000, 0, 1079},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.relative ? "relative " : "absolute ") << c.x << "," << c.y);
        if (c.relative)
            plat::injectRelativeMove(c.x, c.y);
        else
            plat::injectAbsoluteMove(c.x, c.y);
        int32_t x = -1, y = -1;
        ASSERT_TRUE(plat::cursorPos(x, y));
        EXPECT_EQ(x, c.expectX);
        EXPECT_EQ(y, c.expectY);
    }
}

TEST(X11Pointer, ScreenSizeIsTheDisplays) {
    int32_t width = 0, height = 0;
    plat::screenSize(width, height);
    EXPECT_EQ(width, 1920);
    EXPECT_EQ(height, 1080);
}

TEST(X11Pointer, WithoutADisplayNothingIsSentAndNothingBreaks) {
    const std::string display = plat::environment("DISPLAY").value_or("");
    unsetenv("DISPLAY");
    // A thread of its own: this one already holds a connection.
    std::thread([] {
        int32_t x = 7, y = 7;
        EXPECT_FALSE(plat::cursorPos(x, y));
        plat::screenSize(x, y);
        EXPECT_EQ(x, 0);
        EXPECT_EQ(y, 0);
        EXPECT_EQ(plat::injectKey(65, true), 0);
        plat::injectMouse(rv::MOUSEEVENTF_LEFTDOWN, 0);
        plat::injectAbsoluteMove(1, 1);
        plat::injectRelativeMove(1, 1);
        EXPECT_EQ(plat::findWindow("Ravelin Input Target"), nullptr);
        plat::forceForeground(reinterpret_cast<plat::WindowHandle>(1));
    }).join();
    setenv("DISPLAY", display.c_str(), 1);
}

// How many pending notes of this kind and detail there are; consumes them.
int pendingNotes(NoteKind kind, uint32_t detail) {
    int count = 0;
    while (plat::x11::isInjectionEcho(kind, detail)) ++count;
    return count;
}

TEST(X11Injection, EveryActionSentIsNoted) {
    const uint32_t keycodeA = plat::x11::keycodeFromVk(plat::x11::threadDisplay(), 65);
    ASSERT_NE(keycodeA, 0u);
    for (uint32_t button : {1u, 3u, 5u, 8u}) pendingNotes(NoteKind::Button, button);
    pendingNotes(NoteKind::Key, keycodeA);
    plat::injectAbsoluteMove(10, 10);  // away from any window
    pendingNotes(NoteKind::Motion, 0);

    plat::injectKey(65, true);
    plat::injectKey(65, false);
    plat::injectKey(0, true);  // not sent, not noted
    plat::injectMouse(rv::MOUSEEVENTF_LEFTDOWN | rv::MOUSEEVENTF_RIGHTDOWN, 0);
    plat::injectMouse(rv::MOUSEEVENTF_LEFTUP | rv::MOUSEEVENTF_RIGHTUP, 0);
    plat::injectMouse(rv::MOUSEEVENTF_WHEEL, -240);
    plat::injectMouse(rv::MOUSEEVENTF_XDOWN, 0);
    plat::injectAbsoluteMove(10, 10);
    plat::injectRelativeMove(1, 1);

    EXPECT_EQ(pendingNotes(NoteKind::Key, keycodeA), 2);
    EXPECT_EQ(pendingNotes(NoteKind::Key, 0), 0);
    EXPECT_EQ(pendingNotes(NoteKind::Button, 1), 2);
    EXPECT_EQ(pendingNotes(NoteKind::Button, 3), 2);
    EXPECT_EQ(pendingNotes(NoteKind::Button, 5), 4);
    EXPECT_EQ(pendingNotes(NoteKind::Button, 8), 2);
    EXPECT_EQ(pendingNotes(NoteKind::Motion, 0), 2);
}

}  // namespace
