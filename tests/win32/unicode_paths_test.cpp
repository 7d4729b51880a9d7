// Files, the data folder, the session, libraries and child processes in folders whose names are
// not in any one code page (Polish and Japanese together), under Windows or Wine. Paths are UTF-8
// inside the program.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/wide_text.h"
#include "state/session_file.h"
#include "state/state.h"

namespace {

const std::string kFolderName = "\xC5\x81ukasz \xE6\x97\xA5\xE6\x9C\xAC";  // "Łukasz 日本"

// A fresh folder with that name under the temporary folder, removed with its contents at the end
// (through the wide functions directly, not through the code under test).
class UnicodeFolder {
  public:
    UnicodeFolder() {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        path_ = plat::toUtf8(std::wstring(base)) + kFolderName + " " + std::to_string(GetCurrentProcessId()) +
                "-" + std::to_string(GetTickCount64());
        EXPECT_TRUE(CreateDirectoryW(plat::toWide(path_).c_str(), nullptr));
    }
    ~UnicodeFolder() { removeTree(plat::toWide(path_)); }
    std::string file(const std::string& name) const { return path_ + "\\" + name; }
    const std::string& path() const { return path_; }

  private:
    static void removeTree(const std::wstring& folder) {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = found.cFileName;
                if (name == L"." || name == L"..") continue;
                std::wstring full = folder + L"\\" + name;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    removeTree(full);
                } else {
                    DeleteFileW(full.c_str());
                }
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(folder.c_str());
    }
    std::string path_;
};

bool existsWide(const std::string& utf8Path) {
    return GetFileAttributesW(plat::toWide(utf8Path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

TEST(UnicodePaths, FilesAreWrittenReadReplacedMovedAndRemoved) {
    UnicodeFolder folder;
    std::string sub = folder.file("\xD0\x94\xD0\xB0\xD0\xBD\xD0\xBD\xD1\x8B\xD0\xB5");  // "Данные"
    ASSERT_TRUE(plat::createDirectory(sub));
    EXPECT_TRUE(plat::pathExists(sub));
    // The very name the program asked for, not a code-page approximation of it.
    EXPECT_TRUE(existsWide(sub));

    std::string file = sub + "\\s\xC3\xA9ssion \xF0\x9F\x98\x80.mcr";  // "séssion 😀.mcr"
    ASSERT_TRUE(plat::writeFile(file, "first"));
    EXPECT_TRUE(existsWide(file));
    EXPECT_EQ(plat::readFile(file), "first");

    std::string temporary = file + ".tmp";
    ASSERT_TRUE(plat::writeFile(temporary, "second"));
    ASSERT_TRUE(plat::replaceFile(temporary, file));
    EXPECT_EQ(plat::readFile(file), "second");
    EXPECT_FALSE(plat::pathExists(temporary));

    std::string moved = folder.file("\xE7\xA7\xBB\xE5\x8B\x95.mcr");  // "移動.mcr"
    ASSERT_TRUE(plat::moveFile(file, moved));
    EXPECT_EQ(plat::readFile(moved), "second");
    EXPECT_TRUE(plat::removeFile(moved));
    EXPECT_FALSE(existsWide(moved));
}

// The macro library lists its folder and looks at each file's size and time before reading it.
TEST(UnicodePaths, FoldersAreListedWithTheirFilesSizesAndTimes) {
    UnicodeFolder folder;
    const std::string name = "\xC3\xA9t\xC3\xA9 \xE6\x97\xA5.rvm";  // "été 日.rvm"
    ASSERT_TRUE(plat::writeFile(folder.file(name), "12345"));
    ASSERT_TRUE(plat::createDirectory(folder.file("sub")));
    EXPECT_EQ(plat::listFiles(folder.path()), std::vector<std::string>{name});
    plat::FileInfo info;
    ASSERT_TRUE(plat::fileInfo(folder.file(name), info));
    EXPECT_EQ(info.size, 5u);
    EXPECT_LT(std::llabs(info.modified - static_cast<int64_t>(std::time(nullptr))), 120);
    EXPECT_FALSE(plat::fileInfo(folder.file("sub"), info));
    EXPECT_FALSE(plat::fileInfo(folder.file("none"), info));
    EXPECT_TRUE(plat::listFiles(folder.file("none")).empty());
}

TEST(UnicodePaths, PathsWithAnEmbeddedNulAreRefused) {
    UnicodeFolder folder;
    // Without the check, every call would act on the folder itself or on "a".
    std::string cut = folder.file(std::string("a\0b.txt", 7));
    EXPECT_FALSE(plat::writeFile(cut, "x"));
    EXPECT_FALSE(plat::pathExists(folder.path() + std::string("\0", 1)));
    EXPECT_FALSE(plat::createDirectory(cut));
    EXPECT_EQ(plat::readFile(cut), std::nullopt);
    EXPECT_FALSE(existsWide(folder.file("a")));
}

TEST(UnicodePaths, EnvironmentValuesComeBackAsUtf8) {
    const std::string value = "C:\\users\\" + kFolderName + "\\AppData\\Local";
    ASSERT_TRUE(SetEnvironmentVariableW(L"RAVELIN_UNICODE_TEST", plat::toWide(value).c_str()));
    EXPECT_EQ(plat::environment("RAVELIN_UNICODE_TEST"), value);
    SetEnvironmentVariableW(L"RAVELIN_UNICODE_TEST", nullptr);
}

TEST(UnicodePaths, SessionIsSavedAndLoadedInAUnicodeDataFolder) {
    UnicodeFolder folder;
    wchar_t saved[4096];
    DWORD savedLength = GetEnvironmentVariableW(L"LOCALAPPDATA", saved, 4096);
    ASSERT_TRUE(SetEnvironmentVariableW(L"LOCALAPPDATA", plat::toWide(folder.path()).c_str()));

    rv::resetStateForTests();
    EXPECT_EQ(rv::dataFolder(), folder.path() + "\\Tapforge");
    rv::prepareSessionPath();
    EXPECT_TRUE(existsWide(folder.path() + "\\Tapforge"));
    rv::sms = 321;
    {
        std::lock_guard<std::mutex> lock(rv::profilesLock);
        rv::profiles.push_back(rv::Profile{"Profil \xC5\x81\xC3\xB3\xC5\xBA", "", {}});
    }
    rv::saveSession();
    EXPECT_TRUE(existsWide(folder.path() + "\\Tapforge\\session.mcr"));

    rv::resetStateForTests();
    rv::prepareSessionPath();
    ASSERT_TRUE(rv::loadSession());
    EXPECT_EQ(rv::sms.load(), 321);
    {
        std::lock_guard<std::mutex> lock(rv::profilesLock);
        ASSERT_EQ(rv::profiles.size(), 1u);
        EXPECT_EQ(rv::profiles[0].name, "Profil \xC5\x81\xC3\xB3\xC5\xBA");
    }

    if (savedLength > 0 && savedLength < 4096) SetEnvironmentVariableW(L"LOCALAPPDATA", saved);
    rv::resetStateForTests();
}

TEST(UnicodePaths, LibrariesLoadFromAUnicodeFolder) {
    auto shipped = plat::environment("RAVELIN_WEBVIEW_DLL");
    if (!shipped) GTEST_SKIP() << "RAVELIN_WEBVIEW_DLL not set";
    UnicodeFolder folder;
    std::string copy = folder.file("webview.dll");
    ASSERT_TRUE(CopyFileW(plat::toWide(*shipped).c_str(), plat::toWide(copy).c_str(), TRUE));
    void* library = plat::openLibrary(copy);
    ASSERT_NE(library, nullptr);
    EXPECT_NE(plat::librarySymbol(library, "webview_create"), nullptr);
    FreeLibrary(static_cast<HMODULE>(library));
}

// A panel instance is this same program started from its own folder: a copy of the system's command
// interpreter stands in for it, and its exit code shows that it ran with the arguments given.
TEST(UnicodePaths, ProcessesStartFromAUnicodeFolder) {
    UnicodeFolder folder;
    wchar_t system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    std::string program = folder.file("Ravelin \xE6\x97\xA5.exe");
    ASSERT_TRUE(
        CopyFileW((std::wstring(system) + L"\\cmd.exe").c_str(), plat::toWide(program).c_str(), TRUE));

    plat::ProcessHandle process = plat::startProcess(program, "/c exit 7");
    ASSERT_NE(process, nullptr);
    ASSERT_EQ(WaitForSingleObject(static_cast<HANDLE>(process), 20000), WAIT_OBJECT_0);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(static_cast<HANDLE>(process), &code));
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(plat::processStatus(process), plat::ProcessStatus::Ended);
    plat::closeProcess(process);
}

// The whole program installed in "C:\users\Łukasz 日本\Ravelin" with its data folder under the same
// user: it loads its webview library from there (so it gets as far as Wine's missing WebView2
// Runtime, whose box it shows), and moves the session found beside it into the data folder.
TEST(UnicodePaths, ProgramStartsAndMovesItsSessionInUnicodeFolders) {
    auto shipped = plat::environment("RAVELIN_WEBVIEW_DLL");
    if (!shipped) GTEST_SKIP() << "RAVELIN_WEBVIEW_DLL not set";
    std::wstring build = plat::toWide(shipped->substr(0, shipped->find_last_of('\\')));
    wchar_t drive[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryW(drive, MAX_PATH), 0u);
    std::wstring user = std::wstring(drive, 2) + L"\\users\\" + plat::toWide(kFolderName) + L" program";
    std::wstring install = user + L"\\Ravelin", local = user + L"\\AppData\\Local";
    for (const std::wstring& folder : {user, install, install + L"\\ui", user + L"\\AppData", local}) {
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    }
    for (const wchar_t* file : {L"\\Ravelin.exe", L"\\webview.dll", L"\\ui\\index.html"}) {
        ASSERT_TRUE(CopyFileW((build + file).c_str(), (install + file).c_str(), FALSE));
    }
    const std::string session =
        "SETTINGS:0,0,0,250\r\nCURRENT:0\r\nPROFILE:Pr\xC3\xB3"
        "ba \xE6\x97\xA5\r\n";
    ASSERT_TRUE(plat::writeFile(plat::toUtf8(install) + "\\session.mcr", session));

    // The child's environment: this one with LOCALAPPDATA in the new user folder.
    std::wstring environment = L"LOCALAPPDATA=" + local + L'\0';
    wchar_t* own = GetEnvironmentStringsW();
    for (const wchar_t* entry = own; *entry; entry += wcslen(entry) + 1) {
        if (_wcsnicmp(entry, L"LOCALAPPDATA=", 13) != 0) environment += std::wstring(entry) + L'\0';
    }
    FreeEnvironmentStringsW(own);
    environment += L'\0';
    std::wstring program = install + L"\\Ravelin.exe";
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                               CREATE_UNICODE_ENVIRONMENT, environment.data(), nullptr, &startup, &process));

    // Its box, titled "Ravelin": the WebView2 one, not the one about a library that did not load.
    HWND box = nullptr;
    for (int i = 0; i < 600 && !box; ++i) {
        if (WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0) break;
        for (HWND window = FindWindowW(nullptr, L"Ravelin"); window && !box;
             window = FindWindowExW(nullptr, window, nullptr, L"Ravelin")) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == process.dwProcessId) box = window;
        }
    }
    ASSERT_NE(box, nullptr) << "no box from the program";
    wchar_t text[1024] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 1024);
    EXPECT_NE(std::wstring(text).find(L"WebView2 Runtime"), std::wstring::npos) << plat::toUtf8(text);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 20000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    EXPECT_EQ(code, 1u);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    EXPECT_EQ(plat::readFile(plat::toUtf8(local) + "\\Tapforge\\session.mcr"), session);
    EXPECT_FALSE(existsWide(plat::toUtf8(install) + "\\session.mcr"));
    for (const wchar_t* file : {L"\\Ravelin\\Ravelin.exe", L"\\Ravelin\\webview.dll",
                                L"\\Ravelin\\ui\\index.html", L"\\AppData\\Local\\Tapforge\\session.mcr"}) {
        DeleteFileW((user + file).c_str());
    }
    for (const wchar_t* folder : {L"\\Ravelin\\ui", L"\\Ravelin", L"\\AppData\\Local\\Tapforge",
                                  L"\\AppData\\Local", L"\\AppData", L""}) {
        RemoveDirectoryW((user + folder).c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
