// Sign-out, restart and shutdown on Windows, under Wine: the page host (the whole program but the
// browser) gets WM_QUERYENDSESSION and WM_ENDSESSION as the system sends them to its main window. By
// the time WM_ENDSESSION is answered, after which Windows may end the process at any moment, the
// change made just before is in the session file and the pipe is let go.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32/pipe_name.h"

namespace {

std::string exeFolder() {
    std::string path = plat::exePath();
    return path.substr(0, path.find_last_of("\\/"));
}

std::string fileText(const std::string& path) {
    return plat::readFile(path).value_or("");
}

bool pipeThere() {
    HANDLE pipe =
        CreateFileA(plat::sessionPipeName().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_PIPE_BUSY;
    CloseHandle(pipe);
    return true;
}

// Reads one line the host wrote on its standard output.
std::string readLine(HANDLE output) {
    std::string line;
    char c = 0;
    DWORD got = 0;
    while (ReadFile(output, &c, 1, &got, nullptr) && got == 1 && c != '\n') line += c;
    return line;
}

TEST(SessionEnd, TheLastChangeIsSavedAndThePipeLetGoBeforeTheEndIsAnswered) {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    const std::string folder = std::string(base) + "ravelin-end-" + std::to_string(GetCurrentProcessId()) +
                               "-" + std::to_string(GetTickCount64());
    const std::string data = folder + "\\data";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    CreateDirectoryA(data.c_str(), nullptr);
    CreateDirectoryA((folder + "\\ui").c_str(), nullptr);
    const std::string program = folder + "\\Ravelin-headless.exe";
    ASSERT_TRUE(CopyFileA((exeFolder() + "\\..\\Ravelin-headless.exe").c_str(), program.c_str(), FALSE));
    ASSERT_TRUE(CopyFileA((exeFolder() + "\\..\\ui\\index.html").c_str(),
                          (folder + "\\ui\\index.html").c_str(), FALSE));
    SetEnvironmentVariableA("LOCALAPPDATA", data.c_str());

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE inRead, inWrite, outRead, outWrite;
    ASSERT_TRUE(CreatePipe(&inRead, &inWrite, &inherit, 0));
    ASSERT_TRUE(CreatePipe(&outRead, &outWrite, &inherit, 0));
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead;
    startup.hStdOutput = outWrite;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    std::string line = "\"" + program + "\"";
    ASSERT_TRUE(
        CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process));
    CloseHandle(inRead);
    CloseHandle(outWrite);

    // A change, answered (so made), then the window the system would tell.
    const std::string call = "updateSpammer [0,0,0,444,0,0,1,10,0]\n";
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(inWrite, call.data(), static_cast<DWORD>(call.size()), &written, nullptr));
    EXPECT_EQ(readLine(outRead), "\"\"");
    HWND window = nullptr;
    for (int i = 0; i < 500 && !window; ++i, Sleep(20))
        window = FindWindowW(nullptr, L"Ravelin (Veltra Edition)");
    ASSERT_NE(window, nullptr);
    // The window is watched once its preferences are applied; the pipe is up once it answers.
    for (int i = 0; i < 500 && !pipeThere(); ++i) Sleep(20);
    ASSERT_TRUE(pipeThere());
    Sleep(300);
    const std::string session = data + "\\Tapforge\\session.mcr";
    ASSERT_EQ(fileText(session).find("SETTINGS:0,0,0,444,"), std::string::npos) << "saved before the end";

    DWORD_PTR answer = 0;
    ASSERT_TRUE(
        SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 10000, &answer));
    EXPECT_NE(answer, 0u) << "the end of the session was refused";
    ASSERT_TRUE(
        SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_BLOCK, 20000, &answer));
    // Here Windows may end the process: what matters must already be done.
    EXPECT_EQ(fileText(session).rfind("SETTINGS:0,0,0,444,", 0), 0u) << fileText(session);
    EXPECT_FALSE(pipeThere());

    // Left alone (as Wine does), it ends by itself, as when the window closes.
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 20000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    EXPECT_EQ(code, 0u);
    TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(inWrite);
    CloseHandle(outRead);
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
