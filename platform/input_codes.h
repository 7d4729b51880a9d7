// The system's one code space, on every platform: Win32 virtual-key codes (mouse buttons take the
// numbers of their virtual keys: 1 left, 2 right, 4 middle, 5 and 6 the side buttons), Win32 mouse
// and key flag words and Win32 mouse message numbers. Session files store them and the page shows
// them; the backends translate to and from their own system's codes.
//
// The names are those of the Win32 headers on purpose; a Win32 backend file includes this header
// before <windows.h> (whose macros of the same names would otherwise replace them).
#pragma once

#include <cstdint>

namespace rv {

// Mouse flag words.
inline constexpr uint32_t MOUSEEVENTF_MOVE = 0x0001;
inline constexpr uint32_t MOUSEEVENTF_LEFTDOWN = 0x0002;
inline constexpr uint32_t MOUSEEVENTF_LEFTUP = 0x0004;
inline constexpr uint32_t MOUSEEVENTF_RIGHTDOWN = 0x0008;
inline constexpr uint32_t MOUSEEVENTF_RIGHTUP = 0x0010;
inline constexpr uint32_t MOUSEEVENTF_MIDDLEDOWN = 0x0020;
inline constexpr uint32_t MOUSEEVENTF_MIDDLEUP = 0x0040;
inline constexpr uint32_t MOUSEEVENTF_XDOWN = 0x0080;
inline constexpr uint32_t MOUSEEVENTF_XUP = 0x0100;
inline constexpr uint32_t MOUSEEVENTF_WHEEL = 0x0800;
inline constexpr uint32_t MOUSEEVENTF_ABSOLUTE = 0x8000;
inline constexpr uint32_t MOUSEEVENTF_VIRTUALDESK = 0x4000;

// Key flag words.
inline constexpr uint32_t KEYEVENTF_EXTENDEDKEY = 0x0001;
inline constexpr uint32_t KEYEVENTF_KEYUP = 0x0002;
inline constexpr uint32_t KEYEVENTF_SCANCODE = 0x0008;

// Wheel units per notch.
inline constexpr int32_t WHEEL_DELTA = 120;

// Win32 mouse message numbers: the vocabulary of mouse events on every platform.
inline constexpr uint32_t WM_MOUSEMOVE = 0x0200;
inline constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
inline constexpr uint32_t WM_LBUTTONUP = 0x0202;
inline constexpr uint32_t WM_RBUTTONDOWN = 0x0204;
inline constexpr uint32_t WM_RBUTTONUP = 0x0205;
inline constexpr uint32_t WM_MBUTTONDOWN = 0x0207;
inline constexpr uint32_t WM_MBUTTONUP = 0x0208;
inline constexpr uint32_t WM_MOUSEWHEEL = 0x020A;
inline constexpr uint32_t WM_XBUTTONDOWN = 0x020B;
inline constexpr uint32_t WM_XBUTTONUP = 0x020C;
inline constexpr uint32_t WM_MOUSEHWHEEL = 0x020E;

}  // namespace rv
