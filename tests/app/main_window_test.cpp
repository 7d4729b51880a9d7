#include "app/main_window.h"

#include "app/panel_drag.h"

#include "app/app.h"
#include "app/main_bindings.h"
#include "app/panel.h"
#include "app/webview.h"
#include "state/preferences.h"
#include "support/fresh_state.h"

namespace {

void* const kMain = reinterpret_cast<void*>(0x10);
void* const kPanel = reinterpret_cast<void*>(0x20);

class Windows : public FreshState {
  protected:
    void SetUp() override {
        FreshState::SetUp();
        ASSERT_TRUE(rv::Webview::loadLibrary(error_));
        ASSERT_TRUE(view_.create());
        fake::addWindow(rv::kMainWindowTitle, kMain);
        fake::window(kMain).followsWebview = true;
        fake::window(kMain).frameWidth = 16;
        fake::window(kMain).frameHeight = 100;
        rv::hostView = &view_;
    }
    void TearDown() override {
        rv::hostView = nullptr;
        view_.destroy();
        FreshState::TearDown();
    }
    static plat::Rect rect(void* window) { return fake::window(window).rect; }

    std::string error_;
    rv::Webview view_;
};

}  // namespace

TEST(WindowArithmetic, FittedHeightAndCentring) {
    EXPECT_EQ(rv::fittedHeight(1020, 1100, 1000), 927);
    EXPECT_EQ(rv::fittedHeight(1, 5000, 100), 0);
    rv::Point corner = rv::centredIn(plat::Rect{0, 0, 1920, 1040}, plat::Rect{7, 7, 443, 667});
    EXPECT_EQ(corner.x, 742);
    EXPECT_EQ(corner.y, 190);
    corner = rv::centredIn(plat::Rect{100, 0, 201, 10}, plat::Rect{0, 0, 50, 4});  // odd sizes truncate
    EXPECT_EQ(corner.x, 125);
    EXPECT_EQ(corner.y, 3);
}

TEST_F(Windows, FitKeepsTheSizeThatFitsAndScalesTheOneThatDoesNot) {
    fake::window(kMain).rect = plat::Rect{100, 50, 536, 710};
    rv::resizeMainWindow(600, 700);
    EXPECT_EQ(fake::webview().width, 600);
    EXPECT_EQ(fake::webview().height, 700);
    EXPECT_EQ(rect(kMain).top, 50);  // nothing sticks out: nothing moves

    // Work area 0..1040: 1000 asked, the outer height becomes 1100 > 1020, so 927; then moved up.
    fake::window(kMain).rect = plat::Rect{100, 300, 536, 960};
    rv::resizeMainWindow(420, 1000);
    EXPECT_EQ(fake::webview().height, 927);
    EXPECT_EQ(rect(kMain).bottom, 1040);
    EXPECT_EQ(rect(kMain).top, 1040 - 1027);
    EXPECT_EQ(rect(kMain).left, 100);  // the left edge never moves

    // Sticking out below: moved up by the overhang, never above the work area's top.
    fake::setWorkAreas({plat::Rect{0, 100, 1920, 1140}});
    fake::window(kMain).rect = plat::Rect{10, 900, 446, 1460};
    rv::resizeMainWindow(420, 400);
    EXPECT_EQ(rect(kMain).top, 640);
}

TEST_F(Windows, AMinimizedWindowIsSizedOnlyOnceShownAgain) {
    fake::window(kMain).rect = plat::Rect{100, 50, 536, 710};
    plat::showWindow(kMain, plat::Show::Minimize);
    rv::resizeMainWindow(420, 760);
    EXPECT_EQ(fake::webview().width, 0);
    EXPECT_EQ(fake::webview().height, 0);
    EXPECT_EQ(rect(kMain).bottom, 710);

    plat::showWindow(kMain, plat::Show::Restore);
    rv::resizeMainWindow(420, 760);
    EXPECT_EQ(fake::webview().width, 420);
    EXPECT_EQ(fake::webview().height, 760);
}

TEST_F(Windows, ARequestTallerThanTheScreenIsScaledByTheHeightItAskedFor) {
    // The platform caps the window at about the screen's height plus its frame (39 here), so 2160
    // reads back as 1119 outside; the fit scales by the height asked for (2199) and the window fits.
    fake::window(kMain).frameHeight = 39;
    fake::window(kMain).maxOuterHeight = 1119;
    fake::window(kMain).rect = plat::Rect{100, 0, 536, 599};
    rv::resizeMainWindow(420, 2160);
    EXPECT_EQ(fake::webview().height, 1001);  // 1020 ÷ 2199 × 2160 = 1001.9
    EXPECT_EQ(rect(kMain).top, 0);
    EXPECT_EQ(rect(kMain).bottom, 1040);
}

TEST_F(Windows, FitAtADisplayScaleComparesWindowPixelsAndAsksInPagePixels) {
    // 144 DPI: the webview makes 1.5 window pixels of every page pixel.
    fake::window(kMain).scale = 1.5;
    fake::window(kMain).frameHeight = 39;
    fake::window(kMain).rect = plat::Rect{100, 10, 536, 599};
    rv::resizeMainWindow(420, 600);  // 900 + 39 fits in 1020: as asked
    EXPECT_EQ(fake::webview().height, 600);
    EXPECT_EQ(rect(kMain).bottom - rect(kMain).top, 939);

    // 700 page pixels are 1050 + 39 = 1089 window pixels: 1020 ÷ 1089 × 700 = 655.6.
    rv::resizeMainWindow(420, 700);
    EXPECT_EQ(fake::webview().height, 655);
    EXPECT_LE(rect(kMain).bottom, 1040);
    EXPECT_GE(rect(kMain).top, 0);

    // Capped by the platform at 1119 outside: the height asked for is 1200 × 1.5 + 39 = 1839 window
    // pixels, so 1020 ÷ 1839 × 1200 = 665.6 page pixels, which fit.
    fake::window(kMain).maxOuterHeight = 1119;
    rv::resizeMainWindow(420, 1200);
    EXPECT_EQ(fake::webview().height, 665);
    EXPECT_EQ(rect(kMain).bottom - rect(kMain).top, 1036);
    EXPECT_LE(rect(kMain).bottom, 1040);
    EXPECT_GE(rect(kMain).top, 0);

    // A frame taller than the 20-pixel margin: 1020 ÷ 1600 × 1000 = 637 page pixels are 955 + 100 =
    // 1055 window pixels, 15 more than the work area; 16 ÷ 1.5 → 11 page pixels come off: 626.
    fake::window(kMain).maxOuterHeight = 0;
    fake::window(kMain).frameHeight = 100;
    rv::resizeMainWindow(420, 1000);
    EXPECT_EQ(fake::webview().height, 626);
    EXPECT_EQ(rect(kMain).top, 1);
    EXPECT_EQ(rect(kMain).bottom, 1040);
}

TEST_F(Windows, TheLargestHeightAskedIsFittedWithoutOverflow) {
    for (double scale : {1.0, 1.5}) {
        SCOPED_TRACE(scale);
        fake::window(kMain).scale = scale;
        fake::window(kMain).frameHeight = 39;
        fake::window(kMain).maxOuterHeight = 1119;
        fake::window(kMain).rect = plat::Rect{100, 0, 536, 599};
        rv::resizeMainWindow(420, 2147483647);
        EXPECT_EQ(fake::webview().width, 420);
        EXPECT_GT(fake::webview().height, 500);
        EXPECT_LE(fake::webview().height * scale, 1020);
        EXPECT_EQ(rect(kMain).top, 0);
    }
}

TEST_F(Windows, NothingHappensForZeroSizesNoWindowOrATinyWorkArea) {
    fake::window(kMain).rect = plat::Rect{1, 2, 3, 4};
    rv::resizeMainWindow(0, 500);
    rv::resizeMainWindow(500, -1);
    rv::fitWindowToMonitor(view_, nullptr, 500, 500);
    fake::setWorkAreas({plat::Rect{0, 0, 800, 20}});
    rv::resizeMainWindow(500, 500);
    EXPECT_EQ(fake::webview().width, 0);
    EXPECT_EQ(rect(kMain).right, 3);
}

TEST_F(Windows, StartupPlacementIsClampedToTheMonitorOfTheSavedPoint) {
    rv::windowPositionKnown = true;
    rv::windowX = 100, rv::windowY = 50, rv::windowWidth = 5000, rv::windowHeight = 600;
    rv::applyMainWindowPreferences(kMain);
    EXPECT_EQ(rect(kMain).left, 100);
    EXPECT_EQ(rect(kMain).right - rect(kMain).left, 1920);
    EXPECT_EQ(rect(kMain).bottom - rect(kMain).top, 600);

    // A point on no monitor: the window keeps the place it had.
    fake::window(kMain).rect = plat::Rect{5, 5, 425, 565};
    rv::windowX = 5000;
    rv::applyMainWindowPreferences(kMain);
    EXPECT_EQ(rect(kMain).left, 5);
}

TEST_F(Windows, MaximizedAndMinimizedAtStartOnlyMinimizes) {
    rv::windowMaximized = true, rv::startMinimized = true, rv::alwaysOnTop = true;
    rv::applyMainWindowPreferences(kMain);
    std::vector<std::string> calls = fake::calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "maximize"), 0);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "minimize"), 1);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "forceForeground"), 0);
    EXPECT_TRUE(fake::window(kMain).topmost);
}

// A start by the command line opens minimized unless the user turned that off.
TEST_F(Windows, ACommandLineStartIsMinimizedAsTheUserChose) {
    const auto minimizes = [] {
        std::vector<std::string> calls = fake::calls();
        return std::count(calls.begin(), calls.end(), "minimize");
    };
    for (bool chosen : {true, false}) {
        const auto before = minimizes();
        rv::minimizedStart = true, rv::commandStartsMinimized = chosen;
        rv::applyMainWindowPreferences(kMain);
        EXPECT_EQ(minimizes() - before, chosen ? 1 : 0) << chosen;
    }
    rv::minimizedStart = false;
}

TEST_F(Windows, PlacementIsSavedAfterMovesAndAtClose) {
    rv::applyMainWindowPreferences(kMain);
    fake::window(kMain).rect = plat::Rect{300, 200, 736, 860};
    fake::window(kMain).moveSizeEnded(kMain);
    EXPECT_EQ(rv::windowX, 300);
    EXPECT_EQ(rv::windowY, 200);
    EXPECT_EQ(rv::windowWidth, 436);
    EXPECT_TRUE(rv::windowPositionKnown);
    EXPECT_NE(readFile("appsettings.txt").find("windowX=300\r\nwindowY=200\r\n"), std::string::npos);

    plat::showWindow(kMain, plat::Show::Maximize);  // the normal rectangle is what is kept
    fake::window(kMain).rect = plat::Rect{0, 0, 1920, 1040};
    fake::window(kMain).destroyed(kMain);
    EXPECT_EQ(rv::windowX, 300);
    EXPECT_TRUE(rv::windowMaximized);
}

TEST_F(Windows, ResetGeometryRestoresSizesAndCentres) {
    plat::setTopmost(kMain, true);
    plat::showWindow(kMain, plat::Show::Maximize);
    rv::resetWindowGeometry(view_, kMain);
    EXPECT_FALSE(fake::window(kMain).topmost);
    EXPECT_FALSE(fake::window(kMain).maximized);
    EXPECT_EQ(fake::webview().width, 420);
    EXPECT_EQ(fake::webview().height, 560);
    plat::Rect r = rect(kMain);
    EXPECT_EQ(r.left, (1920 - 436) / 2);
    EXPECT_EQ(r.top, (1040 - 660) / 2);
}

TEST(PanelBeside, TheSideWithRoomWithinTheWorkArea) {
    const plat::Rect work{0, 0, 1920, 1040};
    struct Case {
        plat::Rect main;
        int32_t x, y;
    };
    const Case cases[] = {
        {{100, 50, 520, 610}, 520, 50},        // room on the right
        {{1400, 50, 1820, 610}, 950, 50},      // none on the right: the left
        {{1470, 700, 1890, 1260}, 1020, 640},  // low: raised into the work area
        {{-50, -20, 370, 540}, 370, 0},        // partly off the top: brought down
        {{200, 0, 1700, 900}, 1470, 0},        // room on neither side: the wider one, at its edge
        {{300, 0, 1800, 900}, 0, 0},
        {{1050, 50, 1470, 610}, 1470, 50},  // exactly the panel's width on the right: still the right
        {{450, 50, 1480, 610}, 0, 50},      // exactly its width on the left, one short on the right
    };
    for (const Case& c : cases) {
        rv::Point p = rv::panelBeside(c.main, work, 450, 400);
        EXPECT_EQ(p.x, c.x) << c.main.left;
        EXPECT_EQ(p.y, c.y) << c.main.left;
    }
    // A second monitor's work area to the right of the first.
    rv::Point p = rv::panelBeside({2000, 100, 2420, 660}, {1920, 0, 3840, 1080}, 450, 400);
    EXPECT_EQ(p.x, 2420);
    EXPECT_EQ(p.y, 100);
}

// The auto-clicker holds back over our windows; a minimized one is not on the screen to hold it back.
TEST_F(Windows, OnlyOurWindowsOnTheScreenAreNotedForTheClicker) {
    fake::addWindow(rv::panelWindowTitle("Auto Clicker"), kPanel);
    rv::panelProcesses["Auto Clicker"] = nullptr;
    fake::window(kMain).rect = plat::Rect{0, 0, 500, 600};
    fake::window(kPanel).rect = plat::Rect{1000, 100, 1450, 500};
    const auto noted = [] {
        rv::noteOwnWindows();
        std::vector<int32_t> lefts;
        for (size_t i = 0; i < rv::ownWindowCount; ++i) lefts.push_back(rv::ownWindowRects[i][0]);
        return lefts;
    };
    EXPECT_EQ(noted(), (std::vector<int32_t>{0, 1000}));
    plat::showWindow(kMain, plat::Show::Minimize);
    EXPECT_EQ(noted(), (std::vector<int32_t>{1000}));
    plat::showWindow(kPanel, plat::Show::Minimize);
    EXPECT_EQ(noted(), (std::vector<int32_t>{}));
    plat::showWindow(kMain, plat::Show::Restore);
    EXPECT_EQ(noted(), (std::vector<int32_t>{0}));
    rv::panelProcesses.clear();
}

TEST_F(Windows, PanelDragReportsHoverOnceAndDocksOnRelease) {
    fake::addWindow("Ravelin (Auto Clicker)", kPanel);
    fake::window(kMain).rect = plat::Rect{0, 0, 500, 600};
    fake::window(kPanel).rect = plat::Rect{1000, 100, 1450, 500};
    int closed = 0;
    rv::closePanelCallback = [&] { ++closed; };
    fake::setCursor(1100, 110);
    rv::beginPanelDrag(kPanel);
    ASSERT_TRUE(fake::dragActive());
    fake::dragMove(1050, 120);
    EXPECT_EQ(rect(kPanel).left, 950);
    EXPECT_EQ(rect(kPanel).top, 110);
    EXPECT_TRUE(fake::sentMessages().empty());
    fake::dragMove(400, 300);  // enters the main window
    fake::dragMove(410, 300);
    fake::dragMove(600, 300);  // leaves
    fake::dragMove(499, 599);  // the right and bottom edges are outside, this is inside
    EXPECT_EQ(fake::sentMessages(),
              (std::vector<std::string>{"panelHover|1", "panelHover|0", "panelHover|1"}));
    fake::dragRelease();
    EXPECT_EQ(fake::sentMessages().back(), "panelHover|0");
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(fake::dragActive());
    EXPECT_FALSE(rv::panelDragging());

    // A release elsewhere keeps the panel; a capture lost over the main window reports leaving only.
    rv::beginPanelDrag(kPanel);
    fake::dragMove(2000, 900);
    fake::dragRelease();
    rv::beginPanelDrag(kPanel);
    fake::dragMove(100, 100);
    fake::dragCaptureLost();
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(fake::sentMessages().back(), "panelHover|0");
    rv::closePanelCallback = nullptr;
}

TEST_F(Windows, WithoutAMainInstanceAPanelStillDragsButNeverDocks) {
    fake::reset();  // no main window
    fake::setExePath(folder() + "/ravelin");
    fake::addWindow("Ravelin (Panel)", kPanel);
    int closed = 0;
    rv::closePanelCallback = [&] { ++closed; };
    rv::beginPanelDrag(kPanel);
    fake::dragMove(10, 10);
    fake::dragRelease();
    EXPECT_TRUE(fake::sentMessages().empty());
    EXPECT_EQ(closed, 0);
    rv::closePanelCallback = nullptr;
}

TEST_F(Windows, PreferencesReachTheMainWindow) {
    rv::setAppSetting("alwaysOnTop", "1");
    EXPECT_TRUE(fake::window(kMain).topmost);
    rv::setAppSetting("alwaysOnTop", "true");
    EXPECT_FALSE(fake::window(kMain).topmost);

    // Reset puts the window back to its default geometry and records that placement.
    plat::setTopmost(kMain, true);
    plat::showWindow(kMain, plat::Show::Maximize);
    rv::windowMaximized = true, rv::windowWidth = 900;
    rv::resetEverything();
    EXPECT_FALSE(fake::window(kMain).maximized);
    EXPECT_FALSE(fake::window(kMain).topmost);
    EXPECT_EQ(rv::windowX, (1920 - 436) / 2);
    EXPECT_EQ(rv::windowWidth, 436);  // the outer width of the 420-wide client area
    EXPECT_FALSE(rv::windowMaximized);
    EXPECT_TRUE(rv::windowPositionKnown);
    EXPECT_NE(readFile("appsettings.txt").find("windowMaximized=0"), std::string::npos);
}
