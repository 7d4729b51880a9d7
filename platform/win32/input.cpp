// Windows input injection (one SendInput record per call), pointer position, screen size and key names.
// The shared arithmetic comes first: <windows.h> defines macros with the same names as its constants.
#include "platform/input_math.h"

#include <windows.h>

#include "platform/platform.h"
#include "platform/win32/injection_tag.h"
#include "platform/win32/wide_text.h"

namespace plat {

namespace {

UINT send(INPUT& record) {
    if (record.type == INPUT_MOUSE)
        record.mi.dwExtraInfo = win32::kOwnInjectionTag;
    else
        record.ki.dwExtraInfo = win32::kOwnInjectionTag;
    return SendInput(1, &record, sizeof(INPUT));
}

bool sendMouse(LONG dx, LONG dy, DWORD data, DWORD flags) {
    INPUT record{};
    record.type = INPUT_MOUSE;
    record.mi.dx = dx;
    record.mi.dy = dy;
    record.mi.mouseData = data;
    record.mi.dwFlags = flags;
    return send(record) == 1;
}

// The scan code alone would make Volume Up the B key and right Ctrl the left one: the prefixed
// mapping tells which keys carry the extended prefix in the current layout.
rv::KeyScan layoutKey(int32_t vk) {
    UINT code = static_cast<UINT>(vk);
    return rv::keyScanFromLayout(vk, MapVirtualKeyW(code, MAPVK_VK_TO_VSC_EX),
                                 MapVirtualKeyW(code, MAPVK_VK_TO_VSC));
}

}  // namespace

// Normalised over the whole virtual desktop: without MOUSEEVENTF_VIRTUALDESK the values are taken
// over the primary monitor, and a point on a monitor left of or above it would rest on the system
// extrapolating negative values, which it does not promise.
bool injectAbsoluteMove(int32_t x, int32_t y) {
    Rect desk = virtualDesktop();
    rv::NormalizedPoint point = rv::normalizeAbsolute(
        x, y, rv::DeskArea{desk.left, desk.top, desk.right - desk.left, desk.bottom - desk.top});
    return sendMouse(point.dx, point.dy, 0,
                     MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK);
}

bool injectMouse(uint32_t flags, int32_t data) {
    return sendMouse(0, 0, static_cast<DWORD>(data), flags);
}

bool injectRelativeMove(int32_t dx, int32_t dy) {
    return sendMouse(dx, dy, 0, MOUSEEVENTF_MOVE);
}

int injectKey(int32_t vk, bool down) {
    INPUT record{};
    record.type = INPUT_KEYBOARD;
    record.ki.wVk = 0;
    rv::KeyScan key = layoutKey(vk);
    record.ki.wScan = key.scan;
    record.ki.dwFlags = rv::keyRecordFlags(key, down);
    return static_cast<int>(send(record));
}

void settleInjection() {}

std::optional<bool> pointerOnOwnWindow() {
    return std::nullopt;
}

InputRoute inputRoute() {
    return InputRoute::System;
}

bool cursorPos(int32_t& x, int32_t& y) {
    POINT point;
    if (!GetCursorPos(&point)) return false;
    x = point.x;
    y = point.y;
    return true;
}

void screenSize(int32_t& width, int32_t& height) {
    width = GetSystemMetrics(SM_CXSCREEN);
    height = GetSystemMetrics(SM_CYSCREEN);
}

Rect virtualDesktop() {
    const int32_t left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    return Rect{left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                top + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

std::string keyName(int32_t vk) {
    rv::KeyScan key = layoutKey(vk);
    LONG keyData = static_cast<LONG>(key.scan) << 16;
    if (key.extended) keyData |= 1L << 24;
    // The wide name, then UTF-8: the 8-bit function answers in the system code page, which the page
    // cannot read on a German or Russian system.
    wchar_t name[128];
    int length = GetKeyNameTextW(keyData, name, 128);
    if (length <= 0) return "";
    return toUtf8(name, static_cast<size_t>(length < 128 ? length : 127));
}

}  // namespace plat
