// Another program's injected input, as a remapping tool, the on-screen keyboard or a script sends
// it: send_input.exe KEY... presses and releases each virtual-key code (decimal) through SendInput,
// by virtual-key and scan code, with no extra information. "x1" / "x2" click the first / second side
// button instead. Exit code: the number of records the system refused.
#include <windows.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    int refused = 0;
    for (int i = 1; i < argc; ++i) {
        INPUT records[2]{};
        if (std::strcmp(argv[i], "x1") == 0 || std::strcmp(argv[i], "x2") == 0) {
            const DWORD button = argv[i][1] == '1' ? XBUTTON1 : XBUTTON2;
            for (int r = 0; r < 2; ++r) {
                records[r].type = INPUT_MOUSE;
                records[r].mi.mouseData = button;
                records[r].mi.dwFlags = r == 0 ? MOUSEEVENTF_XDOWN : MOUSEEVENTF_XUP;
            }
        } else {
            const WORD vk = static_cast<WORD>(std::atoi(argv[i]));
            for (int r = 0; r < 2; ++r) {
                records[r].type = INPUT_KEYBOARD;
                records[r].ki.wVk = vk;
                records[r].ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
                records[r].ki.dwFlags = r == 0 ? 0 : KEYEVENTF_KEYUP;
            }
        }
        refused += 2 - static_cast<int>(SendInput(2, records, sizeof(INPUT)));
        Sleep(20);
    }
    return refused;
}
