// Top-level windows, panel windows and the panel drag of the Windows backend, for real under Windows
// or Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "win32/test_window.h"

namespace {

using testwin::makeWindow;
using testwin::pump;

bool sameRect(const plat::Rect& a, const plat::Rect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST(Windows, FoundByExactTitleOnly) {
    HWND window = makeWindow("Ravelin window test (exact)");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(plat::findWindow("Ravelin window test (exact)"), window);
    EXPECT_EQ(plat::findWindow("Ravelin window test"), nullptr);
    DestroyWindow(window);
    EXPECT_EQ(plat::findWindow("Ravelin window test (exact)"), nullptr);
}

TEST(Windows, ForegroundIsTakenFromAnotherThreadsWindow) {
    HWND own = makeWindow("Ravelin foreground (own)");
    ASSERT_NE(own, nullptr);
    // The other window lives on a thread of its own, as another program's window would.
    HWND other = nullptr;
    DWORD otherThread = 0;
    std::thread owner([&] {
        HWND window = makeWindow("Ravelin foreground (other)");
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
        other = window;
        otherThread = GetCurrentThreadId();
        while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
        DestroyWindow(window);
    });
    for (int i = 0; i < 200 && !otherThread; ++i) Sleep(10);
    ASSERT_NE(other, nullptr);
    plat::forceForeground(other);
    pump();
    EXPECT_EQ(GetForegroundWindow(), other);
    plat::forceForeground(own);
    pump();
    EXPECT_EQ(GetForegroundWindow(), own);
    EXPECT_EQ(GetFocus(), own);

    PostThreadMessageA(otherThread, WM_QUIT, 0, 0);
    owner.join();
    DestroyWindow(own);
}

TEST(Windows, GeometryTopmostAndShowStates) {
    HWND window = makeWindow("Ravelin geometry");
    ASSERT_NE(window, nullptr);
    plat::setWindowBounds(window, 100, 120, 400, 300);
    plat::Rect rect;
    ASSERT_TRUE(plat::windowRect(window, rect));
    EXPECT_TRUE(sameRect(rect, plat::Rect{100, 120, 500, 420}));
    plat::moveWindow(window, 200, 150);
    ASSERT_TRUE(plat::windowRect(window, rect));
    EXPECT_TRUE(sameRect(rect, plat::Rect{200, 150, 600, 450}));

    plat::setTopmost(window, true);
    EXPECT_TRUE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    plat::setTopmost(window, false);
    EXPECT_FALSE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    ASSERT_TRUE(plat::windowRect(window, rect));
    EXPECT_TRUE(sameRect(rect, plat::Rect{200, 150, 600, 450}));

    // A maximized window still reports the rectangle it returns to.
    plat::showWindow(window, plat::Show::Maximize);
    pump();
    EXPECT_TRUE(plat::isMaximized(window));
    plat::Placement placement;
    ASSERT_TRUE(plat::windowPlacement(window, placement));
    EXPECT_TRUE(placement.maximized);
    EXPECT_TRUE(sameRect(placement.normal, plat::Rect{200, 150, 600, 450}));
    plat::showWindow(window, plat::Show::Restore);
    pump();
    EXPECT_FALSE(plat::isMaximized(window));
    ASSERT_TRUE(plat::windowPlacement(window, placement));
    EXPECT_FALSE(placement.maximized);
    plat::showWindow(window, plat::Show::Minimize);
    pump();
    EXPECT_TRUE(IsIconic(window));

    DestroyWindow(window);
    EXPECT_FALSE(plat::windowRect(nullptr, rect));
    EXPECT_FALSE(plat::windowPlacement(nullptr, placement));
    EXPECT_FALSE(plat::isMaximized(nullptr));
}

TEST(Windows, WorkAreasOfPointsAndWindows) {
    int32_t width = 0, height = 0;
    plat::screenSize(width, height);
    plat::Rect area;
    ASSERT_TRUE(plat::workAreaAtPoint(10, 10, area));
    EXPECT_GT(area.right - area.left, width / 2);
    EXPECT_GT(area.bottom - area.top, height / 2);
    EXPECT_FALSE(plat::workAreaAtPoint(-20000, -20000, area));
    plat::Rect primary;
    ASSERT_TRUE(plat::workAreaOfWindow(nullptr, primary));
    HWND window = makeWindow("Ravelin work area");
    plat::Rect ofWindow;
    ASSERT_TRUE(plat::workAreaOfWindow(window, ofWindow));
    EXPECT_TRUE(sameRect(ofWindow, primary));
    DestroyWindow(window);
}

// ---- the main window's watch --------------------------------------------------------------------

std::vector<std::string> watched;

TEST(Windows, WatchReportsMoveSizeEndsAndOneDestructionAndKeepsUnicodeTitles) {
    HWND window = makeWindow("Ravelin watched");
    ASSERT_NE(window, nullptr);
    watched.clear();
    plat::watchMainWindow(
        window, [](plat::WindowHandle) { watched.push_back("moved"); },
        [](plat::WindowHandle) { watched.push_back("destroyed"); });
    SendMessageW(window, WM_EXITSIZEMOVE, 0, 0);
    SendMessageW(window, WM_EXITSIZEMOVE, 0, 0);
    // Messages the watch does not consume reach the window's own procedure unconverted.
    const wchar_t* title = L"Ravelin \u0418\u2713";
    ASSERT_TRUE(SetWindowTextW(window, title));
    wchar_t read[64] = {};
    GetWindowTextW(window, read, 64);
    EXPECT_EQ(std::wstring(read), title);
    DestroyWindow(window);
    EXPECT_EQ(watched, (std::vector<std::string>{"moved", "moved", "destroyed"}));

    // A second window can be watched afresh after the first is gone.
    window = makeWindow("Ravelin watched again");
    plat::watchMainWindow(
        window, [](plat::WindowHandle) { watched.push_back("moved again"); }, nullptr);
    SendMessageW(window, WM_EXITSIZEMOVE, 0, 0);
    DestroyWindow(window);
    EXPECT_EQ(watched.back(), "moved again");
}

// The close guard: a close it refuses leaves the window; the next one it allows destroys it, and the
// watch under it still sees the destruction.
bool closeAllowed = false;
int closesAsked = 0;

TEST(Windows, TheCloseGuardKeepsTheWindowUntilItAllowsTheClose) {
    HWND window = makeWindow("Ravelin close guard");
    ASSERT_NE(window, nullptr);
    watched.clear();
    plat::watchMainWindow(window, nullptr, [](plat::WindowHandle) { watched.push_back("destroyed"); });
    plat::routeWindowClose(window, nullptr, nullptr, [] {
        ++closesAsked;
        return closeAllowed;
    });
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(window));
    closeAllowed = true;
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(closesAsked, 2);
    EXPECT_EQ(watched, std::vector<std::string>{"destroyed"});
}

TEST(Windows, ACoveredWindowIsOneThatShownOpaqueWindowsAboveHideEntirely) {
    HWND window = makeWindow("Ravelin covered");
    ASSERT_NE(window, nullptr);
    pump();
    EXPECT_FALSE(plat::isCovered(window));
    // Made later, so stacked above it.
    const auto popup = [](int x, int y, int width, int height) {
        return CreateWindowExA(0, "STATIC", "Ravelin cover", WS_POPUP | WS_VISIBLE, x, y, width, height,
                               nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    };
    HWND cover = popup(50, 50, 500, 400);
    pump();
    EXPECT_TRUE(plat::isCovered(window));
    // Moved aside: the window's left part shows; a second one over that part hides it again.
    SetWindowPos(cover, nullptr, 250, 50, 500, 400, SWP_NOZORDER | SWP_NOACTIVATE);
    pump();
    EXPECT_FALSE(plat::isCovered(window));
    HWND second = popup(0, 0, 260, 600);
    pump();
    EXPECT_TRUE(plat::isCovered(window));
    // A window that may be see-through, or one not shown, hides nothing.
    SetWindowLongPtrW(second, GWL_EXSTYLE, GetWindowLongPtrW(second, GWL_EXSTYLE) | WS_EX_LAYERED);
    EXPECT_FALSE(plat::isCovered(window));
    SetWindowLongPtrW(second, GWL_EXSTYLE, GetWindowLongPtrW(second, GWL_EXSTYLE) & ~WS_EX_LAYERED);
    ShowWindow(second, SW_HIDE);
    pump();
    EXPECT_FALSE(plat::isCovered(window));
    ShowWindow(second, SW_SHOWNOACTIVATE);
    pump();
    EXPECT_TRUE(plat::isCovered(window));
    // Brought to the front, it shows.
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    pump();
    EXPECT_FALSE(plat::isCovered(window));
    // A minimized window is not "covered": it is minimized.
    SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ShowWindow(window, SW_MINIMIZE);
    pump();
    EXPECT_FALSE(plat::isCovered(window));
    for (HWND w : {second, cover, window}) DestroyWindow(w);
    EXPECT_FALSE(plat::isCovered(nullptr));
}

// ---- panel windows and the drag -----------------------------------------------------------------

TEST(Panels, FramelessStyleAndPlacement) {
    HWND panel = makeWindow("Ravelin (Panel)");
    ASSERT_NE(panel, nullptr);
    plat::makePanelWindow(panel, true, 650, 280, 450, 400);
    LONG_PTR style = GetWindowLongPtrW(panel, GWL_STYLE);
    EXPECT_EQ(style & 0x004F0000, 0);
    EXPECT_EQ(style & 0x80800000, 0x80800000);
    EXPECT_TRUE(IsWindowVisible(panel));
    plat::Rect rect;
    ASSERT_TRUE(plat::windowRect(panel, rect));
    EXPECT_TRUE(sameRect(rect, plat::Rect{650, 280, 1100, 680}));
    // Not positioned: restyled where it stands.
    plat::moveWindow(panel, 40, 50);
    plat::makePanelWindow(panel, false, 650, 280, 450, 400);
    ASSERT_TRUE(plat::windowRect(panel, rect));
    EXPECT_TRUE(sameRect(rect, plat::Rect{40, 50, 490, 450}));
    DestroyWindow(panel);
}

TEST(Panels, FramelessThroughTheWebviewsSizeChanges) {
    HWND panel = makeWindow("Ravelin (Sized)");
    ASSERT_NE(panel, nullptr);
    plat::makePanelWindow(panel, true, 200, 150, 450, 400);
    // What the webview's set_size does: sizing border and maximise box back on, then the outer size
    // for the client size asked for, worked out from the style the window now has.
    for (int size : {300, 340}) {
        LONG_PTR style = GetWindowLongPtrW(panel, GWL_STYLE);
        SetWindowLongPtrW(panel, GWL_STYLE, style | WS_THICKFRAME | WS_MAXIMIZEBOX);
        RECT frame{0, 0, size, size};
        AdjustWindowRect(&frame, static_cast<DWORD>(GetWindowLongPtrW(panel, GWL_STYLE)), FALSE);
        SetWindowPos(panel, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE | SWP_FRAMECHANGED);
        pump();
        style = GetWindowLongPtrW(panel, GWL_STYLE);
        EXPECT_EQ(style & 0x004F0000, 0) << "frame styles back after a size change";
        EXPECT_EQ(style & 0x80800000, 0x80800000);
        int32_t width = 0, height = 0;
        ASSERT_TRUE(plat::windowClientSize(panel, width, height));
        EXPECT_EQ(width, size);
        EXPECT_EQ(height, size);
    }
    DestroyWindow(panel);
}

void sendButton(DWORD flags) {
    INPUT record{};
    record.type = INPUT_MOUSE;
    record.mi.dwFlags = flags;
    SendInput(1, &record, sizeof record);
    Sleep(50);
}

std::vector<std::string> dragged;

TEST(Panels, DragReportsScreenPointsUntilReleaseOrCaptureLoss) {
    HWND panel = makeWindow("Ravelin (Drag)");
    ASSERT_NE(panel, nullptr);
    plat::DragHandlers handlers{
        [](int32_t x, int32_t y) { dragged.push_back(std::to_string(x) + "," + std::to_string(y)); },
        [] { dragged.push_back("released"); }, [] { dragged.push_back("lost"); }};
    SetCursorPos(150, 150);  // over the panel, where the press goes
    pump();
    sendButton(MOUSEEVENTF_LEFTDOWN);
    dragged.clear();
    plat::beginPointerDrag(panel, handlers);
    EXPECT_EQ(GetCapture(), panel);
    SetCursorPos(300, 270);
    SendMessageW(panel, WM_MOUSEMOVE, 0, MAKELPARAM(1, 1));
    SendMessageW(panel, WM_LBUTTONUP, 0, 0);
    plat::endPointerDrag();
    EXPECT_NE(GetCapture(), panel);
    // Not dragging: nothing more is reported.
    SendMessageW(panel, WM_MOUSEMOVE, 0, 0);
    EXPECT_EQ(dragged, (std::vector<std::string>{"300,270", "released"}));

    dragged.clear();
    plat::beginPointerDrag(panel, handlers);
    ReleaseCapture();  // another window takes the pointer
    plat::endPointerDrag();
    EXPECT_EQ(dragged, (std::vector<std::string>{"lost"}));
    sendButton(MOUSEEVENTF_LEFTUP);
    pump();
    DestroyWindow(panel);
}

TEST(Panels, DragBegunAfterTheButtonWentUpEndsAtOnceHonouringSwappedButtons) {
    HWND panel = makeWindow("Ravelin (Quick)");
    ASSERT_NE(panel, nullptr);
    plat::DragHandlers handlers{
        [](int32_t x, int32_t y) { dragged.push_back(std::to_string(x) + "," + std::to_string(y)); },
        [] { dragged.push_back("released"); }, [] { dragged.push_back("lost"); }};
    SetCursorPos(150, 150);
    pump();

    // A quick click: over before the drag begins.
    dragged.clear();
    plat::beginPointerDrag(panel, handlers);
    EXPECT_NE(GetCapture(), panel);
    SendMessageW(panel, WM_MOUSEMOVE, 0, 0);
    EXPECT_EQ(dragged, (std::vector<std::string>{"released"}));

    // Swapped buttons: the logical left button is the physical right one.
    SwapMouseButton(TRUE);
    sendButton(MOUSEEVENTF_LEFTDOWN);  // the physical left, now the logical right: no drag
    dragged.clear();
    plat::beginPointerDrag(panel, handlers);
    EXPECT_NE(GetCapture(), panel);
    EXPECT_EQ(dragged, (std::vector<std::string>{"released"}));
    sendButton(MOUSEEVENTF_LEFTUP);
    sendButton(MOUSEEVENTF_RIGHTDOWN);
    dragged.clear();
    plat::beginPointerDrag(panel, handlers);
    EXPECT_EQ(GetCapture(), panel);
    plat::endPointerDrag();
    sendButton(MOUSEEVENTF_RIGHTUP);
    SwapMouseButton(FALSE);
    EXPECT_TRUE(dragged.empty());
    pump();
    DestroyWindow(panel);
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

namespace {

// The width and height of an icon's colour image (its mask's for a monochrome icon).
SIZE iconSize(HICON icon) {
    ICONINFO info{};
    SIZE size{0, 0};
    if (!icon || !GetIconInfo(icon, &info)) return size;
    BITMAP bitmap{};
    if (GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap)) {
        size.cx = bitmap.bmWidth;
        size.cy = info.hbmColor ? bitmap.bmHeight : bitmap.bmHeight / 2;
    }
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return size;
}

}  // namespace

TEST(Windows, WindowIconIsTheExecutablesInTheSystemsTwoSizes) {
    HWND window = makeWindow("Ravelin window icon");
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(SendMessageW(window, WM_GETICON, ICON_BIG, 0), 0);
    plat::setWindowIcon(window);
    pump();
    const auto big = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0));
    const auto small = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_SMALL, 0));
    ASSERT_NE(big, nullptr);
    ASSERT_NE(small, nullptr);
    EXPECT_NE(big, small);
    // The process is not DPI-aware here: the system's sizes at 96 DPI.
    const SIZE bigSize = iconSize(big), smallSize = iconSize(small);
    EXPECT_EQ(bigSize.cx, GetSystemMetrics(SM_CXICON));
    EXPECT_EQ(bigSize.cy, GetSystemMetrics(SM_CYICON));
    EXPECT_EQ(smallSize.cx, GetSystemMetrics(SM_CXSMICON));
    EXPECT_EQ(smallSize.cy, GetSystemMetrics(SM_CYSMICON));
    DestroyWindow(window);

    // A window that is gone, or none at all, ends nothing.
    plat::setWindowIcon(window);
    plat::setWindowIcon(nullptr);
}

void noPlacement(plat::WindowHandle) {}

TEST(Windows, WindowIconIsDrawnAgainOnAMonitorOfAnotherDpi) {
    // The main window (watched) and a panel window, each subclassed as the program does it.
    const std::vector<void (*)(HWND)> ways = {
        [](HWND window) { plat::watchMainWindow(window, &noPlacement, &noPlacement); },
        [](HWND window) { plat::makePanelWindow(window, false, 0, 0, 0, 0); },
    };
    for (size_t way = 0; way < ways.size(); ++way) {
        HWND window = makeWindow("Ravelin window icon (DPI)");
        ASSERT_NE(window, nullptr);
        ways[way](window);
        plat::setWindowIcon(window);
        const auto big = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0));
        const auto small = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_SMALL, 0));
        ASSERT_NE(big, nullptr) << way;

        RECT rect{};
        GetWindowRect(window, &rect);
        SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&rect));
        const auto newBig = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0));
        const auto newSmall = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_SMALL, 0));
        EXPECT_NE(newBig, nullptr) << way;
        EXPECT_NE(newBig, big) << way;
        EXPECT_NE(newSmall, small) << way;
        EXPECT_EQ(iconSize(newBig).cx, GetSystemMetrics(SM_CXICON)) << way;
        // The icons given back were ours, and are gone.
        ICONINFO info{};
        EXPECT_FALSE(GetIconInfo(big, &info)) << way;
        DestroyWindow(window);
        pump();
    }
}
