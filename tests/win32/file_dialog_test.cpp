// The common item dialog for the macro library's Import and Export, under Windows or Wine: the path
// typed into it (with xdotool, as a user would) is what the program gets, and a macro file goes in
// and out of the library through it; Save asks before it replaces a file; Cancel gives nothing.
#include <windows.h>
// windows.h first
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "platform/win32/wide_text.h"
#include "state/macro_file.h"
#include "state/macro_library.h"
#include "win32/xdotool.h"

namespace {

std::string temporaryFolder() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    std::string folder = plat::toUtf8(std::wstring(base)) + "ravelin-dialog-" +
                         std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64());
    CreateDirectoryW(plat::toWide(folder).c_str(), nullptr);
    return folder;
}

// The top-level window of this process titled `title`, waited for up to five seconds.
HWND waitForWindow(const std::wstring& title) {
    for (int i = 0; i < 500; ++i) {
        if (HWND found = FindWindowW(nullptr, title.c_str()); found && IsWindowVisible(found)) return found;
        Sleep(10);
    }
    return nullptr;
}

// A user at the dialog titled `title`: once it shows, it gets the keyboard and `act` types into it.
// Whatever happens, the dialog is closed within a while, so that a failure never leaves the test
// waiting for it.
class User {
  public:
    User(std::wstring title, std::function<void(HWND)> act)
        : thread_([this, title = std::move(title), act = std::move(act)] {
              HWND dialog = waitForWindow(title);
              seen_ = dialog != nullptr;
              if (!dialog) return;
              // The title as a pattern: any quote in it stands for itself as "." (the helper's command
              // line is in double quotes).
              std::string pattern = plat::toUtf8(title);
              for (char& c : pattern) c = c == '"' ? '.' : c;
              target::xdotool("search --name '^" + pattern + "$' windowfocus");
              Sleep(300);
              act(dialog);
              for (int i = 0; i < 500 && IsWindow(dialog) && !finished_; ++i) Sleep(10);
              if (IsWindow(dialog) && !finished_) PostMessageW(dialog, WM_CLOSE, 0, 0);
          }) {}
    ~User() {
        finished_ = true;
        thread_.join();
    }
    void finished() { finished_ = true; }
    bool sawDialog() const { return seen_; }

  private:
    std::atomic<bool> seen_{false}, finished_{false};
    std::thread thread_;
};

// The test prefix keeps the user's Desktop and Documents as links into the HOME of the run that
// made it; every run has a HOME of its own, so the links point at folders that are gone, and Wine's
// item dialog then fails while it is made (it reads a null folder). While the test runs they are
// the test's own folder, as a profile's registry may say; afterwards as they were. Nothing changes
// where the Desktop is there (real Windows, a sound prefix).
class ShellFolders {
  public:
    explicit ShellFolders(const std::string& folder) {
        PWSTR desktop = nullptr;
        const HRESULT found = SHGetKnownFolderPath(FOLDERID_Desktop, 0, nullptr, &desktop);
        if (desktop) CoTaskMemFree(desktop);
        if (SUCCEEDED(found) || RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                                              &key_) != ERROR_SUCCESS)
            return;
        const std::wstring wide = plat::toWide(folder);
        for (size_t i = 0; i < 2; ++i) {
            wchar_t value[MAX_PATH * 2] = {};
            DWORD size = sizeof value - sizeof(wchar_t);
            had_[i] = RegQueryValueExW(key_, kNames[i], nullptr, nullptr, reinterpret_cast<BYTE*>(value),
                                       &size) == ERROR_SUCCESS;
            saved_[i] = value;
            set(kNames[i], wide);
        }
    }
    ~ShellFolders() {
        if (!key_) return;
        for (size_t i = 0; i < 2; ++i) {
            if (had_[i])
                set(kNames[i], saved_[i]);
            else
                RegDeleteValueW(key_, kNames[i]);
        }
        RegCloseKey(key_);
    }

  private:
    void set(const wchar_t* name, const std::wstring& value) {
        RegSetValueExW(key_, name, 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    static constexpr const wchar_t* kKey =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    static constexpr const wchar_t* kNames[2] = {L"Desktop", L"Personal"};
    HKEY key_ = nullptr;
    bool had_[2] = {false, false};
    std::wstring saved_[2];
};

class FileDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        folder_ = temporaryFolder();
        SetEnvironmentVariableA("LOCALAPPDATA", (folder_ + "\\data").c_str());
        CreateDirectoryW(plat::toWide(folder_ + "\\data").c_str(), nullptr);
        CreateDirectoryW(plat::toWide(folder_ + "\\data\\Tapforge").c_str(), nullptr);
        shellFolders_ = std::make_unique<ShellFolders>(folder_);
        owner_ = CreateWindowExW(0, L"STATIC", L"Dialog owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50, 500,
                                 400, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(owner_, nullptr);
    }
    void TearDown() override {
        if (owner_) DestroyWindow(owner_);
        shellFolders_.reset();
        CoUninitialize();
    }
    // Shows the dialog with `user` at it; returns the path chosen, or nothing when `done` never came.
    std::optional<std::string> show(const plat::FileDialogRequest& request, User& user) {
        std::optional<std::string> chosen;
        const bool shown =
            plat::showFileDialog(owner_, request, [&chosen](const std::string& path) { chosen = path; });
        user.finished();
        EXPECT_TRUE(shown);
        return chosen;
    }
    static plat::FileDialogRequest request(plat::FileDialogRequest::Kind kind, const std::string& title,
                                           const std::string& proposed = "") {
        return plat::FileDialogRequest{kind, title, proposed, "Ravelin macro", "rvm"};
    }
    // Types `text` as keys. Inside the xdotool helper's command line a backslash stays as it is (no
    // quote follows it), and the shell keeps it inside single quotes.
    static void type(const std::string& text) {
        EXPECT_EQ(0, target::xdotool("type --delay 15 '" + text + "'"));
    }

    std::string folder_;
    std::unique_ptr<ShellFolders> shellFolders_;
    HWND owner_ = nullptr;
};

TEST_F(FileDialog, ImportAndExportGoByThePathTypedIntoTheDialog) {
    rv::MacroFile file;
    file.name = "Wave";
    file.events.push_back(rv::MacroEvent{rv::kAbsoluteMove, 0.0, 10, 20, 0, 0, false, 0});
    file.events.push_back(rv::MacroEvent{rv::kAbsoluteMove, 0.25, 30, 40, 0, 0, false, 0});
    std::string text, problem;
    ASSERT_TRUE(rv::writeMacroText(file, text, problem)) << problem;
    const std::string source = folder_ + "\\Wave.rvm";
    ASSERT_TRUE(plat::writeFile(source, text));

    // Import: the path typed into the open dialog's name field.
    User importing(L"Import a macro", [&](HWND) {
        type(source);
        target::xdotool("key Return");
    });
    auto chosen = show(request(plat::FileDialogRequest::Kind::Open, "Import a macro"), importing);
    ASSERT_TRUE(importing.sawDialog());
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(0, _stricmp(source.c_str(), chosen->c_str())) << *chosen;
    std::string name;
    EXPECT_EQ("", rv::importMacro(*chosen, name));
    EXPECT_EQ("Wave", name);

    // Export: the proposed name is replaced by a full path (the whole field selected first).
    const std::string target = folder_ + "\\exported.rvm";
    User exporting(L"Export \"Wave\"", [&](HWND) {
        target::xdotool("key End shift+Home");
        type(target);
        target::xdotool("key Return");
    });
    chosen = show(request(plat::FileDialogRequest::Kind::Save, "Export \"Wave\"", "Wave.rvm"), exporting);
    ASSERT_TRUE(exporting.sawDialog());
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(0, _stricmp(target.c_str(), chosen->c_str())) << *chosen;
    EXPECT_EQ("", rv::exportMacro("Wave", *chosen, true));
    EXPECT_EQ(plat::readFile(source).value_or("source"), plat::readFile(target).value_or("target"));

    // The same file again: the dialog asks first, and only the answer Yes chooses it.
    std::atomic<bool> asked{false};
    User replacing(L"Export \"Wave\"", [&](HWND dialog) {
        target::xdotool("key End shift+Home");
        type(target);
        target::xdotool("key Return");
        Sleep(1000);
        // Still open behind its question.
        asked = IsWindow(dialog) && IsWindowVisible(dialog);
        target::xdotool("key Return");
    });
    chosen = show(request(plat::FileDialogRequest::Kind::Save, "Export \"Wave\"", "Wave.rvm"), replacing);
    EXPECT_TRUE(asked) << "the dialog chose a file that is there without asking";
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(0, _stricmp(target.c_str(), chosen->c_str())) << *chosen;

    // Cancel: no path, and nothing imported.
    User cancelling(L"Import a macro", [](HWND) { target::xdotool("key Escape"); });
    chosen = show(request(plat::FileDialogRequest::Kind::Open, "Import a macro"), cancelling);
    ASSERT_TRUE(cancelling.sawDialog());
    EXPECT_EQ(std::optional<std::string>(""), chosen);
    EXPECT_EQ(1u, rv::listMacros().size());
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
