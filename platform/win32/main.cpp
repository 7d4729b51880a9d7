// Windows entry point: the command line without the program name, as 8-bit text.
#include <windows.h>

#include <string>

#include "app/app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    return rv::ravelinMain(commandLine ? std::string(commandLine) : std::string());
}
