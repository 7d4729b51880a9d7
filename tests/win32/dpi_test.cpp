// At a display scale of 150 % (144 DPI), for real under Windows or Wine: every point stays in
// physical pixels from the hook to the injected click, a fitted window stays inside the work area
// and a saved placement comes back where it was. Wine reads the scale (LogPixels) when a process
// starts, so the program sets it for the current user and starts itself again, then puts it back.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
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

const wchar_t* const kDesktopKey = L"Control Panel\\Desktop";
const char* const kScaledRun = "--at-144";

UINT dpiOf(HWND window) {
    using GetDpiFn = UINT(WINAPI*)(HWND);
    auto getDpi = reinterpret_cast<GetDpiFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    return getDpi ? getDpi(window) : 96;
}

// Sizes the client area as the webview does: page pixels times the window's DPI over 96, plus the
// frame for that DPI.
void webviewSetSize(HWND window, int32_t width, int32_t height) {
    UINT dpi = dpiOf(window);
    RECT rect{0, 0, static_cast<LONG>(width * static_cast<int>(dpi) / 96),
              static_cast<LONG>(height * static_cast<int>(dpi) / 96)};
    AdjustWindowRectEx(&rect, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), FALSE, 0);
    SetWindowPos(window, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

class Scaled : public testing::Test {
  protected:
    void SetUp() override {
        rv::resetStateForTests();
        window_ = testwin::makeWindow(rv::kMainWindowTitle);
        ASSERT_NE(window_, nullptr);
        pump();
    }
    void TearDown() override {
        if (window_) DestroyWindow(window_);
        pump();
        std::string exe = plat::exePath();
        DeleteFileA((exe.substr(0, exe.find_last_of('\\')) + "\\appsettings.txt").c_str());
    }
    HWND window_ = nullptr;
};

TEST_F(Scaled, TheSystemRunsAt144DpiAndWindowsKnowTheirScale) {
    ASSERT_EQ(dpiOf(window_), 144u) << "the display scale did not take: nothing below shows anything";
    EXPECT_DOUBLE_EQ(plat::windowScale(window_), 1.5);
}

TEST_F(Scaled, AFittedWindowStaysWithinTheWorkArea) {
    RECT work{};
    MONITORINFO info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &info));
    work = info.rcWork;
    auto setSize = [this](int32_t width, int32_t height) { webviewSetSize(window_, width, height); };
    // Page pixels: 560 of them fit; 1000 are 1500 window pixels, more than the screen; 2400 are
    // capped by the system at about the screen's height.
    for (int32_t height : {560, 700, 1000, 2400}) {
        plat::moveWindow(window_, work.left + 50, work.top + 200);
        rv::fitWindowToMonitor(setSize, window_, 420, height);
        pump();
        RECT rect = outerRect(window_);
        EXPECT_GE(rect.top, work.top) << height;
        EXPECT_LE(rect.bottom, work.bottom) << height;
        EXPECT_EQ(rect.left, work.left + 50) << height;
        RECT client{};
        GetClientRect(window_, &client);
        EXPECT_EQ(client.right, 630) << "420 page pixels at 150 %";
        if (height == 560) {
            EXPECT_EQ(client.bottom, 840);
        } else {
            EXPECT_GE(rect.bottom - rect.top, work.bottom - work.top - 20 - 2) << "fitted, not shrunk away";
        }
    }
}

TEST_F(Scaled, ASavedPlacementComesBackWhereItWas) {
    plat::setWindowBounds(window_, 333, 222, 901, 655);
    pump();
    rv::saveWindowPlacement(window_);
    EXPECT_EQ(rv::windowX.load(), 333);
    EXPECT_EQ(rv::windowY.load(), 222);
    EXPECT_EQ(rv::windowWidth.load(), 901);
    EXPECT_EQ(rv::windowHeight.load(), 655);
    plat::setWindowBounds(window_, 10, 10, 300, 200);
    pump();
    rv::applyMainWindowPreferences(window_);
    pump();
    RECT rect = outerRect(window_);
    EXPECT_EQ(rect.left, 333);
    EXPECT_EQ(rect.top, 222);
    EXPECT_EQ(rect.right - rect.left, 901);
    EXPECT_EQ(rect.bottom - rect.top, 655);
}

// A panel's 450 × 400 page pixels come out 675 × 600 at 150 %; moved onto a monitor of another
// scale (the system's message, as Wine has one scale for every monitor) it takes the size the
// system works out and stays where it was put.
TEST_F(Scaled, APanelIsSizedInPagePixelsAtTheMonitorsScale) {
    HWND panel = testwin::makeWindow("Ravelin (Panel)");
    ASSERT_NE(panel, nullptr);
    plat::makePanelWindow(panel, true, 120, 90, 450, 400);
    pump();
    RECT rect = outerRect(panel);
    EXPECT_EQ(rect.left, 120);
    EXPECT_EQ(rect.top, 90);
    EXPECT_EQ(rect.right - rect.left, 675);
    EXPECT_EQ(rect.bottom - rect.top, 600);

    RECT suggested{900, 700, 900 + 450, 700 + 400};
    SendMessageW(panel, WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&suggested));
    pump();
    rect = outerRect(panel);
    EXPECT_EQ(rect.left, 120) << "the drag owns the place";
    EXPECT_EQ(rect.right - rect.left, 450);
    EXPECT_EQ(rect.bottom - rect.top, 400);
    DestroyWindow(panel);
}

std::mutex pickedMutex;
std::vector<plat::MouseEvent> picked;

TEST_F(Scaled, APickedPointIsClickedOnThatPixel) {
    std::thread capture([] {
        plat::runCaptureLoop(plat::CaptureHandlers{[](const plat::KeyEvent&) { return false; },
                                                   [](const plat::MouseEvent& event) {
                                                       std::lock_guard<std::mutex> lock(pickedMutex);
                                                       picked.push_back(event);
                                                       return false;
                                                   },
                                                   [](const plat::RawMotion&) {}});
    });
    Sleep(300);
    int32_t width = 0, height = 0;
    plat::screenSize(width, height);
    ASSERT_EQ(width, GetSystemMetrics(SM_CXSCREEN));
    for (POINT point : {POINT{width - 1, height - 1}, POINT{1001, 777}, POINT{width / 3, height / 3 + 1}}) {
        // Where the user clicked: the capture's point of the press.
        SetCursorPos(point.x, point.y);
        {
            std::lock_guard<std::mutex> lock(pickedMutex);
            picked.clear();
        }
        plat::injectMouse(0x0002, 0);  // left down
        plat::injectMouse(0x0004, 0);
        std::optional<plat::MouseEvent> press;
        for (int i = 0; i < 200 && !press; ++i) {
            Sleep(10);
            std::lock_guard<std::mutex> lock(pickedMutex);
            for (const plat::MouseEvent& event : picked) {
                if (event.message == WM_LBUTTONDOWN) press = event;
            }
        }
        ASSERT_TRUE(press) << "no press seen";
        EXPECT_EQ(press->x, point.x);
        EXPECT_EQ(press->y, point.y);
        // The clicker's move to that point, from elsewhere.
        SetCursorPos(5, 5);
        plat::injectAbsoluteMove(press->x, press->y);
        int32_t x = -1, y = -1;
        ASSERT_TRUE(plat::cursorPos(x, y));
        EXPECT_EQ(x, point.x);
        EXPECT_EQ(y, point.y);
    }
    plat::stopCaptureLoop();
    capture.join();
}

// The current user's LogPixels, or nothing when it is not set.
std::optional<DWORD> logPixels() {
    DWORD value = 0, size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels", RRF_RT_REG_DWORD, nullptr, &value,
                     &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return value;
}

void setLogPixels(std::optional<DWORD> value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    if (value) {
        RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&*value),
                       sizeof *value);
    } else {
        RegDeleteValueW(key, L"LogPixels");
    }
    RegCloseKey(key);
}

// Runs this program again at 144 DPI with the same arguments and returns its exit code; the scale
// the user had goes back afterwards.
int runScaled() {
    std::optional<DWORD> before = logPixels();
    setLogPixels(144);
    std::wstring commandLine = GetCommandLineW();
    commandLine += L" --at-144";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    DWORD code = 1;
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    setLogPixels(before);
    return static_cast<int>(code);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::string(argv[argc - 1]) != kScaledRun) return runScaled();
    testing::InitGoogleTest(&argc, argv);
    plat::initProcess();
    return RUN_ALL_TESTS();
}
