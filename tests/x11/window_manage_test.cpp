// Window operations on plain X windows of the test's own: on the bare server, then under openbox,
// started here on the private display.
// GoogleTest comes before the X11 headers, whose macros (None, Bool) would break it.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "x11/x11_test_support.h"

namespace {

using x11test::eventually;
using x11test::handleOf;

plat::Rect rect(int32_t x, int32_t y, int32_t width, int32_t height) {
    return {x, y, x + width, y + height};
}

std::string text(const plat::Rect& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) +
           "x" + std::to_string(r.bottom - r.top);
}

// The window's outer rectangle as the platform reads it, as text ("gone" when it cannot).
std::string outer(Window window) {
    plat::Rect r;
    return plat::windowRect(handleOf(window), r) ? text(r) : "gone";
}

// The test's own connection, with what the window operations are checked by.
class Client : public x11test::Client {
  public:
    bool hasState(Window window, const char* state) {
        for (long value : values(window, "_NET_WM_STATE"))
            if (static_cast<Atom>(value) == atom(state)) return true;
        return false;
    }

    // The top-level ancestor: the frame while a manager keeps the window in one.
    Window frameOf(Window window) {
        for (Window current = window;;) {
            const Window parent = parentOf(current);
            if (parent == None) return None;
            if (parent == root()) return current;
            current = parent;
        }
    }

    std::string geometry(Window window) {
        Window root = 0;
        int x = 0, y = 0;
        unsigned width = 0, height = 0, border = 0, depth = 0;
        if (!XGetGeometry(display(), window, &root, &x, &y, &width, &height, &border, &depth)) return "gone";
        return text(
            rect(x, y, static_cast<int32_t>(width + 2 * border), static_cast<int32_t>(height + 2 * border)));
    }
};

// ---- without a window manager ---------------------------------------------------------------------------

TEST(X11WindowManage, MovesAndSizesByTheOuterRectangle) {
    Client client;
    ASSERT_NE(client.display(), nullptr);
    for (unsigned border : {0u, 3u}) {
        const Window window = client.window(10, 10, 200, 100, border);
        EXPECT_EQ(outer(window), text(rect(10, 10, 200 + 2 * border, 100 + 2 * border))) << border;
        plat::moveWindow(handleOf(window), 300, 250);
        EXPECT_EQ(outer(window), text(rect(300, 250, 200 + 2 * border, 100 + 2 * border))) << border;
        plat::setWindowBounds(handleOf(window), -20, 40, 450, 400);
        EXPECT_EQ(outer(window), text(rect(-20, 40, 450, 400))) << border;
        EXPECT_EQ(client.geometry(window), text(rect(-20, 40, 450, 400))) << border;
        client.destroy(window);
    }
}

TEST(X11WindowManage, WithoutAManagerMaximizeFillsTheScreenAndRestoreReturns) {
    Client client;
    ASSERT_NE(client.display(), nullptr);
    const Window window = client.window(100, 120, 300, 200);
    const plat::WindowHandle handle = handleOf(window);
    EXPECT_FALSE(plat::isMaximized(handle));

    plat::showWindow(handle, plat::Show::Maximize);
    EXPECT_TRUE(plat::isMaximized(handle));
    EXPECT_EQ(outer(window), text(rect(0, 0, 1920, 1080)));
    plat::Placement placement;
    ASSERT_TRUE(plat::windowPlacement(handle, placement));
    EXPECT_TRUE(placement.maximized);
    EXPECT_EQ(text(placement.normal), text(rect(100, 120, 300, 200)));
    // A second maximize keeps the rectangle to return to.
    plat::showWindow(handle, plat::Show::Maximize);
    ASSERT_TRUE(plat::windowPlacement(handle, placement));
    EXPECT_EQ(text(placement.normal), text(rect(100, 120, 300, 200)));

    plat::showWindow(handle, plat::Show::Restore);
    EXPECT_FALSE(plat::isMaximized(handle));
    EXPECT_EQ(outer(window), text(rect(100, 120, 300, 200)));
    ASSERT_TRUE(plat::windowPlacement(handle, placement));
    EXPECT_FALSE(placement.maximized);

    plat::showWindow(handle, plat::Show::Minimize);
    EXPECT_FALSE(client.viewable(window));
    plat::showWindow(handle, plat::Show::Restore);
    EXPECT_TRUE(client.viewable(window));
    EXPECT_EQ(outer(window), text(rect(100, 120, 300, 200)));
    client.destroy(window);
}

TEST(X11WindowManage, WorkAreaIsTheScreenAndPointsOffItHaveNone) {
    plat::Rect area;
    ASSERT_TRUE(plat::workAreaAtPoint(0, 0, area));
    EXPECT_EQ(text(area), text(rect(0, 0, 1920, 1080)));
    ASSERT_TRUE(plat::workAreaAtPoint(1919, 1079, area));
    for (auto [x, y] : {std::pair{-1, 0}, {0, -1}, {1920, 0}, {0, 1080}, {5000, 5000}})
        EXPECT_FALSE(plat::workAreaAtPoint(x, y, area)) << x << "," << y;
    ASSERT_TRUE(plat::workAreaOfWindow(nullptr, area));
    EXPECT_EQ(text(area), text(rect(0, 0, 1920, 1080)));
}

TEST(X11WindowManage, AWindowThatIsGoneChangesNothingAndEndsNothing) {
    Client client;
    ASSERT_NE(client.display(), nullptr);
    const Window window = client.window(10, 10, 50, 50);
    client.destroy(window);
    const plat::WindowHandle handle = handleOf(window);
    plat::Rect r;
    plat::Placement placement;
    EXPECT_FALSE(plat::windowRect(handle, r));
    EXPECT_FALSE(plat::windowPlacement(handle, placement));
    EXPECT_FALSE(plat::isMaximized(handle));
    plat::moveWindow(handle, 1, 1);
    plat::setWindowBounds(handle, 1, 1, 10, 10);
    plat::setTopmost(handle, true);
    for (plat::Show how : {plat::Show::Maximize, plat::Show::Minimize, plat::Show::Restore})
        plat::showWindow(handle, how);
    plat::makePanelWindow(handle, true, 1, 1, 10, 10);
    EXPECT_FALSE(plat::windowRect(nullptr, r));
}

// ---- the main window's watch ---------------------------------------------------------------------------

// What the watch's callbacks saw: "moved <rect>" / "destroyed <rect>" with the placement read then. It
// outlives every test, since a callback may come late.
struct WatchLog {
    std::mutex mutex;
    std::vector<std::string> calls;
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};

    void add(const char* what, plat::WindowHandle window) {
        if (running.fetch_add(1) != 0) overlapped = true;
        plat::Placement placement;
        std::string entry = what;
        entry += plat::windowPlacement(window, placement) ? " " + text(placement.normal) : " none";
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // room for an overlap to show
        {
            std::lock_guard<std::mutex> lock(mutex);
            calls.push_back(entry);
        }
        running.fetch_sub(1);
    }
    std::vector<std::string> snapshot() {
        std::lock_guard<std::mutex> lock(mutex);
        return calls;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex);
        calls.clear();
        overlapped = false;
    }
};
WatchLog watchLog;

void onMoveSizeEnded(plat::WindowHandle window) {
    watchLog.add("moved", window);
}
void onDestroyed(plat::WindowHandle window) {
    watchLog.add("destroyed", window);
}

TEST(X11WindowManage, WatchReportsOneMoveEndPerBurstAndTheDestructionOnce) {
    WatchLog& log = watchLog;
    log.clear();
    Client client;
    ASSERT_NE(client.display(), nullptr);
    const Window window = client.window(50, 50, 200, 150);
    plat::watchMainWindow(handleOf(window), &onMoveSizeEnded, &onDestroyed);

    // A user's drag: many moves close together, then a resize; one report once the window keeps still.
    for (int i = 1; i <= 15; ++i) {
        XMoveWindow(client.display(), window, 50 + 10 * i, 60 + 5 * i);
        XSync(client.display(), False);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    XResizeWindow(client.display(), window, 260, 170);
    XSync(client.display(), False);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_TRUE(log.snapshot().empty()) << "reported before the window kept still";
    ASSERT_TRUE(eventually([&] { return log.snapshot().size() == 1; }, 3));
    EXPECT_EQ(log.snapshot()[0], "moved " + text(rect(200, 135, 260, 170)));

    // Restacking alone is no move.
    XRaiseWindow(client.display(), window);
    XSync(client.display(), False);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(log.snapshot().size(), 1u);

    // Moved and destroyed at once: the destruction still reports the last place.
    XMoveWindow(client.display(), window, 400, 300);
    client.destroy(window);
    ASSERT_TRUE(eventually([&] { return log.snapshot().size() == 2; }, 3));
    EXPECT_EQ(log.snapshot()[1], "destroyed " + text(rect(400, 300, 260, 170)));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(log.snapshot().size(), 2u);
    EXPECT_FALSE(log.overlapped);
}

TEST(X11WindowManage, ANewWatchEndsThePreviousOne) {
    WatchLog& log = watchLog;
    log.clear();
    Client client;
    ASSERT_NE(client.display(), nullptr);
    const Window first = client.window(10, 10, 100, 100);
    const Window second = client.window(10, 10, 100, 100);
    plat::watchMainWindow(handleOf(first), &onMoveSizeEnded, &onDestroyed);
    plat::watchMainWindow(handleOf(second), &onMoveSizeEnded, &onDestroyed);
    XMoveWindow(client.display(), first, 20, 20);
    XMoveWindow(client.display(), second, 30, 30);
    XSync(client.display(), False);
    ASSERT_TRUE(eventually([&] { return log.snapshot().size() == 1; }, 3));
    EXPECT_EQ(log.snapshot()[0], "moved " + text(rect(30, 30, 100, 100)));
    client.destroy(first);
    client.destroy(second);
    ASSERT_TRUE(eventually([&] { return log.snapshot().size() == 2; }, 3));
    EXPECT_EQ(log.snapshot()[1], "destroyed " + text(rect(30, 30, 100, 100)));
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(log.snapshot().size(), 2u);
}

// ---- panel drag -------------------------------------------------------------------------------------------

// What the drag's handlers saw, in order.
struct DragLog {
    std::mutex mutex;
    std::vector<std::string> events;
    std::atomic<bool> endFromRelease{false};  // the released handler ends the drag, as the program's does

    void add(const std::string& event) {
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back(event);
    }
    std::vector<std::string> snapshot() {
        std::lock_guard<std::mutex> lock(mutex);
        return events;
    }
    void clear(bool endOnRelease) {
        std::lock_guard<std::mutex> lock(mutex);
        events.clear();
        endFromRelease = endOnRelease;
    }
    bool has(const std::string& event) {
        for (const std::string& seen : snapshot())
            if (seen == event) return true;
        return false;
    }
};
DragLog dragLog;

const plat::DragHandlers kDragHandlers{
    [](int32_t x, int32_t y) { dragLog.add(std::to_string(x) + "," + std::to_string(y)); },
    [] {
        dragLog.add("released");
        if (dragLog.endFromRelease) plat::endPointerDrag();
    },
    [] { dragLog.add("lost"); },
};

// The user's pointer and left button, through XTest.
class User {
  public:
    explicit User(Client& client) : display_(client.display()) {}
    void moveTo(int x, int y) {
        XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
        XSync(display_, False);
    }
    void left(bool down) {
        XTestFakeButtonEvent(display_, 1, down ? True : False, CurrentTime);
        XSync(display_, False);
    }

  private:
    Display* display_;
};

TEST(X11PanelDrag, FollowsThePointerWhileThePressIsHeldByThePanelWindow) {
    Client client;
    ASSERT_NE(client.display(), nullptr);
    // The panel's page window takes the press, and with it the pointer until the button is up.
    const Window panel = client.window(100, 100, 200, 150);
    XSelectInput(client.display(), panel, ButtonPressMask | ButtonReleaseMask | PointerMotionMask);
    User user(client);
    user.moveTo(150, 120);
    user.left(true);
    dragLog.clear(true);
    plat::beginPointerDrag(handleOf(panel), kDragHandlers);
    ASSERT_TRUE(eventually([] { return dragLog.has("150,120"); }, 2));
    user.moveTo(400, 300);
    ASSERT_TRUE(eventually([] { return dragLog.has("400,300"); }, 2));
    user.moveTo(1500, 900);  // far outside the panel
    ASSERT_TRUE(eventually([] { return dragLog.has("1500,900"); }, 2));
    user.left(false);
    ASSERT_TRUE(eventually([] { return dragLog.has("released"); }, 2));
    user.moveTo(10, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::vector<std::string> events = dragLog.snapshot();
    EXPECT_EQ(events.back(), "released") << "nothing after the release";
    EXPECT_EQ(std::count(events.begin(), events.end(), "released"), 1);
    EXPECT_FALSE(dragLog.has("lost"));
    plat::endPointerDrag();
    client.destroy(panel);
}

TEST(X11PanelDrag, ADragWhoseButtonIsAlreadyUpEndsAtOnceAndEndStopsAnother) {
    Client client;
    ASSERT_NE(client.display(), nullptr);
    const Window panel = client.window(100, 100, 200, 150);
    User user(client);
    user.moveTo(120, 110);
    dragLog.clear(false);
    plat::beginPointerDrag(handleOf(panel), kDragHandlers);
    ASSERT_TRUE(eventually([] { return dragLog.has("released"); }, 2));
    plat::endPointerDrag();

    // A drag ended from outside reports nothing more, even when the button comes up later.
    user.left(true);
    dragLog.clear(false);
    plat::beginPointerDrag(handleOf(panel), kDragHandlers);
    ASSERT_TRUE(eventually([] { return !dragLog.snapshot().empty(); }, 2));
    plat::endPointerDrag();
    const size_t seen = dragLog.snapshot().size();
    user.moveTo(300, 300);
    user.left(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(dragLog.snapshot().size(), seen);
    EXPECT_FALSE(dragLog.has("released"));
    client.destroy(panel);
}

// ---- under a window manager ------------------------------------------------------------------------------

class X11WindowManageUnderOpenbox : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        manager = std::make_unique<x11test::Child>();
        if (!manager->spawn({"openbox"})) return;
        // Openbox names its check window before it takes on new windows, and misses those shown in
        // between: it is ready once it has framed a probe window.
        Client client;
        ready = eventually([&] {
            const Window probe = client.window(0, 0, 10, 10);
            const bool framed = eventually([&] { return !client.values(probe, "WM_STATE").empty(); }, 0.3);
            client.destroy(probe);
            return framed;
        });
        ready = ready && managerLetGo(client);
    }
    // The next test's connection may get the same window ids: the manager must be done with the old
    // windows by then.
    static bool managerLetGo(Client& client) {
        return eventually([&] { return client.values(client.root(), "_NET_CLIENT_LIST").empty(); });
    }
    void TearDown() override {
        if (manager->started() && client.display()) {
            EXPECT_TRUE(managerLetGo(client));
        }
    }
    static void TearDownTestSuite() {
        manager->end(SIGTERM);
        manager.reset();
    }
    void SetUp() override {
        if (!manager->started()) GTEST_SKIP() << "openbox is not installed";
        ASSERT_TRUE(ready) << "openbox did not come up";
        ASSERT_NE(client.display(), nullptr);
    }

    // A shown window, once the manager has framed it.
    Window managedWindow(int width = 300, int height = 200) {
        const Window window = client.window(0, 0, width, height);
        EXPECT_TRUE(eventually([&] {
            return !client.values(window, "WM_STATE").empty() &&
                   client.values(window, "_NET_FRAME_EXTENTS").size() == 4;
        }));
        return window;
    }

    static inline std::unique_ptr<x11test::Child> manager;
    static inline bool ready = false;
    Client client;
};

TEST_F(X11WindowManageUnderOpenbox, OuterRectangleIsTheFrameAndMovesPutTheFrameWhereAsked) {
    const Window window = managedWindow();
    const std::vector<long> extents = client.values(window, "_NET_FRAME_EXTENTS");
    ASSERT_EQ(extents.size(), 4u);
    ASSERT_GT(extents[2], 0) << "openbox frames have a title bar";
    EXPECT_EQ(outer(window), client.geometry(client.frameOf(window)));

    plat::moveWindow(handleOf(window), 200, 150);
    EXPECT_EQ(outer(window),
              text(rect(200, 150, 300 + extents[0] + extents[1], 200 + extents[2] + extents[3])));
    EXPECT_EQ(client.geometry(client.frameOf(window)), outer(window));

    plat::setWindowBounds(handleOf(window), 400, 300, 500, 420);
    EXPECT_EQ(outer(window), text(rect(400, 300, 500, 420)));
    EXPECT_EQ(client.geometry(client.frameOf(window)), text(rect(400, 300, 500, 420)));
    client.destroy(window);
}

TEST_F(X11WindowManageUnderOpenbox, TopmostBandIsTheAboveState) {
    const Window window = managedWindow();
    plat::setTopmost(handleOf(window), true);
    EXPECT_TRUE(client.hasState(window, "_NET_WM_STATE_ABOVE"));
    plat::setTopmost(handleOf(window), false);
    EXPECT_FALSE(client.hasState(window, "_NET_WM_STATE_ABOVE"));
    client.destroy(window);
}

TEST_F(X11WindowManageUnderOpenbox, MaximizeKeepsTheNormalRectangleAndRestoreReturnsToIt) {
    const Window window = managedWindow();
    const plat::WindowHandle handle = handleOf(window);
    plat::setWindowBounds(handle, 120, 90, 400, 300);
    ASSERT_EQ(outer(window), text(rect(120, 90, 400, 300)));

    plat::showWindow(handle, plat::Show::Maximize);
    EXPECT_TRUE(plat::isMaximized(handle));
    EXPECT_TRUE(client.hasState(window, "_NET_WM_STATE_MAXIMIZED_VERT"));
    plat::Rect area;
    ASSERT_TRUE(plat::workAreaOfWindow(handle, area));
    EXPECT_TRUE(eventually([&] { return outer(window) == text(area); }, 2)) << outer(window);
    plat::Placement placement;
    ASSERT_TRUE(plat::windowPlacement(handle, placement));
    EXPECT_TRUE(placement.maximized);
    EXPECT_EQ(text(placement.normal), text(rect(120, 90, 400, 300)));

    // Minimized while maximized: still maximized, with the same place to return to.
    plat::showWindow(handle, plat::Show::Minimize);
    EXPECT_EQ(client.values(window, "WM_STATE").at(0), IconicState);
    ASSERT_TRUE(plat::windowPlacement(handle, placement));
    EXPECT_TRUE(placement.maximized);
    EXPECT_EQ(text(placement.normal), text(rect(120, 90, 400, 300)));

    plat::showWindow(handle, plat::Show::Restore);  // out of minimized, back to maximized
    EXPECT_EQ(client.values(window, "WM_STATE").at(0), NormalState);
    EXPECT_TRUE(plat::isMaximized(handle));
    plat::showWindow(handle, plat::Show::Restore);  // out of maximized
    EXPECT_FALSE(plat::isMaximized(handle));
    EXPECT_TRUE(eventually([&] { return outer(window) == text(rect(120, 90, 400, 300)); }, 2))
        << outer(window);
    client.destroy(window);
}

TEST_F(X11WindowManageUnderOpenbox, WorkAreaLeavesOutDocks) {
    // A dock along the top edge, 30 pixels high, reserving its strip.
    const Window dock = XCreateSimpleWindow(client.display(), client.root(), 0, 0, 1920, 30, 0, 0, 0);
    const long dockType = static_cast<long>(client.atom("_NET_WM_WINDOW_TYPE_DOCK"));
    XChangeProperty(client.display(), dock, client.atom("_NET_WM_WINDOW_TYPE"), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&dockType), 1);
    const long strut[12] = {0, 0, 30, 0, 0, 0, 0, 0, 0, 1919, 0, 0};
    XChangeProperty(client.display(), dock, client.atom("_NET_WM_STRUT_PARTIAL"), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(strut), 12);
    XMapWindow(client.display(), dock);
    XSync(client.display(), False);
    plat::Rect area;
    EXPECT_TRUE(eventually([&] {
        return plat::workAreaAtPoint(10, 10, area) && text(area) == text(rect(0, 30, 1920, 1050));
    })) << text(area);
    EXPECT_FALSE(plat::workAreaAtPoint(-5, 10, area));
    client.destroy(dock);
    EXPECT_TRUE(eventually(
        [&] { return plat::workAreaOfWindow(nullptr, area) && text(area) == text(rect(0, 0, 1920, 1080)); }));
}

TEST_F(X11WindowManageUnderOpenbox, PanelLosesItsTitleBarAndStandsWhereAsked) {
    const Window window = managedWindow();
    plat::makePanelWindow(handleOf(window), true, 650, 280, 450, 400);
    const std::vector<long> extents = client.values(window, "_NET_FRAME_EXTENTS");
    ASSERT_EQ(extents.size(), 4u);
    for (long side : extents) EXPECT_LE(side, 1) << "a border at most";
    EXPECT_EQ(outer(window), text(rect(650, 280, 450, 400)));
    EXPECT_EQ(client.geometry(client.frameOf(window)), text(rect(650, 280, 450, 400)));
    client.destroy(window);
}

TEST_F(X11WindowManageUnderOpenbox, WatchSeesTheUsersMoveAndMaximize) {
    WatchLog& log = watchLog;
    log.clear();
    const Window window = managedWindow();
    const plat::WindowHandle handle = handleOf(window);
    plat::setWindowBounds(handle, 100, 100, 400, 300);
    plat::watchMainWindow(handle, &onMoveSizeEnded, &onDestroyed);

    // The user drags the frame (the manager moves it) ...
    for (int i = 1; i <= 5; ++i) {
        client.sendToManager(
            window, "_NET_MOVERESIZE_WINDOW",
            {NorthWestGravity | (1 << 8) | (1 << 9) | (2 << 12), 100 + 20 * i, 100 + 10 * i});
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    ASSERT_TRUE(eventually([&] { return log.snapshot().size() == 1; }, 3));
    EXPECT_EQ(log.snapshot()[0], "moved " + text(rect(200, 150, 400, 300)));

    // ... then clicks the maximize button: the place to return to stays the dragged one.
    client.sendToManager(window, "_NET_WM_STATE",
                         {1, static_cast<long>(client.atom("_NET_WM_STATE_MAXIMIZED_VERT")),
                          static_cast<long>(client.atom("_NET_WM_STATE_MAXIMIZED_HORZ")), 2});
    ASSERT_TRUE(eventually([&] { return log.snapshot().size() == 2; }, 3));
    EXPECT_EQ(log.snapshot()[1], "moved " + text(rect(200, 150, 400, 300)));
    plat::Placement placement;
    ASSERT_TRUE(plat::windowPlacement(handle, placement));
    EXPECT_TRUE(placement.maximized);

    client.destroy(window);
    ASSERT_TRUE(eventually([&] { return log.snapshot().size() == 3; }, 3));
    EXPECT_EQ(log.snapshot()[2], "destroyed " + text(rect(200, 150, 400, 300)));
}

}  // namespace
