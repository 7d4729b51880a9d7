// Windows capture loop: low-level keyboard and mouse hooks for every key and button event, and raw
// input on a message-only window for the mouse's own relative motion, registered only while it is
// wanted. Everything runs on the thread that calls runCaptureLoop; the hooks hand each event to the
// portable handlers.
#include <windows.h>

#include <atomic>

#include "platform/platform.h"

namespace plat {

namespace {

struct CaptureState {
    CaptureHandlers handlers{};        // written before the hooks exist, read only by them
    std::atomic<DWORD> loopThread{0};  // the running loop's thread, 0 when none
    std::atomic<bool> stopRequested{false};
    HWND rawWindow = nullptr;  // capture thread only, like the registration's state
    bool rawRegistered = false;
};
CaptureState capture;

constexpr LRESULT kSwallow = 1;
// Posted to the loop's thread by wakeCaptureLoop.
constexpr UINT kWakeMessage = WM_APP + 1;

// Raw input for the whole run would wake this thread for every packet of a 1 to 8 kHz mouse; it is
// registered while relative motion is recorded and removed again after.
void followRawMotionNeed() {
    const bool wanted = capture.rawWindow && capture.handlers.rawMotion &&
                        (!capture.handlers.rawMotionWanted || capture.handlers.rawMotionWanted());
    if (wanted == capture.rawRegistered) return;
    if (wanted) {
        RAWINPUTDEVICE mouse{1, 2, RIDEV_INPUTSINK, capture.rawWindow};
        capture.rawRegistered = RegisterRawInputDevices(&mouse, 1, sizeof mouse) != 0;
    } else {
        RAWINPUTDEVICE remove{1, 2, RIDEV_REMOVE, nullptr};
        RegisterRawInputDevices(&remove, 1, sizeof remove);
        capture.rawRegistered = false;
    }
}

LRESULT CALLBACK keyboardHook(int code, WPARAM message, LPARAM data) {
    if (code >= 0 && capture.handlers.key) {
        const auto* record = reinterpret_cast<const KBDLLHOOKSTRUCT*>(data);
        KeyEvent event{static_cast<int32_t>(record->vkCode),
                       message == WM_KEYDOWN || message == WM_SYSKEYDOWN,
                       (record->flags & LLKHF_INJECTED) != 0};
        if (capture.handlers.key(event)) return kSwallow;
    }
    return CallNextHookEx(nullptr, code, message, data);
}

LRESULT CALLBACK mouseHook(int code, WPARAM message, LPARAM data) {
    if (code >= 0) followRawMotionNeed();
    if (code >= 0 && capture.handlers.mouse) {
        const auto* record = reinterpret_cast<const MSLLHOOKSTRUCT*>(data);
        MouseEvent event{static_cast<uint32_t>(message), record->pt.x, record->pt.y,
                         static_cast<uint32_t>(record->mouseData), (record->flags & LLMHF_INJECTED) != 0};
        if (capture.handlers.mouse(event)) return kSwallow;
    }
    return CallNextHookEx(nullptr, code, message, data);
}

LRESULT CALLBACK rawInputWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
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

    // Set-up failures are not fatal: what depends on the missing piece silently does nothing.
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &rawInputWindow;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"RawInputHiddenWindow";
    RegisterClassExW(&windowClass);
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  instance, nullptr);
    capture.rawWindow = window;
    followRawMotionNeed();
    HHOOK mouseHookHandle = SetWindowsHookExW(WH_MOUSE_LL, &mouseHook, instance, 0);
    HHOOK keyboardHookHandle = SetWindowsHookExW(WH_KEYBOARD_LL, &keyboardHook, instance, 0);

    if (!capture.stopRequested) {
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (!message.hwnd && message.message == kWakeMessage) {
                followRawMotionNeed();
                continue;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }

    if (mouseHookHandle) UnhookWindowsHookEx(mouseHookHandle);
    if (keyboardHookHandle) UnhookWindowsHookEx(keyboardHookHandle);
    capture.rawWindow = nullptr;
    followRawMotionNeed();
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

}  // namespace plat
