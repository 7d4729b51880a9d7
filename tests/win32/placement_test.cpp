// The main window's placement kept in appsettings.txt, restored at start-up, fitted to the work area
// and centred, on a real window of the main window's title, under Windows or Wine.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "app/app.h"
#include "app/main_window.h"
#include "platform/platform.h"
#include "state/state.h"
// After the portable headers: <windows.h> defines macros named like their constants.
#include <windows.h>

#include "win32/test_window.h"

namespace {

using testwin::outerRect;
using testwin::pump;
using testwin::workAreaOf;

std::string settingsFile() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string text(path, length);
    return text.substr(0, text.find_last_of('\\')) + "\\appsettings.txt";
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class Placement : public testing::Test {
  protected:
    void SetUp() override {
        rv::resetStateForTests();
        DeleteFileA(settingsFile().c_str());
        window_ = testwin::makeWindow(rv::kMainWindowTitle);
        ASSERT_NE(window_, nullptr);
        pump();
    }
    void TearDown() override {
        if (window_) DestroyWindow(window_);
        pump();
        DeleteFileA(settingsFile().c_str());
    }

    HWND window_ = nullptr;
};

TEST_F(Placement, SavedPlacementIsTheNormalRectangleWrittenBesideTheProgram) {
    rv::saveWindowPlacement(nullptr);
    EXPECT_FALSE(exists(settingsFile()));
    EXPECT_FALSE(rv::windowPositionKnown.load());

    plat::setWindowBounds(window_, 130, 90, 500, 400);
    rv::saveWindowPlacement(window_);
    EXPECT_EQ(rv::windowX.load(), 130);
    EXPECT_EQ(rv::windowY.load(), 90);
    EXPECT_EQ(rv::windowWidth.load(), 500);
    EXPECT_EQ(rv::windowHeight.load(), 400);
    EXPECT_FALSE(rv::windowMaximized.load());
    EXPECT_TRUE(rv::windowPositionKnown.load());
    std::string bytes = readBytes(settingsFile());
    EXPECT_NE(
        bytes.find(
            "windowX=130\r\nwindowY=90\r\nwindowWidth=500\r\nwindowHeight=400\r\nwindowMaximized=0\r\n"),
        std::string::npos)
        << bytes;

    // Maximized: the rectangle it comes back to, not the maximized one. Without a window manager Wine
    // takes a resize still on its way back from X for the user's and would undo the maximize: the
    // resize settles first.
    pump();
    ShowWindow(window_, SW_MAXIMIZE);
    pump();
    ASSERT_TRUE(IsZoomed(window_));
    rv::saveWindowPlacement(window_);
    EXPECT_TRUE(rv::windowMaximized.load());
    EXPECT_EQ(rv::windowX.load(), 130);
    EXPECT_EQ(rv::windowY.load(), 90);
    EXPECT_EQ(rv::windowWidth.load(), 500);
    EXPECT_EQ(rv::windowHeight.load(), 400);
    bytes = readBytes(settingsFile());
    EXPECT_NE(bytes.find("windowWidth=500\r\nwindowHeight=400\r\nwindowMaximized=1\r\n"), std::string::npos)
        << bytes;
}

TEST_F(Placement, StartUpRestoresTheSavedPlacementWithinTheWorkAreaAndSavesAtClose) {
    RECT work = workAreaOf(window_);
    int32_t workWidth = work.right - work.left;

    // A saved point on no monitor leaves the window where it was.
    RECT before = outerRect(window_);
    rv::windowPositionKnown = true;
    rv::windowX = -30000, rv::windowY = -30000, rv::windowWidth = 640, rv::windowHeight = 480;
    rv::applyMainWindowPreferences(window_);
    pump();
    RECT rect = outerRect(window_);
    EXPECT_EQ(rect.left, before.left);
    EXPECT_EQ(rect.top, before.top);
    EXPECT_EQ(rect.right - rect.left, before.right - before.left);

    // Too wide for the work area: the width is cut to it.
    rv::windowX = work.left + 60, rv::windowY = work.top + 50, rv::windowWidth = workWidth + 500;
    rv::windowHeight = 300;
    rv::applyMainWindowPreferences(window_);
    pump();
    rect = outerRect(window_);
    EXPECT_EQ(rect.left, work.left + 60);
    EXPECT_EQ(rect.top, work.top + 50);
    EXPECT_EQ(rect.right - rect.left, workWidth);
    EXPECT_EQ(rect.bottom - rect.top, 300);
    EXPECT_FALSE(IsZoomed(window_));
    EXPECT_EQ(GetForegroundWindow(), window_);

    // Read at once: without a window manager Wine soon undoes a maximize that X never confirms.
    rv::windowMaximized = true;
    rv::applyMainWindowPreferences(window_);
    EXPECT_TRUE(IsZoomed(window_));
    pump();

    // The watch saves the placement when the window closes.
    ShowWindow(window_, SW_RESTORE);
    plat::setWindowBounds(window_, 210, 160, 470, 330);
    pump();
    DestroyWindow(window_);
    window_ = nullptr;
    std::string bytes = readBytes(settingsFile());
    EXPECT_NE(
        bytes.find(
            "windowX=210\r\nwindowY=160\r\nwindowWidth=470\r\nwindowHeight=330\r\nwindowMaximized=0\r\n"),
        std::string::npos)
        << bytes;
}

// The window's client area sized as the webview does it, recording each request and the outer
// height the window then had.
struct ClientSizer {
    struct Request {
        std::pair<int32_t, int32_t> size;
        int32_t outerHeight;
    };
    HWND window;
    std::vector<Request> requests;

    void operator()(int32_t width, int32_t height) {
        RECT rect{0, 0, width, height};
        AdjustWindowRectEx(&rect, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                           static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)));
        SetWindowPos(window, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        RECT outer = outerRect(window);
        requests.push_back({{width, height}, outer.bottom - outer.top});
    }
    std::function<void(int32_t, int32_t)> callback() {
        return [this](int32_t width, int32_t height) { (*this)(width, height); };
    }
    std::pair<int32_t, int32_t> client() const {
        RECT rect{};
        GetClientRect(window, &rect);
        return {rect.right, rect.bottom};
    }
};

TEST_F(Placement, FittingKeepsTheWindowInsideTheWorkArea) {
    RECT work = workAreaOf(window_);
    int32_t available = work.bottom - work.top - 20;
    ClientSizer sizer{window_, {}};

    // Fits as asked: sized, not moved.
    plat::moveWindow(window_, work.left + 100, work.top + 100);
    rv::fitWindowToMonitor(sizer.callback(), window_, 400, 300);
    pump();
    EXPECT_EQ(sizer.requests.size(), 1u);
    EXPECT_EQ(sizer.client(), std::make_pair(400, 300));
    EXPECT_EQ(outerRect(window_).left, work.left + 100);
    EXPECT_EQ(outerRect(window_).top, work.top + 100);
    int32_t frame = outerRect(window_).bottom - outerRect(window_).top - 300;

    // Fits in height but sticks out below: moved up until its bottom meets the work area's.
    sizer.requests.clear();
    plat::moveWindow(window_, work.left + 100, work.bottom - 100);
    rv::fitWindowToMonitor(sizer.callback(), window_, 400, 300);
    pump();
    EXPECT_EQ(sizer.requests.size(), 1u);
    EXPECT_EQ(sizer.client(), std::make_pair(400, 300));
    EXPECT_EQ(outerRect(window_).bottom, work.bottom);
    EXPECT_EQ(outerRect(window_).left, work.left + 100);

    // Too tall by 30 pixels: the height is scaled by what is available over the outer height.
    sizer.requests.clear();
    int32_t tall = available - frame + 30;
    plat::moveWindow(window_, work.left + 100, work.top + 300);
    rv::fitWindowToMonitor(sizer.callback(), window_, 400, tall);
    pump();
    ASSERT_EQ(sizer.requests.size(), 2u);
    EXPECT_EQ(sizer.requests[0].size, std::make_pair(400, tall));
    EXPECT_EQ(sizer.requests[0].outerHeight, tall + frame);
    int32_t expected = static_cast<int32_t>(static_cast<double>(available) / (tall + frame) * tall);
    EXPECT_EQ(sizer.requests[1].size, std::make_pair(400, expected));
    EXPECT_EQ(sizer.client(), std::make_pair(400, expected));
    RECT rect = outerRect(window_);
    EXPECT_GE(rect.top, work.top);
    EXPECT_EQ(rect.bottom, work.bottom) << "not moved up, or further than it needed";
    EXPECT_EQ(rect.left, work.left + 100);

    // Nothing to fit: no request at all.
    sizer.requests.clear();
    rv::fitWindowToMonitor(sizer.callback(), window_, 0, 300);
    rv::fitWindowToMonitor(sizer.callback(), window_, 400, -1);
    rv::fitWindowToMonitor(sizer.callback(), nullptr, 400, 300);
    EXPECT_TRUE(sizer.requests.empty());
}

TEST_F(Placement, RequestTallerThanTheScreenIsScaledByTheOuterHeightItAskedFor) {
    // The system caps a window's outer size at about the screen's (its largest tracking size): the
    // outer height of a request that tall is the height asked for plus the frame, not what the
    // window could be given.
    RECT work = workAreaOf(window_);
    int32_t available = work.bottom - work.top - 20;
    ClientSizer sizer{window_, {}};
    sizer(400, 300);
    int32_t frame = outerRect(window_).bottom - outerRect(window_).top - 300;
    int32_t height = 2 * (work.bottom - work.top);
    plat::moveWindow(window_, work.left + 100, work.top + 300);
    rv::fitWindowToMonitor(sizer.callback(), window_, 400, height);
    pump();
    int32_t expected = static_cast<int32_t>(static_cast<double>(available) / (height + frame) * height);
    EXPECT_EQ(sizer.client(), std::make_pair(400, expected));
    RECT rect = outerRect(window_);
    EXPECT_GE(rect.top, work.top);
    EXPECT_LE(rect.bottom, work.bottom) << "sticks out below the work area";
}

TEST_F(Placement, CentringPutsTheWindowInTheMiddleOfTheWorkArea) {
    plat::setWindowBounds(window_, 10, 20, 501, 401);
    plat::Rect work;
    ASSERT_TRUE(plat::workAreaOfWindow(window_, work));
    plat::Rect rect;
    ASSERT_TRUE(plat::windowRect(window_, rect));
    rv::Point corner = rv::centredIn(work, rect);
    plat::moveWindow(window_, corner.x, corner.y);
    RECT moved = outerRect(window_);
    EXPECT_EQ(moved.right - moved.left, 501);
    EXPECT_EQ(moved.bottom - moved.top, 401);
    int32_t leftMargin = moved.left - work.left, rightMargin = work.right - moved.right;
    int32_t topMargin = moved.top - work.top, bottomMargin = work.bottom - moved.bottom;
    EXPECT_TRUE(rightMargin - leftMargin == 0 || rightMargin - leftMargin == 1)
        << leftMargin << " " << rightMargin;
    EXPECT_TRUE(bottomMargin - topMargin == 0 || bottomMargin - topMargin == 1)
        << topMargin << " " << bottomMargin;
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
