// A plain window on a thread of its own, standing in for another program's window: it records the
// mouse-button and key messages that reach it, so a test can see what an application was given.
#pragma once

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/platform.h"

namespace target {

struct Received {
    UINT message;   // WM_LBUTTONDOWN … WM_MBUTTONUP, WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN, WM_SYSKEYUP
    WPARAM vk;      // key messages: the virtual-key code (0 under Wine for input sent by scan code)
    UINT scanCode;  // key messages: bits 16–23 of lParam
    int64_t ticks;  // plat::ticks() when the window procedure ran
    bool extended;  // key messages: bit 24 of lParam, the extended-key prefix
};

inline UINT scanCodeOf(UINT vk) {
    return MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
}

inline bool isKey(const Received& r) {
    return r.message == WM_KEYDOWN || r.message == WM_KEYUP || r.message == WM_SYSKEYDOWN ||
           r.message == WM_SYSKEYUP;
}

class Window {
  public:
    // A visible borderless window of the given screen rectangle (all client area).
    Window(int x, int y, int width, int height) {
        thread_ = std::thread([this, x, y, width, height] { run(x, y, width, height); });
        for (int i = 0; i < 500 && !ready(); ++i) Sleep(10);
    }
    ~Window() {
        if (threadId_) PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        thread_.join();
    }
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND handle() const { return window_; }

    // Makes it the foreground window with the pointer over its centre, where clicks and keys go.
    // False when either did not take.
    bool takeInput() {
        RECT rect;
        if (!window_ || !GetWindowRect(window_, &rect)) return false;
        POINT centre{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
        for (int i = 0; i < 100; ++i) {
            plat::forceForeground(window_);
            plat::injectAbsoluteMove(centre.x, centre.y);
            Sleep(20);
            POINT at;
            if (GetForegroundWindow() == window_ && GetCursorPos(&at) && WindowFromPoint(at) == window_)
                return true;
        }
        return false;
    }

    std::vector<Received> received() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_;
    }
    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        received_.clear();
    }
    // What has arrived once `done` accepts it, or after `milliseconds`.
    template <typename Done>
    std::vector<Received> waitUntil(Done done, int milliseconds = 3000) const {
        std::vector<Received> now = received();
        for (int waited = 0; waited < milliseconds && !done(now); waited += 10) {
            Sleep(10);
            now = received();
        }
        return now;
    }

  private:
    bool ready() {
        std::lock_guard<std::mutex> lock(mutex_);
        return threadId_ != 0;
    }

    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        bool button = message == WM_LBUTTONDOWN || message == WM_LBUTTONUP || message == WM_RBUTTONDOWN ||
                      message == WM_RBUTTONUP || message == WM_MBUTTONDOWN || message == WM_MBUTTONUP;
        bool key = message == WM_KEYDOWN || message == WM_KEYUP || message == WM_SYSKEYDOWN ||
                   message == WM_SYSKEYUP;
        if (self && (button || key)) {
            std::lock_guard<std::mutex> lock(self->mutex_);
            self->received_.push_back(Received{message, key ? wParam : 0,
                                               key ? static_cast<UINT>((lParam >> 16) & 0xFF) : 0u,
                                               plat::ticks(), key && ((lParam >> 24) & 1) != 0});
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    void run(int x, int y, int width, int height) {
        HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &procedure;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        windowClass.lpszClassName = L"RavelinTestTarget";
        RegisterClassExW(&windowClass);  // fails harmlessly when an earlier window registered it
        HWND window =
            CreateWindowExW(WS_EX_TOPMOST, windowClass.lpszClassName, L"Ravelin test target",
                            WS_POPUP | WS_VISIBLE, x, y, width, height, nullptr, nullptr, instance, this);
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // the queue exists before WM_QUIT can be posted
        {
            std::lock_guard<std::mutex> lock(mutex_);
            window_ = window;
            threadId_ = GetCurrentThreadId();
        }
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (window) DestroyWindow(window);
    }

    std::thread thread_;
    mutable std::mutex mutex_;
    HWND window_ = nullptr;
    DWORD threadId_ = 0;
    std::vector<Received> received_;
};

}  // namespace target
