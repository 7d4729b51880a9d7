// The test page host's window on Windows: a plain top-level window of a class of its own, the
// thread's message loop, jobs posted to the window as messages, and the process's standard input and
// output as lines (ReadFile and WriteFile on the standard handles, so no text-mode translation).
// Linked into Ravelin-headless.exe only.
#include <windows.h>

#include <string>

#include "platform/platform.h"

namespace plat {

namespace {

constexpr UINT kJobMessage = WM_APP + 1;  // wParam: the function, lParam: its argument
constexpr UINT kQuitMessage = WM_APP + 2;
constexpr wchar_t kClassName[] = L"RavelinPageHost";

HWND hwnd(WindowHandle window) {
    return static_cast<HWND>(window);
}

LRESULT CALLBACK hostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kJobMessage:
            reinterpret_cast<void (*)(void*)>(wParam)(reinterpret_cast<void*>(lParam));
            return 0;
        case kQuitMessage:
            PostQuitMessage(0);
            return 0;
        case WM_DESTROY:
            // The window goes when the user closes it (WM_CLOSE's default), and its loop with it.
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

std::wstring wide(const std::string& text) {
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), length);
    return out;
}

}  // namespace

WindowHandle hostCreateWindow() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &hostWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
    HWND window = CreateWindowExW(0, kClassName, L"", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 800,
                                  600, nullptr, nullptr, instance, nullptr);
    if (!window) return nullptr;
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    return window;
}

void hostSetTitle(WindowHandle window, const std::string& title) {
    if (window) SetWindowTextW(hwnd(window), wide(title).c_str());
}

void hostSetClientSize(WindowHandle window, int32_t width, int32_t height) {
    if (!window || width <= 0 || height <= 0) return;
    RECT rect{0, 0, width, height};
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(hwnd(window), GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(hwnd(window), GWL_EXSTYLE));
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    SetWindowPos(hwnd(window), nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void hostRun(WindowHandle window) {
    if (!window) return;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void hostQuit(WindowHandle window) {
    if (window) PostMessageW(hwnd(window), kQuitMessage, 0, 0);
}

bool hostPost(WindowHandle window, void (*fn)(void*), void* arg) {
    if (!window || !IsWindow(hwnd(window))) return false;
    return PostMessageW(hwnd(window), kJobMessage, reinterpret_cast<WPARAM>(fn),
                        reinterpret_cast<LPARAM>(arg)) != 0;
}

void hostRequestClose(WindowHandle window) {
    if (window) PostMessageW(hwnd(window), WM_CLOSE, 0, 0);
}

void hostDestroyWindow(WindowHandle window) {
    if (window && IsWindow(hwnd(window))) DestroyWindow(hwnd(window));
}

size_t hostReadInput(char* buffer, size_t size) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD read = 0;
    if (input == nullptr || input == INVALID_HANDLE_VALUE ||
        !ReadFile(input, buffer, static_cast<DWORD>(size), &read, nullptr))
        return 0;
    return read;
}

void hostWriteLine(const std::string& line) {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE) return;
    const std::string text = line + "\n";
    DWORD done = 0;
    while (done < text.size()) {
        DWORD written = 0;
        if (!WriteFile(output, text.data() + done, static_cast<DWORD>(text.size() - done), &written,
                       nullptr) ||
            written == 0)
            return;
        done += written;
    }
}

}  // namespace plat
