// Finding windows by title and bringing them to the front, with and without a window manager.
// GoogleTest comes before the X11 headers, whose macros (None, Bool) would break it.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "x11/x11_test_support.h"

namespace {

using x11test::eventually;
using x11test::handleOf;

// A connection of the test's own, standing for the other programs on the display.
class OtherClient : public x11test::Client {
  public:
    // A window with the given name properties (each left out when null); WM_NAME is stored as the
    // Latin-1 bytes given.
    Window namedWindow(Window parent, const char* netWmName, const char* wmName, bool mapped = false) {
        Window window = XCreateSimpleWindow(display(), parent, 10, 10, 200, 100, 0, 0, 0xffffff);
        if (netWmName)
            XChangeProperty(display(), window, atom("_NET_WM_NAME"), atom("UTF8_STRING"), 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(netWmName),
                            static_cast<int>(std::strlen(netWmName)));
        if (wmName)
            XChangeProperty(display(), window, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(wmName),
                            static_cast<int>(std::strlen(wmName)));
        if (mapped) XMapWindow(display(), window);
        XSync(display(), False);
        return window;
    }

    // The window the manager says is active; None when it names none.
    Window activeWindow() {
        const std::vector<long> active = values(root(), "_NET_ACTIVE_WINDOW");
        return active.empty() ? None : static_cast<Window>(active[0]);
    }
};

TEST(X11Windows, FindsATopLevelWindowByItsExactTitleOnly) {
    OtherClient other;
    ASSERT_NE(other.display(), nullptr);
    const Window both = other.namedWindow(other.root(), "Ravelin Probe Window", "Ravelin Probe Window");
    const Window netOnly = other.namedWindow(other.root(), "Ünïcode Probe", nullptr);
    const Window wmOnly = other.namedWindow(other.root(), nullptr, "Caf\xe9 Probe");  // Latin-1 é

    EXPECT_EQ(plat::findWindow("Ravelin Probe Window"), handleOf(both));
    EXPECT_EQ(plat::findWindow("Ünïcode Probe"), handleOf(netOnly));
    EXPECT_EQ(plat::findWindow("Café Probe"), handleOf(wmOnly));
    for (const char* near : {"Ravelin Probe", "Ravelin Probe Window ", "ravelin probe window", "Ünïcode", ""})
        EXPECT_EQ(plat::findWindow(near), nullptr) << near;

    // Gone means not found, at once.
    XDestroyWindow(other.display(), both);
    XSync(other.display(), False);
    EXPECT_EQ(plat::findWindow("Ravelin Probe Window"), nullptr);
}

TEST(X11Windows, AWindowFoundBeforeIsNeverReturnedOnceItLostItsTitle) {
    OtherClient other;
    ASSERT_NE(other.display(), nullptr);
    // Found once, so remembered; then retitled while another window takes its title.
    const Window first = other.namedWindow(other.root(), "Kept Probe", "Kept Probe");
    EXPECT_EQ(plat::findWindow("Kept Probe"), handleOf(first));
    EXPECT_EQ(plat::findWindow("Kept Probe"), handleOf(first));
    const Window second = other.namedWindow(other.root(), "Kept Probe", "Kept Probe");
    XChangeProperty(other.display(), first, other.atom("_NET_WM_NAME"), other.atom("UTF8_STRING"), 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>("Other"), 5);
    XStoreName(other.display(), first, "Other");
    XSync(other.display(), False);
    EXPECT_EQ(plat::findWindow("Kept Probe"), handleOf(second));

    // Destroyed: the next window with the title is found, and none once it is gone too.
    const Window framed =
        other.namedWindow(other.namedWindow(other.root(), nullptr, nullptr), "Kept Probe", "Kept Probe");
    XDestroyWindow(other.display(), second);
    XSync(other.display(), False);
    EXPECT_EQ(plat::findWindow("Kept Probe"), handleOf(framed));
    XDestroyWindow(other.display(), framed);
    XSync(other.display(), False);
    EXPECT_EQ(plat::findWindow("Kept Probe"), nullptr);
}

TEST(X11Windows, FindsAClientInsideItsFrame) {
    OtherClient other;
    ASSERT_NE(other.display(), nullptr);
    const Window frame = other.namedWindow(other.root(), nullptr, nullptr);
    const Window client = other.namedWindow(frame, "Framed Probe", "Framed Probe");
    EXPECT_EQ(plat::findWindow("Framed Probe"), handleOf(client));
}

TEST(X11Windows, ACoveredWindowIsOneThatShownOpaqueWindowsAboveHideEntirely) {
    OtherClient other;
    Display* d = other.display();
    ASSERT_NE(d, nullptr);
    const auto window = [&](Window parent, int x, int y, int width, int height) {
        Window w = XCreateSimpleWindow(d, parent, x, y, static_cast<unsigned>(width),
                                       static_cast<unsigned>(height), 0, 0, 0xffffff);
        XMapRaised(d, w);
        XSync(d, False);
        return w;
    };
    // Ours as a manager holds it: the client 300 x 200 at (100, 100), inside a frame with a title bar.
    const Window frame = window(other.root(), 100, 80, 300, 220);
    const plat::WindowHandle ours = handleOf(window(frame, 0, 20, 300, 200));
    EXPECT_FALSE(plat::isCovered(ours));
    const Window cover = window(other.root(), 50, 90, 500, 400);  // the title bar still shows
    EXPECT_TRUE(plat::isCovered(ours));
    // Moved aside: the client's left part shows; a second window over that part hides it again.
    XMoveWindow(d, cover, 250, 50);
    XSync(d, False);
    EXPECT_FALSE(plat::isCovered(ours));
    const Window second = window(other.root(), 0, 0, 260, 600);
    EXPECT_TRUE(plat::isCovered(ours));
    XUnmapWindow(d, second);
    XSync(d, False);
    EXPECT_FALSE(plat::isCovered(ours));
    // A window with an alpha channel may let ours show through: it hides nothing.
    XVisualInfo argb{};
    if (XMatchVisualInfo(d, DefaultScreen(d), 32, TrueColor, &argb)) {
        XSetWindowAttributes attributes{};
        attributes.colormap = XCreateColormap(d, other.root(), argb.visual, AllocNone);
        const Window glass = XCreateWindow(d, other.root(), 0, 0, 260, 600, 0, 32, InputOutput, argb.visual,
                                           CWColormap | CWBorderPixel | CWBackPixel, &attributes);
        XMapRaised(d, glass);
        XSync(d, False);
        EXPECT_FALSE(plat::isCovered(ours));
        XDestroyWindow(d, glass);
    }
    XMapWindow(d, second);
    XSync(d, False);
    EXPECT_TRUE(plat::isCovered(ours));
    // Raised above them, it shows; unmapped, it is not said to be covered (it is hidden otherwise).
    XRaiseWindow(d, frame);
    XSync(d, False);
    EXPECT_FALSE(plat::isCovered(ours));
    XLowerWindow(d, frame);
    XUnmapWindow(d, frame);
    XSync(d, False);
    EXPECT_FALSE(plat::isCovered(ours));
    EXPECT_FALSE(plat::isCovered(nullptr));
}

TEST(X11Windows, WindowsVanishingDuringTheSearchDoNotEndTheProcess) {
    std::atomic<bool> done{false};
    std::thread churn([&] {
        OtherClient other;
        for (int i = 0; i < 400 && other.display(); ++i) {
            Window frame = XCreateSimpleWindow(other.display(), other.root(), 0, 0, 10, 10, 0, 0, 0);
            Window client = XCreateSimpleWindow(other.display(), frame, 0, 0, 10, 10, 0, 0, 0);
            XStoreName(other.display(), client, "Churn");
            XFlush(other.display());
            XDestroyWindow(other.display(), frame);
            XFlush(other.display());
        }
        if (other.display()) XSync(other.display(), False);
        done = true;
    });
    int searches = 0;
    while (!done) {
        EXPECT_EQ(plat::findWindow("Nothing by this name"), nullptr);
        plat::forceForeground(plat::findWindow("Churn"));
        ++searches;
    }
    churn.join();
    EXPECT_GT(searches, 0);
}

TEST(X11Windows, WithoutAWindowManagerForegroundMapsAndFocusesTheWindow) {
    OtherClient other;
    ASSERT_NE(other.display(), nullptr);
    const Window window = other.namedWindow(other.root(), "Foreground Probe", nullptr);
    ASSERT_FALSE(other.viewable(window));
    plat::forceForeground(handleOf(window));
    EXPECT_TRUE(other.viewable(window));
    EXPECT_EQ(other.focus(), window);

    // A window that is gone, or none at all, changes nothing and ends nothing.
    XDestroyWindow(other.display(), window);
    XSync(other.display(), False);
    plat::forceForeground(handleOf(window));
    plat::forceForeground(nullptr);
}

TEST(X11Windows, ForegroundAsksTheWindowManagerWhileOneRuns) {
    OtherClient other;
    ASSERT_NE(other.display(), nullptr);
    // Mapped before the manager starts: openbox frames the windows it finds, but misses windows mapped
    // while it is still starting.
    const Window first = other.namedWindow(other.root(), "Managed Probe One", nullptr, true);
    const Window second = other.namedWindow(other.root(), "Managed Probe Two", nullptr, true);
    x11test::Child manager;
    if (!manager.spawn({"openbox"})) GTEST_SKIP() << "openbox is not installed";
    ASSERT_TRUE(eventually([&] {
        return other.parentOf(first) != other.root() && other.parentOf(second) != other.root();
    })) << "openbox did not frame the windows";
    EXPECT_EQ(plat::findWindow("Managed Probe One"), handleOf(first));

    for (Window window : {first, second, first}) {
        plat::forceForeground(handleOf(window));
        EXPECT_TRUE(eventually([&] { return other.activeWindow() == window; })) << window;
    }

    // A manager that died leaves _NET_SUPPORTED behind: the window is mapped and focused directly.
    manager.end(SIGKILL);
    const Window late = other.namedWindow(other.root(), "Late Probe", nullptr);
    plat::forceForeground(handleOf(late));
    EXPECT_TRUE(other.viewable(late));
    EXPECT_EQ(other.focus(), late);
}

}  // namespace

namespace {

// The whole _NET_WM_ICON of a window, as its 32-bit values.
std::vector<long> iconValues(x11test::Client& client, Window window) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<long> result;
    if (XGetWindowProperty(client.display(), window, client.atom("_NET_WM_ICON"), 0, 1 << 20, False,
                           XA_CARDINAL, &type, &format, &count, &after, &data) == Success &&
        data && format == 32)
        result.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + count);
    if (data) XFree(data);
    return result;
}

}  // namespace

TEST(X11Windows, WindowIconCarriesEachSizeOfTheDrawing) {
    OtherClient other;
    ASSERT_NE(other.display(), nullptr);
    const Window window = other.namedWindow(other.root(), "Icon Probe", nullptr);
    ASSERT_TRUE(iconValues(other, window).empty());
    plat::setWindowIcon(handleOf(window));
    const std::vector<long> icon = iconValues(other, window);

    // Width, height, then the pixels, for each size in turn, and nothing after the last.
    std::vector<long> sizes;
    size_t at = 0;
    while (at + 2 <= icon.size()) {
        const long width = icon[at], height = icon[at + 1];
        ASSERT_EQ(width, height);
        ASSERT_LE(at + 2 + static_cast<size_t>(width * height), icon.size());
        const long* pixels = &icon[at + 2];
        auto alpha = [&](long x, long y) { return (pixels[y * width + x] >> 24) & 0xff; };
        auto blue = [&](long x, long y) { return pixels[y * width + x] & 0xff; };
        // The tile's rounded corners are clear; inside, the tile is opaque and blue (0xAARRGGBB).
        EXPECT_LT(alpha(0, 0), 0x40) << width;
        EXPECT_EQ(alpha(width / 8, height - 1 - height / 8), 0xff) << width;
        EXPECT_GT(blue(width / 8, height - 1 - height / 8), 0xc0) << width;
        sizes.push_back(width);
        at += 2 + static_cast<size_t>(width * height);
    }
    EXPECT_EQ(at, icon.size());
    EXPECT_EQ(sizes, (std::vector<long>{16, 32, 48, 64}));

    // A window that is gone, or none at all, ends nothing.
    XDestroyWindow(other.display(), window);
    XSync(other.display(), False);
    plat::setWindowIcon(handleOf(window));
    plat::setWindowIcon(nullptr);
}
