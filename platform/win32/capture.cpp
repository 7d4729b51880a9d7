// Windows capture loop: low-level keyboard and mouse hooks for every key and button event, and raw
// input for the mouse's own relative motion, registered only while it is wanted. Everything runs on
// the thread that calls runCaptureLoop; the hooks hand each event to the portable handlers.
//
// Windows removes a low-level hook that keeps it waiting past its time-out, without a word, and
// hooks can be lost across a locked session or sleep. The loop therefore runs above normal
// priority, and puts its hooks back after an unlock or a resume, after a hook call that ran long,
// and when its periodic check finds input that neither hook saw.
#include "platform/input_math.h"

#include <windows.h>
#include <wtsapi32.h>

#include <atomic>

#include "platform/platform.h"
#include "platform/win32/capture_hooks.h"
#include "platform/win32/injection_tag.h"

namespace plat {

namespace {

struct CaptureState {
    CaptureHandlers handlers{};        // written before the hooks exist, read only by them
    std::atomic<DWORD> loopThread{0};  // the running loop's thread, 0 when none
    std::atomic<bool> stopRequested{false};
    // Capture thread only, like the registration's state.
    HWND window = nullptr;
    bool rawRegistered = false;
    HHOOK keyboardHook = nullptr, mouseHook = nullptr;
    DWORD lastHookCall = 0;  // GetTickCount at the last call of either hook
    std::atomic<int> hookInstalls{0};
};
CaptureState capture;

constexpr LRESULT kSwallow = 1;
// Posted to the loop's thread by wakeCaptureLoop.
constexpr UINT kWakeMessage = WM_APP + 1;
// Posted by a hook call that ran long enough that Windows may have dropped the hook.
constexpr UINT kRehookMessage = WM_APP + 2;
constexpr UINT_PTR kHookCheckTimer = 1;
constexpr UINT kHookCheckMs = 2000;
// A hook call this long is close to the system's time-out (300 ms by default, at most 1 s).
constexpr DWORD kLongHookCallMs = 150;
// Input newer than both hooks' last calls by this much was not seen by them.
constexpr uint32_t kMissedInputMs = 1000;
constexpr wchar_t kWindowClass[] = L"RavelinCaptureWindow";

LRESULT CALLBACK keyboardHook(int code, WPARAM message, LPARAM data);
LRESULT CALLBACK mouseHook(int code, WPARAM message, LPARAM data);

// Removes the hooks first: both at once for a moment would hand every event over twice.
void installHooks() {
    if (capture.mouseHook) UnhookWindowsHookEx(capture.mouseHook);
    if (capture.keyboardHook) UnhookWindowsHookEx(capture.keyboardHook);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    capture.mouseHook = SetWindowsHookExW(WH_MOUSE_LL, &mouseHook, instance, 0);
    capture.keyboardHook = SetWindowsHookExW(WH_KEYBOARD_LL, &keyboardHook, instance, 0);
    capture.lastHookCall = GetTickCount();
    capture.hookInstalls.fetch_add(1);
}

void removeHooks() {
    if (capture.mouseHook) UnhookWindowsHookEx(capture.mouseHook);
    if (capture.keyboardHook) UnhookWindowsHookEx(capture.keyboardHook);
    capture.mouseHook = capture.keyboardHook = nullptr;
}

// Called as each hook call ends.
void hookCallEnded(DWORD started) {
    const DWORD now = GetTickCount();
    capture.lastHookCall = now;
    if (now - started >= kLongHookCallMs) PostThreadMessageW(GetCurrentThreadId(), kRehookMessage, 0, 0);
}

void checkHooks() {
    LASTINPUTINFO input{sizeof input, 0};
    if (GetLastInputInfo(&input) &&
        rv::inputMissedByHooks(input.dwTime, capture.lastHookCall, kMissedInputMs))
        installHooks();
}

// Raw input for the whole run would wake this thread for every packet of a 1 to 8 kHz mouse; it is
// registered while relative motion is recorded and removed again after.
void followRawMotionNeed() {
    const bool wanted = capture.window && capture.handlers.rawMotion &&
                        (!capture.handlers.rawMotionWanted || capture.handlers.rawMotionWanted());
    if (wanted == capture.rawRegistered) return;
    if (wanted) {
        RAWINPUTDEVICE mouse{1, 2, RIDEV_INPUTSINK, capture.window};
        capture.rawRegistered = RegisterRawInputDevices(&mouse, 1, sizeof mouse) != 0;
    } else {
        RAWINPUTDEVICE remove{1, 2, RIDEV_REMOVE, nullptr};
        RegisterRawInputDevices(&remove, 1, sizeof remove);
        capture.rawRegistered = false;
    }
}

// Only our own: another program's injected input (a remapped mouse button, the on-screen keyboard,
// a remote desktop) is the user's and may trigger a hotkey or be recorded.
bool ownInjection(DWORD injectedFlag, ULONG_PTR extraInfo) {
    return injectedFlag != 0 && extraInfo == win32::kOwnInjectionTag;
}

// A key no keyboard has and no program binds: tapped before the release of an Alt or Win that held a
// swallowed hotkey, so the release is not taken alone (Alt alone opens the focused program's menu
// bar, Win alone the Start menu).
constexpr WORD kMaskKey = 0xE8;
bool maskNextAltOrWinRelease = false;  // hook thread only

bool isAltOrWin(DWORD vk) {
    return vk == VK_MENU || vk == VK_LMENU || vk == VK_RMENU || vk == VK_LWIN || vk == VK_RWIN;
}

void tapMaskKey() {
    INPUT taps[2] = {};
    for (INPUT& tap : taps) {
        tap.type = INPUT_KEYBOARD;
        tap.ki.wVk = kMaskKey;
        tap.ki.dwExtraInfo = win32::kOwnInjectionTag;
    }
    taps[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, taps, sizeof(INPUT));
}

LRESULT CALLBACK keyboardHook(int code, WPARAM message, LPARAM data) {
    if (code < 0) return CallNextHookEx(nullptr, code, message, data);
    const DWORD started = GetTickCount();
    bool swallow = false;
    if (capture.handlers.key) {
        const auto* record = reinterpret_cast<const KBDLLHOOKSTRUCT*>(data);
        KeyEvent event{static_cast<int32_t>(record->vkCode),
                       message == WM_KEYDOWN || message == WM_SYSKEYDOWN,
                       ownInjection(record->flags & LLKHF_INJECTED, record->dwExtraInfo)};
        swallow = capture.handlers.key(event);
        if (swallow && event.down && !isAltOrWin(record->vkCode) &&
            ((GetAsyncKeyState(VK_MENU) | GetAsyncKeyState(VK_LWIN) | GetAsyncKeyState(VK_RWIN)) & 0x8000))
            maskNextAltOrWinRelease = true;
        if (!event.down && !swallow && maskNextAltOrWinRelease && isAltOrWin(record->vkCode)) {
            maskNextAltOrWinRelease = false;
            tapMaskKey();
        }
    }
    hookCallEnded(started);
    return swallow ? kSwallow : CallNextHookEx(nullptr, code, message, data);
}

LRESULT CALLBACK mouseHook(int code, WPARAM message, LPARAM data) {
    if (code < 0) return CallNextHookEx(nullptr, code, message, data);
    const DWORD started = GetTickCount();
    followRawMotionNeed();
    bool swallow = false;
    if (capture.handlers.mouse) {
        const auto* record = reinterpret_cast<const MSLLHOOKSTRUCT*>(data);
        MouseEvent event{static_cast<uint32_t>(message), record->pt.x, record->pt.y,
                         static_cast<uint32_t>(record->mouseData),
                         ownInjection(record->flags & LLMHF_INJECTED, record->dwExtraInfo)};
        swallow = capture.handlers.mouse(event);
    }
    hookCallEnded(started);
    return swallow ? kSwallow : CallNextHookEx(nullptr, code, message, data);
}

bool resumedOrUnlocked(UINT message, WPARAM wParam) {
    if (message == WM_POWERBROADCAST)
        return wParam == PBT_APMRESUMEAUTOMATIC || wParam == PBT_APMRESUMESUSPEND;
    if (message == WM_WTSSESSION_CHANGE)
        return wParam == WTS_SESSION_UNLOCK || wParam == WTS_CONSOLE_CONNECT || wParam == WTS_REMOTE_CONNECT;
    return false;
}

LRESULT CALLBACK captureWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (resumedOrUnlocked(message, wParam)) installHooks();
    if (message == WM_TIMER && wParam == kHookCheckTimer) {
        checkHooks();
        return 0;
    }
    if (message == WM_INPUT && capture.handlers.rawMotion) {
        RAWINPUT input;
        UINT size = sizeof input;
        if (GetRawInputData(reinterpret_cast<HRAWINPUT>(lParam), RID_INPUT, &input, &size,
                            sizeof(RAWINPUTHEADER)) != static_cast<UINT>(-1) &&
            input.header.dwType == RIM_TYPEMOUSE) {
            capture.handlers.rawMotion(RawMotion{input.data.mouse.lLastX, input.data.mouse.lLastY,
                                                 (input.data.mouse.usFlags & MOUSE_MOVE_ABSOLUTE) != 0});
        }
        // The system frees the input's buffer in DefWindowProc.
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

void runCaptureLoop(const CaptureHandlers& handlers) {
    capture.handlers = handlers;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    MSG message;
    // The thread's queue must exist before the id is published, or a WM_QUIT posted at once is lost.
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
    capture.loopThread = GetCurrentThreadId();
    // The hooks are called on this thread: behind busy threads of normal priority they would be
    // late, and a late hook is one Windows drops.
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);

    // Set-up failures are not fatal: what depends on the missing piece silently does nothing. The
    // window is a hidden top-level one, not a message-only one: those get no resume broadcast.
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &captureWindow;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClass;
    RegisterClassExW(&windowClass);
    HWND window = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, windowClass.lpszClassName, L"",
                                  WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
    capture.window = window;
    const bool sessionNotes = window && WTSRegisterSessionNotification(window, NOTIFY_FOR_THIS_SESSION);
    if (window) SetTimer(window, kHookCheckTimer, kHookCheckMs, nullptr);
    followRawMotionNeed();
    installHooks();

    if (!capture.stopRequested) {
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (!message.hwnd && message.message == kWakeMessage) {
                followRawMotionNeed();
                continue;
            }
            if (!message.hwnd && message.message == kRehookMessage) {
                installHooks();
                continue;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }

    removeHooks();
    capture.window = nullptr;
    followRawMotionNeed();
    if (sessionNotes) WTSUnRegisterSessionNotification(window);
    if (window) DestroyWindow(window);
    UnregisterClassW(windowClass.lpszClassName, instance);
    capture.loopThread = 0;
    capture.stopRequested = false;
    capture.handlers = CaptureHandlers{};
}

void stopCaptureLoop() {
    capture.stopRequested = true;
    DWORD thread = capture.loopThread;
    if (thread) PostThreadMessageW(thread, WM_QUIT, 0, 0);
}

// The hooks decide event by event: nothing is grabbed ahead. What is followed is whether raw
// motion is wanted.
void wakeCaptureLoop() {
    DWORD thread = capture.loopThread;
    if (thread) PostThreadMessageW(thread, kWakeMessage, 0, 0);
}

namespace win32 {

int captureHookInstalls() {
    return capture.hookInstalls.load();
}

}  // namespace win32

}  // namespace plat
