// The X11 capture loop on the test's Xvfb: real input from xdotool and from our own injection reaches
// the handlers as the system's key and mouse events, and the grabs swallow what the plan asks for.
// GoogleTest comes before the X11 headers, whose macros (None, Bool) would break it.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture.h"
#include "platform/input_math.h"
#include "platform/platform.h"
#include "platform/x11/keys.h"
#include "state/state.h"
#include "x11/target_window.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// ---- what the handlers heard ----

struct Heard {
    enum Kind { key, mouse, raw } kind;
    plat::KeyEvent keyEvent{};
    plat::MouseEvent mouseEvent{};
    plat::RawMotion motion{};
};

std::mutex heardMutex;
std::vector<Heard> heard;
// When set, the events also go on to the program's own handlers (grab tests).
std::atomic<bool> forwardToProgram{false};

bool hearKey(const plat::KeyEvent& event) {
    {
        std::lock_guard<std::mutex> lock(heardMutex);
        heard.push_back({Heard::key, event, {}, {}});
    }
    return forwardToProgram && rv::onKeyEvent(event);
}

bool hearMouse(const plat::MouseEvent& event) {
    {
        std::lock_guard<std::mutex> lock(heardMutex);
        heard.push_back({Heard::mouse, {}, event, {}});
    }
    return forwardToProgram && rv::onMouseEvent(event);
}

void hearMotion(const plat::RawMotion& motion) {
    {
        std::lock_guard<std::mutex> lock(heardMutex);
        heard.push_back({Heard::raw, {}, {}, motion});
    }
    if (forwardToProgram) rv::onRawMotion(motion);
}

std::vector<Heard> heardSoFar() {
    std::lock_guard<std::mutex> lock(heardMutex);
    return heard;
}

void forgetHeard() {
    std::lock_guard<std::mutex> lock(heardMutex);
    heard.clear();
}

// Polls `done` every 2 ms.
bool waitUntil(const std::function<bool()>& done, int timeoutMs = 3000) {
    return x11test::eventually(done, timeoutMs / 1000.0, 2);
}

void xdotool(const std::string& arguments) {
    ASSERT_EQ(std::system(("xdotool " + arguments).c_str()), 0) << arguments;
}

std::vector<plat::KeyEvent> keysHeard() {
    std::vector<plat::KeyEvent> keys;
    for (const Heard& h : heardSoFar())
        if (h.kind == Heard::key) keys.push_back(h.keyEvent);
    return keys;
}

// Mouse events other than moves.
std::vector<plat::MouseEvent> buttonsHeard() {
    std::vector<plat::MouseEvent> buttons;
    for (const Heard& h : heardSoFar())
        if (h.kind == Heard::mouse && h.mouseEvent.message != rv::WM_MOUSEMOVE)
            buttons.push_back(h.mouseEvent);
    return buttons;
}

size_t injectedMovesHeard() {
    size_t count = 0;
    for (const Heard& h : heardSoFar())
        if (h.kind == Heard::mouse && h.mouseEvent.message == rv::WM_MOUSEMOVE && h.mouseEvent.injected)
            ++count;
    return count;
}

// Everything sent before it has been handled once our own marker move comes through: the server
// handles the requests of all clients in the order they come.
bool barrier(int timeoutMs = 3000) {
    const size_t before = injectedMovesHeard();
    plat::injectRelativeMove(0, 0);
    return waitUntil([before] { return injectedMovesHeard() > before; }, timeoutMs);
}

// Waits until a loop that has just started hears input. The probe is xdotool's: a move of our own
// that the loop never sees would leave its injection note waiting, and the note would take the next
// XTEST move (xdotool's) for our own.
bool waitForLoop() {
    const bool up = waitUntil([] {
        if (std::system("xdotool mousemove_relative 1 0 mousemove_relative -- -1 0") != 0) return false;
        return !heardSoFar().empty();
    });
    forgetHeard();
    return up;
}

// Gives a change of state time to reach the grabs (the plan is read every few milliseconds), waits
// until everything sent so far has been handled, and forgets what was heard.
bool settle() {
    std::this_thread::sleep_for(milliseconds(15));
    const bool done = barrier();
    forgetHeard();
    return done;
}

// ---- the loop on a thread of its own ----

class CaptureLoop {
  public:
    CaptureLoop()
        : thread_([] {
              plat::runCaptureLoop({&hearKey, &hearMouse, &hearMotion, &rv::captureGrabPlan});
          }) {
        up_ = waitForLoop();
    }
    ~CaptureLoop() {
        plat::stopCaptureLoop();
        thread_.join();
    }
    CaptureLoop(const CaptureLoop&) = delete;
    CaptureLoop& operator=(const CaptureLoop&) = delete;

    bool up() const { return up_; }

  private:
    std::thread thread_;
    bool up_ = false;
};

std::string keyLine(const char* sense, KeySym keysym) {
    const unsigned keycode = XKeysymToKeycode(plat::x11::threadDisplay(), keysym);
    return std::string("key ") + sense + " " + std::to_string(keycode) + " " + XKeysymToString(keysym);
}

// Presses and releases a key with our own injection. F5, which nothing grabs, serves as the marker
// that shows the window has seen everything sent before it.
void tap(int32_t vk) {
    plat::injectKey(vk, true);
    plat::injectKey(vk, false);
}

// The next line of the target, passing over the lone release of a hotkey whose press was taken: it
// reaches the window when the grab has ended before the release came, which is a matter of timing.
std::optional<std::string> nextLineAfterLoneRelease(x11test::TargetWindow& target, KeySym hotkey) {
    std::optional<std::string> line = target.nextLine();
    if (line == keyLine("release", hotkey)) line = target.nextLine();
    return line;
}

class X11CaptureTest : public testing::Test {
  protected:
    void SetUp() override {
        rv::resetStateForTests();
        {
            std::lock_guard<std::mutex> lock(rv::profilesLock);
            rv::profiles.push_back(rv::Profile{"capture", "", {}});
        }
        // Grabs only where a test asks for them.
        rv::hotkeysEnabled = false;
        forwardToProgram = false;
        forgetHeard();
    }
    void TearDown() override {
        forwardToProgram = false;
        rv::resetStateForTests();
    }
};

TEST_F(X11CaptureTest, KeysArriveAsTheirCodesAndOnlyOurOwnAreInjected) {
    CaptureLoop loop;
    ASSERT_TRUE(loop.up());
    ASSERT_TRUE(settle());

    xdotool("key F6");
    ASSERT_TRUE(waitUntil([] { return keysHeard().size() >= 2; }));
    std::vector<plat::KeyEvent> keys = keysHeard();
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(keys[0].vk, 117);
    EXPECT_TRUE(keys[0].down);
    EXPECT_EQ(keys[1].vk, 117);
    EXPECT_FALSE(keys[1].down);
    EXPECT_FALSE(keys[0].injected || keys[1].injected);

    // Our own A is an echo; xdotool's A right after it, through the same XTEST device, is not.
    forgetHeard();
    plat::injectKey(65, true);
    plat::injectKey(65, false);
    ASSERT_TRUE(waitUntil([] { return keysHeard().size() >= 2; }));
    xdotool("key a");
    ASSERT_TRUE(waitUntil([] { return keysHeard().size() >= 4; }));
    keys = keysHeard();
    ASSERT_EQ(keys.size(), 4u);
    for (size_t i = 0; i < keys.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(keys[i].vk, 65);
        EXPECT_EQ(keys[i].down, i % 2 == 0);
        EXPECT_EQ(keys[i].injected, i < 2);
    }
}

TEST_F(X11CaptureTest, ButtonsWheelAndSideButtonsBecomeTheirMessages) {
    CaptureLoop loop;
    ASSERT_TRUE(loop.up());
    xdotool("mousemove 321 234");
    ASSERT_TRUE(settle());

    struct Case {
        int button;
        std::vector<std::pair<uint32_t, int16_t>> messages;  // message, high word of mouseData
    };
    const Case cases[] = {
        {1, {{rv::WM_LBUTTONDOWN, 0}, {rv::WM_LBUTTONUP, 0}}},
        {2, {{rv::WM_MBUTTONDOWN, 0}, {rv::WM_MBUTTONUP, 0}}},
        {3, {{rv::WM_RBUTTONDOWN, 0}, {rv::WM_RBUTTONUP, 0}}},
        {4, {{rv::WM_MOUSEWHEEL, 120}}},
        {5, {{rv::WM_MOUSEWHEEL, -120}}},
        {6, {{rv::WM_MOUSEHWHEEL, -120}}},
        {7, {{rv::WM_MOUSEHWHEEL, 120}}},
        {8, {{rv::WM_XBUTTONDOWN, 1}, {rv::WM_XBUTTONUP, 1}}},
        {9, {{rv::WM_XBUTTONDOWN, 2}, {rv::WM_XBUTTONUP, 2}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        forgetHeard();
        xdotool("click " + std::to_string(c.button));
        ASSERT_TRUE(barrier());
        const std::vector<plat::MouseEvent> buttons = buttonsHeard();
        ASSERT_EQ(buttons.size(), c.messages.size());
        for (size_t i = 0; i < buttons.size(); ++i) {
            EXPECT_EQ(buttons[i].message, c.messages[i].first);
            EXPECT_EQ(static_cast<int16_t>(buttons[i].mouseData >> 16), c.messages[i].second);
            EXPECT_EQ(buttons[i].mouseData & 0xFFFF, 0u);
            EXPECT_EQ(buttons[i].x, 321);
            EXPECT_EQ(buttons[i].y, 234);
            EXPECT_FALSE(buttons[i].injected);
        }
    }

    // Our own wheel notch and right click are echoes.
    forgetHeard();
    plat::injectMouse(rv::MOUSEEVENTF_WHEEL, -120);
    plat::injectMouse(rv::MOUSEEVENTF_RIGHTDOWN, 0);
    plat::injectMouse(rv::MOUSEEVENTF_RIGHTUP, 0);
    ASSERT_TRUE(waitUntil([] { return buttonsHeard().size() >= 3; }));
    const std::vector<plat::MouseEvent> ours = buttonsHeard();
    ASSERT_EQ(ours.size(), 3u);
    EXPECT_EQ(ours[0].message, rv::WM_MOUSEWHEEL);
    EXPECT_EQ(ours[1].message, rv::WM_RBUTTONDOWN);
    EXPECT_EQ(ours[2].message, rv::WM_RBUTTONUP);
    for (const plat::MouseEvent& event : ours) EXPECT_TRUE(event.injected);
}

TEST_F(X11CaptureTest, MotionGivesTheScreenPointAndTheDeviceMotion) {
    CaptureLoop loop;
    ASSERT_TRUE(loop.up());
    xdotool("mousemove 500 400");
    ASSERT_TRUE(settle());

    // Small steps stay below the pointer acceleration threshold: the pointer moves by the motion.
    xdotool("mousemove_relative -- -3 2");
    ASSERT_TRUE(waitUntil([] { return heardSoFar().size() >= 2; }));
    std::vector<Heard> seen = heardSoFar();
    ASSERT_EQ(seen.size(), 2u);
    ASSERT_EQ(seen[0].kind, Heard::mouse);
    EXPECT_EQ(seen[0].mouseEvent.message, rv::WM_MOUSEMOVE);
    EXPECT_EQ(seen[0].mouseEvent.x, 497);
    EXPECT_EQ(seen[0].mouseEvent.y, 402);
    EXPECT_FALSE(seen[0].mouseEvent.injected);
    ASSERT_EQ(seen[1].kind, Heard::raw);
    EXPECT_EQ(seen[1].motion.dx, -3);
    EXPECT_EQ(seen[1].motion.dy, 2);
    EXPECT_FALSE(seen[1].motion.absolute);

    // An absolute move of ours: its raw values are the point, not a motion.
    forgetHeard();
    plat::injectAbsoluteMove(640, 360);
    ASSERT_TRUE(waitUntil([] { return heardSoFar().size() >= 2; }));
    seen = heardSoFar();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].mouseEvent.x, 640);
    EXPECT_EQ(seen[0].mouseEvent.y, 360);
    EXPECT_TRUE(seen[0].mouseEvent.injected);
    EXPECT_TRUE(seen[1].motion.absolute);
    EXPECT_EQ(seen[1].motion.dx, 640);
    EXPECT_EQ(seen[1].motion.dy, 360);
}

// Starts a loop on a thread, waits until `running` says it runs, stops it and returns how long it
// took to end (or a minute when it did not end within a second).
template <typename Running>
Clock::duration timeToStop(Running running) {
    std::atomic<bool> ended{false};
    std::thread thread([&] {
        plat::runCaptureLoop({&hearKey, &hearMouse, &hearMotion, &rv::captureGrabPlan});
        ended = true;
    });
    const bool ran = running() && !ended.load();
    const auto start = Clock::now();
    plat::stopCaptureLoop();
    const bool endedInTime = waitUntil([&] { return ended.load(); }, 1000);
    const auto took = Clock::now() - start;
    thread.join();
    return ran && endedInTime ? took : std::chrono::minutes(1);
}

TEST_F(X11CaptureTest, StopEndsTheLoopWhetherItComesBeforeOrDuringIt) {
    // Before: the loop ends as soon as it starts.
    plat::stopCaptureLoop();
    const auto start = Clock::now();
    plat::runCaptureLoop({&hearKey, &hearMouse, &hearMotion, &rv::captureGrabPlan});
    EXPECT_LT(Clock::now() - start, milliseconds(50));

    // The stop was used up: the next loop runs until it is stopped, and then ends within a few ms,
    // also while it waits for a display that cannot be opened (it looks again once a second).
    EXPECT_LT(timeToStop(&waitForLoop), milliseconds(50));
    ASSERT_NE(std::getenv("DISPLAY"), nullptr);
    const std::string display = std::getenv("DISPLAY");
    setenv("DISPLAY", ":31999", 1);
    EXPECT_LT(timeToStop([] {
                  std::this_thread::sleep_for(milliseconds(100));
                  return true;
              }),
              milliseconds(50));
    setenv("DISPLAY", display.c_str(), 1);
}

TEST_F(X11CaptureTest, HotkeysAreSwallowedWhileEnabledAndPassOnceDisabled) {
    x11test::TargetWindow target;
    ASSERT_TRUE(target.ready());
    rv::hotkeysEnabled = true;
    forwardToProgram = true;
    CaptureLoop loop;
    ASSERT_TRUE(loop.up());
    ASSERT_TRUE(settle());

    // The press is taken; the window gets at most the lone release, which changes nothing there.
    xdotool("key F6 F5");
    EXPECT_EQ(nextLineAfterLoneRelease(target, XK_F6), keyLine("press", XK_F5));
    EXPECT_EQ(target.nextLine(), keyLine("release", XK_F5));
    EXPECT_TRUE(rv::clickerToggleRequest.load());

    // The plan changes and the loop is told, as every writer of the plan's inputs does: F6 reaches
    // the window within a few milliseconds.
    rv::hotkeysEnabled = false;
    plat::wakeCaptureLoop();
    std::this_thread::sleep_for(milliseconds(10));
    tap(117);
    EXPECT_EQ(target.nextLine(), keyLine("press", XK_F6));
    EXPECT_EQ(target.nextLine(), keyLine("release", XK_F6));

    rv::hotkeysEnabled = true;
    plat::wakeCaptureLoop();
    std::this_thread::sleep_for(milliseconds(10));
    tap(117);
    tap(116);
    EXPECT_EQ(nextLineAfterLoneRelease(target, XK_F6), keyLine("press", XK_F5));
    EXPECT_EQ(target.nextLine(), keyLine("release", XK_F5));
}

TEST_F(X11CaptureTest, KeysWeInjectWhileAHotkeyIsHeldReachTheFocusedWindow) {
    // A hotkey held as a person holds it (150 ms), and one held past the start of auto-repeat: every
    // key injected meanwhile goes where the focus is, none to us, and the hotkey's press never does.
    x11test::TargetWindow target;
    ASSERT_TRUE(target.ready());
    rv::hotkeysEnabled = true;
    forwardToProgram = true;
    CaptureLoop loop;
    ASSERT_TRUE(loop.up());
    ASSERT_TRUE(settle());
    for (int holdMs : {150, 1200}) {
        SCOPED_TRACE(holdMs);
        rv::playToggleRequest = false;
        xdotool("keydown F7");
        ASSERT_TRUE(waitUntil([] { return rv::playToggleRequest.load(); }));
        int sent = 0;
        for (const auto end = Clock::now() + milliseconds(holdMs); Clock::now() < end; ++sent) {
            tap(65);
            std::this_thread::sleep_for(milliseconds(5));
        }
        xdotool("keyup F7");
        tap(116);
        int presses = 0, releases = 0;
        for (;;) {
            std::optional<std::string> line = target.nextLine();
            ASSERT_TRUE(line.has_value())
                << "the marker never came; " << presses << " of " << sent << " arrived";
            if (*line == keyLine("press", XK_F5)) break;
            if (*line == keyLine("press", XK_a)) ++presses;
            if (*line == keyLine("release", XK_a)) ++releases;
        }
        EXPECT_EQ(target.nextLine(), keyLine("release", XK_F5));
        EXPECT_EQ(presses, sent);
        EXPECT_EQ(releases, sent);
    }
    // The hotkey's grab is back once it was released: the next press is taken again.
    ASSERT_TRUE(barrier());
    std::this_thread::sleep_for(milliseconds(10));
    rv::playToggleRequest = false;
    xdotool("key F7");
    tap(116);
    EXPECT_EQ(nextLineAfterLoneRelease(target, XK_F7), keyLine("press", XK_F5));
    EXPECT_TRUE(rv::playToggleRequest.load());
}

TEST_F(X11CaptureTest, KeysPressedWhileAHotkeyIsHeldStillReachTheHandlers) {
    // While a grabbed key is down its grab takes the whole keyboard; the handlers must still hear
    // every key, and the held key's release, once each and in order.
    rv::hotkeysEnabled = true;
    CaptureLoop loop;
    ASSERT_TRUE(loop.up());
    ASSERT_TRUE(settle());
    xdotool("keydown F6 key b keyup F6");
    ASSERT_TRUE(barrier());
    const std::vector<plat::KeyEvent> keys = keysHeard();
    ASSERT_EQ(keys.size(), 4u);
    const std::pair<int32_t, bool> expected[] = {{117, true}, {66, true}, {66, false}, {117, false}};
    for (size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(keys[i].vk, expected[i].first) << i;
        EXPECT_EQ(keys[i].down, expected[i].second) << i;
    }
}

TEST_F(X11CaptureTest, APickedPressIsSwallowedAndItsReleaseReachesTheWindow) {
    x11test::TargetWindow target;
    ASSERT_TRUE(target.ready());
    forwardToProgram = true;
    CaptureLoop loop;
    ASSERT_TRUE(loop.up());
    xdotool("mousemove 250 220");
    rv::pickLocationRequest = true;
    plat::wakeCaptureLoop();
    ASSERT_TRUE(settle());

    xdotool("mousedown 1 sleep 0.05 mouseup 1");
    EXPECT_EQ(target.nextLine(), "button release 1");
    EXPECT_FALSE(rv::pickLocationRequest.load());
    EXPECT_EQ(rv::locMode.load(), 1);
    EXPECT_EQ(rv::fixedX.load(), 250);
    EXPECT_EQ(rv::fixedY.load(), 220);

    // Pick mode is over: the next click reaches the window whole.
    xdotool("click 1");
    EXPECT_EQ(target.nextLine(), "button press 1");
    EXPECT_EQ(target.nextLine(), "button release 1");

    // A right press cancels a pick without taking the point; its release is passed on.
    rv::fixedX = 0;
    rv::pickLocationRequest = true;
    plat::wakeCaptureLoop();
    ASSERT_TRUE(settle());
    xdotool("mousedown 3 sleep 0.05 mouseup 3");
    EXPECT_EQ(target.nextLine(), "button release 3");
    EXPECT_FALSE(rv::pickLocationRequest.load());
    EXPECT_EQ(rv::fixedX.load(), 0);
}

TEST_F(X11CaptureTest, AnArmedReassignmentTakesEveryKeyAndTheHotkeyGrabsComeBack) {
    x11test::TargetWindow target;
    ASSERT_TRUE(target.ready());
    rv::hotkeysEnabled = true;
    forwardToProgram = true;
    CaptureLoop loop;
    ASSERT_TRUE(loop.up());
    xdotool("mousemove 250 220");
    rv::reassignTarget = 2;
    plat::wakeCaptureLoop();
    ASSERT_TRUE(settle());

    xdotool("key b");
    ASSERT_TRUE(waitUntil([] { return rv::reassignCode.load() == 66; }));
    xdotool("mousedown 3 sleep 0.05 mouseup 3");
    ASSERT_TRUE(waitUntil([] { return rv::reassignCode.load() == 2; }));
    // Neither the key nor the right press reached the window; the right release did.
    EXPECT_EQ(target.nextLine(), "button release 3");

    // The control thread's part: the reassignment is applied and disarmed.
    rv::hkPlay = 2;
    rv::reassignTarget = 0;
    rv::reassignCode = 0;
    plat::wakeCaptureLoop();
    std::this_thread::sleep_for(milliseconds(10));
    tap(117);  // F6: still a grabbed hotkey, whose press is taken
    tap(66);   // b: no longer grabbed
    EXPECT_EQ(nextLineAfterLoneRelease(target, XK_F6), keyLine("press", XK_b));
    EXPECT_EQ(target.nextLine(), keyLine("release", XK_b));
    // The right button is now the play hotkey: press and release are both swallowed.
    xdotool("click 3 click 1");
    EXPECT_EQ(target.nextLine(), "button press 1");
    EXPECT_TRUE(rv::playToggleRequest.load());
}

// Whether the other program received a press of the keycode (reading its events up to it).
bool otherGotPress(Display* other, KeyCode keycode) {
    bool pressed = false;
    waitUntil([&] {
        while (!pressed && XPending(other) > 0) {
            XEvent event;
            XNextEvent(other, &event);
            pressed = event.type == KeyPress && event.xkey.keycode == keycode;
        }
        return pressed;
    });
    return pressed;
}

TEST_F(X11CaptureTest, KeysAnotherProgramHasGrabbedAreLeftToIt) {
    x11test::TargetWindow target;
    ASSERT_TRUE(target.ready());
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    const KeyCode f10 = XKeysymToKeycode(other, XK_F10);
    XGrabKey(other, f10, AnyModifier, DefaultRootWindow(other), False, GrabModeAsync, GrabModeAsync);
    XSync(other, False);

    rv::hkKeySpam = 121;  // F10
    rv::hotkeysEnabled = true;
    forwardToProgram = true;
    {
        CaptureLoop loop;
        ASSERT_TRUE(loop.up());
        ASSERT_TRUE(settle());
        // The hotkey still acts, but the other program keeps its shortcut (and no X error ends us).
        xdotool("key F10");
        EXPECT_TRUE(waitUntil([] { return rv::keySpamToggleRequest.load(); }));
        EXPECT_TRUE(otherGotPress(other, f10));

        // Taking every key for a reassignment cannot be done in one grab now: each key is grabbed on
        // its own, except the other program's.
        rv::reassignTarget = 4;
        plat::wakeCaptureLoop();
        ASSERT_TRUE(settle());
        xdotool("key b");
        EXPECT_TRUE(waitUntil([] { return rv::reassignCode.load() == 66; }));
        xdotool("key F10");
        EXPECT_TRUE(otherGotPress(other, f10));
        rv::reassignTarget = 0;
        plat::wakeCaptureLoop();
        ASSERT_TRUE(settle());
        tap(116);  // F5 is the first key the window sees: b was swallowed
        EXPECT_EQ(target.nextLine(), keyLine("press", XK_F5));
    }
    XCloseDisplay(other);
}

}  // namespace
