// A window of the Windows test build that reports what input reaches it, one line per event on
// standard output, for the end-to-end scenario under Wine:
//   wine_target.exe TITLE X Y WIDTH HEIGHT
// Lines: "ready" once shown, "button down|up left|right|middle", "key down|up SCANCODE" (the scan
// code, since Wine leaves the virtual-key code 0 for input sent by scan code). Runs until closed.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void report(const char* text) {
    std::printf("%s\n", text);
    std::fflush(stdout);
}

void reportKey(const char* what, LPARAM lParam) {
    std::printf("key %s %u\n", what, static_cast<unsigned>((lParam >> 16) & 0xff));
    std::fflush(stdout);
}

LRESULT CALLBACK targetProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_LBUTTONDOWN:
            report("button down left");
            return 0;
        case WM_LBUTTONUP:
            report("button up left");
            return 0;
        case WM_RBUTTONDOWN:
            report("button down right");
            return 0;
        case WM_RBUTTONUP:
            report("button up right");
            return 0;
        case WM_MBUTTONDOWN:
            report("button down middle");
            return 0;
        case WM_MBUTTONUP:
            report("button up middle");
            return 0;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            reportKey("down", lParam);
            return 0;
        case WM_KEYUP:
        case WM_SYSKEYUP:
            reportKey("up", lParam);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: wine_target TITLE X Y WIDTH HEIGHT\n");
        return 2;
    }
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &targetProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"RavelinScenarioTarget";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExA(0, "RavelinScenarioTarget", argv[1], WS_POPUP | WS_VISIBLE,
                                  std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                                  std::atoi(argv[5]), nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    SetForegroundWindow(window);
    SetFocus(window);
    report("ready");
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
