// Windows capture loop: low-level keyboard and mouse hooks for every key and button event, and raw
// input on a message-only window for the mouse's own relative motion. Everything runs on the thread
// that calls runCaptureLoop; the hooks hand each event to the portable handlers.
#include <windows.h>

#include <atomic>

#include "platform/platform.h"

namespace plat {

namespace {

struct CaptureState {
    CaptureHandlers handlers{};        // written before the hooks exist, read only by them
    std::atomic<DWORD> loopThread{0};  // the running loop's thread, 0 when none
    std::atomic<bool> stopRequested{false};
};
CaptureState capture;

constexpr LRESULT kSwallow = 1;

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
    RAWINPUTDEVICE mouse{1, 2, RIDEV_INPUTSINK, window};
    bool rawInput = window && RegisterRawInputDevices(&mouse, 1, sizeof mouse);
    HHOOK mouseHookHandle = SetWindowsHookExW(WH_MOUSE_LL, &mouseHook, instance, 0);
    HHOOK keyboardHookHandle = SetWindowsHookExW(WH_KEYBOARD_LL, &keyboardHook, instance, 0);

    if (!capture.stopRequested) {
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }

    if (mouseHookHandle) UnhookWindowsHookEx(mouseHookHandle);
    if (keyboardHookHandle) UnhookWindowsHookEx(keyboardHookHandle);
    if (rawInput) {
        RAWINPUTDEVICE remove{1, 2, RIDEV_REMOVE, nullptr};
        RegisterRawInputDevices(&remove, 1, sizeof remove);
    }
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

// The hooks decide event by event: nothing is grabbed ahead, so there is no plan to follow.
void wakeCaptureLoop() {}

}  // namespace plat
