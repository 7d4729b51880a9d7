// The main instance's life on Windows, under Wine: the single-instance claim across processes, a
// second Ravelin.exe bringing the running instance's window back and leaving without writing, and the
// crash save on the ways of dying that do not pass the unhandled-exception filter.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "wine_window.h"

namespace {

std::string temporaryFolder() {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    std::string path = std::string(base) + "ravelin-life-" + std::to_string(GetCurrentProcessId()) + "-" +
                       std::to_string(GetTickCount64());
    CreateDirectoryA(path.c_str(), nullptr);
    return path;
}

std::string exeFolder() {
    std::string path = plat::exePath();
    return path.substr(0, path.find_last_of("\\/"));
}

// Runs a program to its end (at most `seconds`); its exit code, or -1 when it had to be stopped.
// Window messages of this thread are served meanwhile, so the program may act on its windows.
long runToEnd(const std::string& commandLine, int seconds) {
    std::string line = commandLine;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -2;
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
    DWORD waited = WAIT_TIMEOUT;
    while (GetTickCount64() < end) {
        waited = MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, 100, QS_ALLINPUT);
        if (waited == WAIT_OBJECT_0) break;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    DWORD code = 0;
    if (waited != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 5000);
    }
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return waited == WAIT_OBJECT_0 ? static_cast<long>(code) : -1;
}

std::string self() {
    return "\"" + plat::exePath() + "\"";
}

// ---- one main instance ----------------------------------------------------------------------------

// Another program's object of another kind under the claim's name: no start runs unguarded beside
// it, each is refused with words for the user. Before this process claims for the tests below.
TEST(SingleInstance, AnObjectOfAnotherKindUnderTheNameRefusesTheClaim) {
    HANDLE squatter = CreateEventW(nullptr, TRUE, FALSE, L"Local\\TapmillMainInstance");
    ASSERT_NE(squatter, nullptr);
    EXPECT_EQ(runToEnd(self() + " --claim-child", 30), 2);
    EXPECT_EQ(runToEnd(self() + " --claim-child", 30), 2);
    CloseHandle(squatter);
    EXPECT_EQ(runToEnd(self() + " --claim-child", 30), 0);
}

TEST(SingleInstance, ClaimIsHeldAcrossProcessesUntilItsHolderEnds) {
    // Nobody holds it: a child claims it, and lets go by ending.
    EXPECT_EQ(runToEnd(self() + " --claim-child", 30), 0);
    EXPECT_EQ(runToEnd(self() + " --claim-child", 30), 0);
    ASSERT_TRUE(plat::claimMainInstance());
    EXPECT_TRUE(plat::claimMainInstance()) << "a holder's own second claim";
    EXPECT_EQ(runToEnd(self() + " --claim-child", 30), 1) << "claimed while this process holds it";
}

TEST(SingleInstance, SecondProgramStartRestoresTheRunningWindowAndWritesNothing) {
    ASSERT_TRUE(plat::claimMainInstance());
    target::Window running(100, 100, 300, 200);
    ASSERT_NE(running.handle(), nullptr);
    SetWindowTextW(running.handle(), L"Ravelin (Veltra Edition)");
    ShowWindow(running.handle(), SW_MINIMIZE);
    for (int i = 0; i < 100 && !IsIconic(running.handle()); ++i) Sleep(10);
    ASSERT_TRUE(IsIconic(running.handle()));

    const std::string data = temporaryFolder();
    SetEnvironmentVariableA("LOCALAPPDATA", data.c_str());
    const std::string program = exeFolder() + "\\..\\Ravelin.exe";
    ASSERT_NE(GetFileAttributesA(program.c_str()), INVALID_FILE_ATTRIBUTES) << program;
    EXPECT_EQ(runToEnd("\"" + program + "\"", 60), 0);

    EXPECT_FALSE(IsIconic(running.handle())) << "the running instance's window was not restored";
    EXPECT_EQ(GetFileAttributesA((data + "\\Tapforge").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the second instance made its data folder";
    for (const char* file : {"appsettings.txt", "status.txt", "theme.txt"})
        EXPECT_EQ(GetFileAttributesA((exeFolder() + "\\..\\" + file).c_str()), INVALID_FILE_ATTRIBUTES)
            << file;
    RemoveDirectoryA(data.c_str());
}

// ---- crash save on the ways of dying the exception filter never sees -------------------------------

std::string crashMarker;
void onCrash() {
    auto previous = plat::readFile(crashMarker);
    plat::writeFile(crashMarker, previous.value_or("") + "saved;");
}

[[noreturn]] void crashChild(const std::string& how, const char* marker) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    crashMarker = marker;
    plat::installCrashHandler(&onCrash);
    if (how == "throw") std::thread([] { throw std::runtime_error("nobody catches this"); }).join();
    if (how == "abort") std::abort();
    ExitProcess(0);
}

TEST(CrashHandler, UncaughtExceptionAndAbortSaveOnceAndStillEndTheProcess) {
    for (const char* how : {"throw", "abort"}) {
        SCOPED_TRACE(how);
        const std::string folder = temporaryFolder();
        const std::string marker = folder + "\\crash.txt";
        const long code = runToEnd(self() + " --crash-child " + how + " \"" + marker + "\"", 60);
        EXPECT_NE(code, -1) << "still running";
        EXPECT_NE(code, 0);
        EXPECT_EQ(plat::readFile(marker), "saved;");
        DeleteFileA(marker.c_str());
        RemoveDirectoryA(folder.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--claim-child")
        return plat::claimMainInstance() ? 0 : plat::mainInstanceProblem().empty() ? 1 : 2;
    if (argc == 4 && std::string(argv[1]) == "--crash-child") crashChild(argv[2], argv[3]);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
