// What the program says when the browser cannot start, under Wine (which has no WebView2 Runtime):
// the runtime is looked up where its installer registers it, and with a runtime there the message
// names its version and, when it is the cause, the browser's data folder that cannot be written.
// The registry keys are written in the test's own Wine prefix.
#include <shlobj.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32/browser_check.h"
#include "platform/win32/wide_text.h"

namespace {

const wchar_t* kKey = L"Software\\Microsoft\\EdgeUpdate\\Clients\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";

void registerVersion(const wchar_t* version) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"pv", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                   static_cast<DWORD>((wcslen(version) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

std::wstring dataFolder() {
    wchar_t* appData = nullptr;
    SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &appData);
    std::wstring path = appData;
    CoTaskMemFree(appData);
    std::string exe = plat::exePath();
    return path + L"\\" + plat::toWide(exe.substr(exe.find_last_of("\\/") + 1));
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(BrowserFailure, NamesAMissingRuntimeOrTheInstalledOnesVersionAndWhatStoppedIt) {
    RegDeleteKeyW(HKEY_CURRENT_USER, kKey);
    EXPECT_EQ(plat::webviewRuntimeVersion(), "");
    std::string text = plat::browserFailureText();
    EXPECT_TRUE(has(text, "WebView2 Runtime") && has(text, "not installed")) << text;

    registerVersion(L"0.0.0.0");  // what the updater leaves after removing it
    EXPECT_EQ(plat::webviewRuntimeVersion(), "");

    registerVersion(L"120.0.2210.91");
    EXPECT_EQ(plat::webviewRuntimeVersion(), "120.0.2210.91");
    text = plat::browserFailureText();
    EXPECT_TRUE(has(text, "Runtime 120.0.2210.91 is installed")) << text;
    EXPECT_FALSE(has(text, "not installed")) << text;
    EXPECT_TRUE(has(text, "Repair")) << text;

    // A file where the browser's data folder belongs: nothing can be written there.
    const std::wstring folder = dataFolder();
    RemoveDirectoryW(folder.c_str());
    HANDLE blocker = CreateFileW(folder.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(blocker, INVALID_HANDLE_VALUE);
    CloseHandle(blocker);
    text = plat::browserFailureText();
    EXPECT_TRUE(has(text, "data folder cannot be written")) << text;
    EXPECT_TRUE(has(text, plat::toUtf8(folder))) << text;

    DeleteFileW(folder.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, kKey);
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
