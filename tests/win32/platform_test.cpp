// The Windows backend's process, file, environment, library, time and browser-settings functions,
// run for real under Windows or Wine.
#include <windows.h>

#include <objbase.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"

namespace {

// A fresh folder under the system's temporary folder, removed with its files at the end.
class TempFolder {
  public:
    TempFolder() {
        char base[MAX_PATH];
        GetTempPathA(MAX_PATH, base);
        path_ = std::string(base) + "ravelin-" + std::to_string(GetCurrentProcessId()) + "-" +
                std::to_string(GetTickCount64());
        EXPECT_TRUE(plat::createDirectory(path_));
    }
    ~TempFolder() {
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA((path_ + "\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    DeleteFileA(file(found.cFileName).c_str());
            } while (FindNextFileA(search, &found));
            FindClose(search);
        }
        RemoveDirectoryA(path_.c_str());
    }
    std::string file(const std::string& name) const { return path_ + "\\" + name; }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

TEST(Files, WriteReadKeepsBytesAndTruncates) {
    TempFolder folder;
    std::string path = folder.file("data.bin");
    const std::string binary("line\r\nnext\n\0\xff\x80 end", 18);
    ASSERT_TRUE(plat::writeFile(path, binary));
    EXPECT_EQ(plat::readFile(path), binary);

    std::string large(200000, 'x');
    for (size_t i = 0; i < large.size(); i += 97) large[i] = static_cast<char>(i);
    ASSERT_TRUE(plat::writeFile(path, large));
    EXPECT_EQ(plat::readFile(path), large);

    ASSERT_TRUE(plat::writeFile(path, "short"));
    EXPECT_EQ(plat::readFile(path), "short");
    ASSERT_TRUE(plat::writeFile(path, ""));
    EXPECT_EQ(plat::readFile(path), std::string());
}

TEST(Files, MissingFilesAndFoldersFailCleanly) {
    TempFolder folder;
    EXPECT_EQ(plat::readFile(folder.file("absent.txt")), std::nullopt);
    EXPECT_FALSE(plat::writeFile(folder.file("no-such-folder\\file.txt"), "x"));
    EXPECT_FALSE(plat::pathExists(folder.file("absent.txt")));
    EXPECT_FALSE(plat::removeFile(folder.file("absent.txt")));
    EXPECT_FALSE(plat::moveFile(folder.file("absent.txt"), folder.file("other.txt")));
    EXPECT_FALSE(plat::replaceFile(folder.file("absent.txt"), folder.file("other.txt")));
}

TEST(Files, FoldersAreCreatedOnceAndExist) {
    TempFolder folder;
    std::string sub = folder.file("sub");
    EXPECT_TRUE(plat::createDirectory(sub));
    EXPECT_FALSE(plat::createDirectory(sub));
    EXPECT_TRUE(plat::pathExists(sub));
    EXPECT_FALSE(plat::createDirectory(folder.file("a\\b")));
    RemoveDirectoryA(sub.c_str());
}

TEST(Files, ReplaceSwapsInContentAndMoveNeverOverwrites) {
    TempFolder folder;
    std::string target = folder.file("session.mcr"), fresh = folder.file("session.tmp");
    ASSERT_TRUE(plat::writeFile(target, "old"));
    ASSERT_TRUE(plat::writeFile(fresh, "new"));
    EXPECT_TRUE(plat::replaceFile(fresh, target));
    EXPECT_EQ(plat::readFile(target), "new");
    EXPECT_FALSE(plat::pathExists(fresh));

    // Replacing onto a name that does not exist yet simply renames.
    ASSERT_TRUE(plat::writeFile(fresh, "first"));
    EXPECT_TRUE(plat::replaceFile(fresh, folder.file("first.mcr")));
    EXPECT_EQ(plat::readFile(folder.file("first.mcr")), "first");

    // A move keeps an existing target (and the source) as they were.
    ASSERT_TRUE(plat::writeFile(fresh, "moved"));
    EXPECT_FALSE(plat::moveFile(fresh, target));
    EXPECT_EQ(plat::readFile(target), "new");
    EXPECT_TRUE(plat::moveFile(fresh, folder.file("moved.mcr")));
    EXPECT_EQ(plat::readFile(folder.file("moved.mcr")), "moved");
    EXPECT_FALSE(plat::pathExists(fresh));

    EXPECT_TRUE(plat::removeFile(target));
    EXPECT_FALSE(plat::pathExists(target));
}

TEST(Files, ReadOnlyIsTheAttributeOfAnExistingFile) {
    TempFolder folder;
    std::string file = folder.file("session.mcr");
    EXPECT_FALSE(plat::isReadOnlyFile(file));  // missing
    EXPECT_FALSE(plat::isReadOnlyFile(folder.path()));
    ASSERT_TRUE(plat::writeFile(file, "kept"));
    EXPECT_FALSE(plat::isReadOnlyFile(file));
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(plat::isReadOnlyFile(file));
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_FALSE(plat::isReadOnlyFile(file));
}

// Why a write failed is told apart (a path that may not be written, a folder that is not there), and
// a write that succeeds clears it.
TEST(Files, AFailedWriteSaysWhy) {
    TempFolder folder;
    std::string file = folder.file("theme.txt");
    ASSERT_TRUE(plat::writeFile(file, "kept"));
    EXPECT_EQ(plat::lastWriteFailure(), plat::WriteFailure::NoFailure);
    EXPECT_FALSE(plat::writeFile(folder.path(), "x"));
    EXPECT_EQ(plat::lastWriteFailure(), plat::WriteFailure::NotAllowed);
    EXPECT_FALSE(plat::writeFile(folder.file("no-such-folder\\file.txt"), "x"));
    EXPECT_EQ(plat::lastWriteFailure(), plat::WriteFailure::Other);
    EXPECT_FALSE(plat::replaceFile(folder.file("absent.txt"), file));
    EXPECT_EQ(plat::lastWriteFailure(), plat::WriteFailure::Other);
    EXPECT_TRUE(plat::removeFile(file));
    EXPECT_EQ(plat::configBase(), std::nullopt);
}

TEST(Environment, ValuesOfAnyLengthUnsetAndEmpty) {
    const char* name = "RAVELIN_PLATFORM_TEST";
    ASSERT_TRUE(SetEnvironmentVariableA(name, "C:\\Users\\someone\\AppData\\Local"));
    EXPECT_EQ(plat::environment(name), "C:\\Users\\someone\\AppData\\Local");

    std::string longValue(5000, 'v');
    longValue += "end";
    ASSERT_TRUE(SetEnvironmentVariableA(name, longValue.c_str()));
    EXPECT_EQ(plat::environment(name), longValue);

    ASSERT_TRUE(SetEnvironmentVariableA(name, ""));
    EXPECT_EQ(plat::environment(name), std::string());

    ASSERT_TRUE(SetEnvironmentVariableA(name, nullptr));
    EXPECT_EQ(plat::environment(name), std::nullopt);
    EXPECT_EQ(plat::defaultDataBase(), ".");
}

TEST(Process, ExePathNamesThisProgram) {
    std::string path = plat::exePath();
    ASSERT_GT(path.size(), 4u);
    EXPECT_TRUE(plat::pathExists(path));
    EXPECT_EQ(CharLowerA(&path[path.find_last_of('\\') + 1]), std::string("platform_test.exe"));
}

TEST(Process, ComIsInitialisedAndUndoneOnlyWhenItWasOurs) {
    std::thread([] {
        ASSERT_TRUE(plat::initProcess());
        // The same apartment again: already initialised by initProcess.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
        CoUninitialize();
        plat::endProcess(true);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        CoUninitialize();
    }).join();
    std::thread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        EXPECT_FALSE(plat::initProcess());
        plat::endProcess(false);
        // The thread's own initialisation is still there.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
        CoUninitialize();
        CoUninitialize();
    }).join();
}

TEST(Process, TheBrowsersArgumentsAreSetUnlessTheUserSetThemAlready) {
    const wchar_t* const name = L"WEBVIEW2_ADDITIONAL_BROWSER_ARGUMENTS";
    const auto value = [name] {
        wchar_t text[512] = L"";
        return GetEnvironmentVariableW(name, text, 512) ? std::wstring(text) : std::wstring(L"(unset)");
    };
    std::thread([&] {
        SetEnvironmentVariableW(name, nullptr);
        plat::endProcess(plat::initProcess());
        const std::wstring ours = value();
        EXPECT_EQ(ours.rfind(L"--", 0), 0u);
        // Another start (a panel inherits them) changes nothing.
        plat::endProcess(plat::initProcess());
        EXPECT_EQ(value(), ours);

        SetEnvironmentVariableW(name, L"--user-choice");
        plat::endProcess(plat::initProcess());
        EXPECT_EQ(value(), L"--user-choice");
        SetEnvironmentVariableW(name, nullptr);
    }).join();
}

TEST(Libraries, LoadAndResolve) {
    char system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryA(system, MAX_PATH), 0u);
    void* kernel = plat::openLibrary(std::string(system) + "\\kernel32.dll");
    ASSERT_NE(kernel, nullptr);
    EXPECT_NE(plat::librarySymbol(kernel, "GetTickCount"), nullptr);
    EXPECT_EQ(plat::librarySymbol(kernel, "NoSuchFunctionAnywhere"), nullptr);
    EXPECT_EQ(plat::librarySymbol(nullptr, "GetTickCount"), nullptr);
    EXPECT_EQ(plat::openLibrary(std::string(system) + "\\no-such-library.dll"), nullptr);
    EXPECT_EQ(plat::openLibrary(""), nullptr);
}

// The webview library as the build ships it; the script that runs this program names it.
TEST(Libraries, WebviewLibraryLoadsWithItsApi) {
    auto path = plat::environment("RAVELIN_WEBVIEW_DLL");
    if (!path) GTEST_SKIP() << "RAVELIN_WEBVIEW_DLL not set";
    void* library = plat::openLibrary(*path);
    ASSERT_NE(library, nullptr) << *path;
    for (const char* name :
         {"webview_create", "webview_get_native_handle", "webview_bind", "webview_return"}) {
        EXPECT_NE(plat::librarySymbol(library, name), nullptr) << name;
    }
}

// A copy of the webview library whose import of the system's VERSION.dll is renamed to planted.dll,
// the library that the build puts beside this program and that marks every load of itself with a
// file planted.dll.loaded. The loader must not take it from the program's folder: the copy does not
// load, the reason names the import, and the planted library never ran.
TEST(Libraries, ImportsComeFromTheSystemFolderOnlyAndAMissingOneIsNamed) {
    auto shipped = plat::environment("RAVELIN_WEBVIEW_DLL");
    if (!shipped) GTEST_SKIP() << "RAVELIN_WEBVIEW_DLL not set";
    std::string programFolder = plat::exePath().substr(0, plat::exePath().find_last_of('\\'));
    std::string marker = programFolder + "\\planted.dll.loaded";
    ASSERT_TRUE(plat::pathExists(programFolder + "\\planted.dll"));
    plat::removeFile(marker);

    auto bytes = plat::readFile(*shipped);
    ASSERT_TRUE(bytes);
    size_t name = bytes->find(std::string("VERSION.dll\0", 12));
    ASSERT_NE(name, std::string::npos);
    bytes->replace(name, 11, "planted.dll");
    TempFolder folder;
    std::string patched = folder.file("webview.dll");
    ASSERT_TRUE(plat::writeFile(patched, *bytes));

    EXPECT_EQ(plat::openLibrary(patched), nullptr);
    EXPECT_FALSE(plat::pathExists(marker)) << "the planted library was loaded";
    plat::LibraryProblem problem = plat::libraryProblem(patched);
    EXPECT_EQ(problem.kind, plat::LibraryProblem::Kind::DependencyMissing);
    EXPECT_EQ(problem.detail, "planted.dll");
    EXPECT_FALSE(plat::pathExists(marker)) << "the planted library was loaded";

    // The unchanged library finds every import in the system folder.
    void* library = plat::openLibrary(*shipped);
    EXPECT_NE(library, nullptr);
    if (library) FreeLibrary(static_cast<HMODULE>(library));

    EXPECT_EQ(plat::libraryProblem(folder.file("absent.dll")).kind, plat::LibraryProblem::Kind::FileMissing);
    std::string cut = folder.file("cut.dll");
    ASSERT_TRUE(plat::writeFile(cut, bytes->substr(0, 300)));
    EXPECT_EQ(plat::openLibrary(cut), nullptr);
    problem = plat::libraryProblem(cut);
    EXPECT_EQ(problem.kind, plat::LibraryProblem::Kind::Other);
    EXPECT_EQ(problem.detail.rfind("Error ", 0), 0u) << problem.detail;
    plat::removeFile(marker);
}

TEST(Time, TicksAreMonotonicAndSleepsLastAboutRight) {
    const double frequency = static_cast<double>(plat::tickFrequency());
    ASSERT_GT(frequency, 0);
    int64_t last = plat::ticks();
    for (int i = 0; i < 10000; ++i) {
        int64_t now = plat::ticks();
        ASSERT_GE(now, last);
        last = now;
    }
    auto seconds = [&](auto sleep) {
        int64_t start = plat::ticks();
        sleep();
        return static_cast<double>(plat::ticks() - start) / frequency;
    };
    plat::raiseTimerResolution();
    double slept = seconds([] { plat::sleepMs(30); });
    EXPECT_GE(slept, 0.025);
    EXPECT_LT(slept, 0.5);
    slept = seconds([] {
        for (int i = 0; i < 20; ++i) plat::sleepUs(500);
    });
    EXPECT_GE(slept, 20 * 0.0004);
    EXPECT_LT(slept, 1.0);
    EXPECT_LT(seconds([] { plat::sleepUs(0); }), 0.05);
    plat::restoreTimerResolution();
}

TEST(Time, NegativeSleepsReturnAtOnce) {
    std::atomic<bool> done{false};
    std::thread sleeper([&] {
        plat::sleepMs(-1);
        plat::sleepUs(-1);
        done = true;
    });
    for (int i = 0; i < 200 && !done; ++i) Sleep(10);
    EXPECT_TRUE(done);
    if (done)
        sleeper.join();
    else
        sleeper.detach();
}

// ---- browser settings through a stand-in of the browser's COM objects ---------------------------

struct FakeBrowser {
    HRESULT getWebView = S_OK, getSettings = S_OK, putMenus = S_OK;
    bool nullWebView = false, offersSettings3 = true;
    std::vector<std::string> calls;
    int references = 0;               // handed out and not yet released
    bool offersMenuEvent = false;     // a runtime with the context menu event
    bool offersMemoryTarget = false;  // a runtime with the memory usage target
    void* menuHandler = nullptr;      // the handler it was given
};

struct FakeObject {
    void** vtable;
    FakeBrowser* browser;
};

constexpr IID kSettings3 = {0xfdb5ab74, 0xaf33, 0x4854, {0x84, 0xf0, 0x0a, 0x63, 0x1d, 0xeb, 0x5e, 0xba}};
constexpr IID kWebView11 = {0x0be78e56, 0xc193, 0x4051, {0xb9, 0x43, 0x23, 0xb4, 0x60, 0xc0, 0x8b, 0xdb}};
constexpr IID kWebView19 = {0x6921f954, 0x79b0, 0x437f, {0xa9, 0x97, 0xc8, 0x58, 0x11, 0x89, 0x7c, 0x68}};

struct FakeVtables {
    void* controller[26];
    void* webView[26];
    void* settings[26];
    void* settings3[26];
    void* webView11[102];
    void* webView19[122];
};
FakeVtables vtables;
FakeObject webViewObject{vtables.webView, nullptr}, settingsObject{vtables.settings, nullptr},
    settings3Object{vtables.settings3, nullptr}, webView11Object{vtables.webView11, nullptr},
    webView19Object{vtables.webView19, nullptr};

HRESULT STDMETHODCALLTYPE wrongSlot(FakeObject* self) {
    self->browser->calls.push_back("wrong slot");
    return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE queryInterface(FakeObject* self, REFIID iid, void** out) {
    *out = nullptr;
    if (self->vtable == vtables.webView && IsEqualIID(iid, kWebView11) && self->browser->offersMenuEvent) {
        ++self->browser->references;
        webView11Object.browser = self->browser;
        *out = &webView11Object;
        return S_OK;
    }
    if (self->vtable == vtables.webView && IsEqualIID(iid, kWebView19) && self->browser->offersMemoryTarget) {
        ++self->browser->references;
        webView19Object.browser = self->browser;
        *out = &webView19Object;
        return S_OK;
    }
    if (self->vtable != vtables.settings || !IsEqualIID(iid, kSettings3) || !self->browser->offersSettings3) {
        return E_NOINTERFACE;
    }
    ++self->browser->references;
    settings3Object.browser = self->browser;
    *out = &settings3Object;
    return S_OK;
}
ULONG STDMETHODCALLTYPE addRef(FakeObject* self) {
    return ++self->browser->references;
}
ULONG STDMETHODCALLTYPE release(FakeObject* self) {
    return --self->browser->references;
}

HRESULT handOut(FakeObject* self, FakeObject& object, HRESULT result, bool null, void** out) {
    if (FAILED(result)) return result;
    object.browser = self->browser;
    if (!null) ++self->browser->references;
    *out = null ? nullptr : &object;
    return result;
}
HRESULT STDMETHODCALLTYPE getCoreWebView2(FakeObject* self, void** out) {
    return handOut(self, webViewObject, self->browser->getWebView, self->browser->nullWebView, out);
}
HRESULT STDMETHODCALLTYPE getSettings(FakeObject* self, void** out) {
    return handOut(self, settingsObject, self->browser->getSettings, false, out);
}
HRESULT STDMETHODCALLTYPE putMenus(FakeObject* self, BOOL on) {
    self->browser->calls.push_back("menus=" + std::to_string(on));
    return self->browser->putMenus;
}
HRESULT STDMETHODCALLTYPE putZoom(FakeObject* self, BOOL on) {
    self->browser->calls.push_back("zoom=" + std::to_string(on));
    return S_OK;
}
HRESULT STDMETHODCALLTYPE putKeys(FakeObject* self, BOOL on) {
    self->browser->calls.push_back("keys=" + std::to_string(on));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE putVisible(FakeObject* self, BOOL on) {
    self->browser->calls.push_back("visible=" + std::to_string(on));
    return S_OK;
}
HRESULT STDMETHODCALLTYPE putMemoryTarget(FakeObject* self, INT32 level) {
    self->browser->calls.push_back("memory=" + std::string(level == 1 ? "low" : level == 0 ? "normal" : "?"));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE addMenuHandler(FakeObject* self, void* handler, INT64* token) {
    self->browser->calls.push_back("menu event");
    self->browser->menuHandler = handler;
    *token = 1;
    return S_OK;
}

void fillVtables() {
    for (int slot = 0; slot < 102; ++slot) vtables.webView11[slot] = reinterpret_cast<void*>(&wrongSlot);
    for (int slot = 0; slot < 122; ++slot) vtables.webView19[slot] = reinterpret_cast<void*>(&wrongSlot);
    vtables.webView19[1] = reinterpret_cast<void*>(&addRef);
    vtables.webView19[2] = reinterpret_cast<void*>(&release);
    vtables.webView19[120] = reinterpret_cast<void*>(&putMemoryTarget);
    for (void** table :
         {vtables.controller, vtables.webView, vtables.settings, vtables.settings3, vtables.webView11}) {
        for (int slot = 0; slot < 26; ++slot) table[slot] = reinterpret_cast<void*>(&wrongSlot);
        table[0] = reinterpret_cast<void*>(&queryInterface);
        table[1] = reinterpret_cast<void*>(&addRef);
        table[2] = reinterpret_cast<void*>(&release);
    }
    vtables.controller[4] = reinterpret_cast<void*>(&putVisible);
    vtables.controller[25] = reinterpret_cast<void*>(&getCoreWebView2);
    vtables.webView[3] = reinterpret_cast<void*>(&getSettings);
    vtables.settings[14] = reinterpret_cast<void*>(&putMenus);
    vtables.settings[18] = reinterpret_cast<void*>(&putZoom);
    vtables.settings3[24] = reinterpret_cast<void*>(&putKeys);
    vtables.webView11[100] = reinterpret_cast<void*>(&addMenuHandler);
}

TEST(BrowserSettings, EachFailingStepSkipsTheRestAndEveryReferenceIsReleased) {
    fillVtables();
    using Calls = std::vector<std::string>;
    struct Case {
        const char* what;
        FakeBrowser browser;
        Calls expected;
    };
    std::vector<Case> cases = {
        {"all offered", {}, Calls{"menus=0", "zoom=0", "keys=0"}},
        {"no third settings interface", {S_OK, S_OK, S_OK, false, false, {}, 0}, Calls{"menus=0", "zoom=0"}},
        {"no browser object", {E_FAIL, S_OK, S_OK, false, true, {}, 0}, Calls{}},
        {"null browser object", {S_OK, S_OK, S_OK, true, true, {}, 0}, Calls{}},
        {"no settings", {S_OK, E_NOINTERFACE, S_OK, false, true, {}, 0}, Calls{}},
        {"context menus refused", {S_OK, S_OK, E_FAIL, false, true, {}, 0}, Calls{"menus=0"}},
        // A browser that lets its menus be trimmed keeps them on.
        {"context menu event",
         {S_OK, S_OK, S_OK, false, true, {}, 0, true},
         Calls{"menu event", "menus=1", "zoom=0", "keys=0"}},
    };
    for (Case& c : cases) {
        FakeObject controller{vtables.controller, &c.browser};
        plat::applyBrowserSettings(&controller);
        EXPECT_EQ(c.browser.calls, c.expected) << c.what;
        EXPECT_EQ(c.browser.references, 0) << c.what;
    }
    plat::applyBrowserSettings(nullptr);
}

TEST(BrowserSettings, AMinimizedWindowsBrowserIsHiddenAndAskedForLittleMemoryUntilItShowsAgain) {
    fillVtables();
    using Calls = std::vector<std::string>;
    const Calls restAndBack = {"visible=0", "memory=low", "visible=1", "memory=normal"};
    const struct {
        const char* what;
        bool offersMemoryTarget, startMinimized;
        Calls expected;
    } cases[] = {
        {"current runtime", true, false, restAndBack},
        {"runtime without the memory target", false, false, {"visible=0", "visible=1"}},
        {"window minimized before", true, true, restAndBack},
    };
    for (const auto& c : cases) {
        FakeBrowser browser;
        browser.offersMemoryTarget = c.offersMemoryTarget;
        FakeObject controller{vtables.controller, &browser};
        HWND window = CreateWindowExA(0, "STATIC", "Ravelin rest", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100,
                                      300, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
        if (c.startMinimized) ShowWindow(window, SW_MINIMIZE);
        plat::restBrowserWhileMinimized(window, &controller);
        // Minimized twice, then back, then maximized: one change each way.
        for (int command : {SW_MINIMIZE, SW_MINIMIZE, SW_RESTORE, SW_MAXIMIZE, SW_RESTORE})
            ShowWindow(window, command);
        DestroyWindow(window);
        EXPECT_EQ(browser.calls, c.expected) << c.what;
        EXPECT_EQ(browser.references, 0) << c.what;  // the controller is let go with its window
    }
    plat::restBrowserWhileMinimized(nullptr, nullptr);
}

// The browser's context menu as the event hands it over: entries with a name and a kind, which the
// handler may remove; the event records whether it was marked handled.
struct FakeMenu {
    std::vector<std::pair<std::wstring, INT32>> entries;  // name, kind (3: separator)
    bool handled = false;
    int references = 0;
};
struct FakeMenuObject {
    void** vtable;
    FakeMenu* menu;
    size_t index;
};
void* menuArgsVtable[11];
void* menuItemsVtable[7];
void* menuItemVtable[9];
std::vector<FakeMenuObject> menuItems;

ULONG STDMETHODCALLTYPE menuAddRef(FakeMenuObject* self) {
    return ++self->menu->references;
}
ULONG STDMETHODCALLTYPE menuRelease(FakeMenuObject* self) {
    return --self->menu->references;
}
FakeMenuObject itemsObject{menuItemsVtable, nullptr, 0};
HRESULT STDMETHODCALLTYPE argsGetItems(FakeMenuObject* self, void** out) {
    itemsObject.menu = self->menu;
    ++self->menu->references;
    *out = &itemsObject;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE argsPutHandled(FakeMenuObject* self, BOOL handled) {
    self->menu->handled = handled != FALSE;
    return S_OK;
}
HRESULT STDMETHODCALLTYPE itemsCount(FakeMenuObject* self, UINT32* out) {
    *out = static_cast<UINT32>(self->menu->entries.size());
    return S_OK;
}
HRESULT STDMETHODCALLTYPE itemsAt(FakeMenuObject* self, UINT32 index, void** out) {
    if (index >= self->menu->entries.size()) return E_INVALIDARG;
    menuItems.push_back({menuItemVtable, self->menu, index});
    ++self->menu->references;
    *out = &menuItems.back();
    return S_OK;
}
HRESULT STDMETHODCALLTYPE itemsRemoveAt(FakeMenuObject* self, UINT32 index) {
    if (index >= self->menu->entries.size()) return E_INVALIDARG;
    self->menu->entries.erase(self->menu->entries.begin() + index);
    return S_OK;
}
HRESULT STDMETHODCALLTYPE itemName(FakeMenuObject* self, LPWSTR* out) {
    const std::wstring& name = self->menu->entries[self->index].first;
    *out = static_cast<LPWSTR>(CoTaskMemAlloc((name.size() + 1) * sizeof(wchar_t)));
    std::copy(name.c_str(), name.c_str() + name.size() + 1, *out);
    return S_OK;
}
HRESULT STDMETHODCALLTYPE itemKind(FakeMenuObject* self, INT32* out) {
    *out = self->menu->entries[self->index].second;
    return S_OK;
}

using InvokeFn = HRESULT(STDMETHODCALLTYPE*)(void* self, void* sender, void* args);

TEST(BrowserSettings, ContextMenusKeepOnlyTheirEditingEntries) {
    fillVtables();
    FakeBrowser browser;
    browser.offersMenuEvent = true;
    FakeObject controller{vtables.controller, &browser};
    plat::applyBrowserSettings(&controller);
    ASSERT_NE(browser.menuHandler, nullptr);
    for (void** table : {menuArgsVtable, menuItemsVtable, menuItemVtable}) {
        table[1] = reinterpret_cast<void*>(&menuAddRef);
        table[2] = reinterpret_cast<void*>(&menuRelease);
    }
    menuArgsVtable[3] = reinterpret_cast<void*>(&argsGetItems);
    menuArgsVtable[8] = reinterpret_cast<void*>(&argsPutHandled);
    menuItemsVtable[3] = reinterpret_cast<void*>(&itemsCount);
    menuItemsVtable[4] = reinterpret_cast<void*>(&itemsAt);
    menuItemsVtable[5] = reinterpret_cast<void*>(&itemsRemoveAt);
    menuItemVtable[3] = reinterpret_cast<void*>(&itemName);
    menuItemVtable[8] = reinterpret_cast<void*>(&itemKind);
    auto invoke = reinterpret_cast<InvokeFn>((*static_cast<void***>(browser.menuHandler))[3]);
    using Entries = std::vector<std::pair<std::wstring, INT32>>;
    struct Case {
        const char* what;
        Entries shown, kept;
        bool handled;
    };
    const std::vector<Case> cases = {
        {"the page", {{L"back", 0}, {L"forward", 0}, {L"reload", 0}, {L"", 3}, {L"print", 0}}, {}, true},
        {"a text field",
         {{L"emoji", 0},
          {L"", 3},
          {L"undo", 0},
          {L"", 3},
          {L"cut", 0},
          {L"copy", 0},
          {L"paste", 0},
          {L"", 3},
          {L"selectAll", 0},
          {L"", 3},
          {L"inspectElement", 0}},
         {{L"emoji", 0},
          {L"", 3},
          {L"undo", 0},
          {L"", 3},
          {L"cut", 0},
          {L"copy", 0},
          {L"paste", 0},
          {L"", 3},
          {L"selectAll", 0}},
         false},
        {"a selection",
         {{L"copy", 0}, {L"", 3}, {L"print", 0}, {L"", 3}, {L"createQrCode", 0}},
         {{L"copy", 0}},
         false},
    };
    for (const Case& c : cases) {
        FakeMenu menu;
        menu.entries = c.shown;
        menuItems.clear();
        menuItems.reserve(c.shown.size());
        FakeMenuObject args{menuArgsVtable, &menu, 0};
        EXPECT_EQ(invoke(browser.menuHandler, nullptr, &args), S_OK) << c.what;
        EXPECT_EQ(menu.entries, c.kept) << c.what;
        EXPECT_EQ(menu.handled, c.handled) << c.what;
        EXPECT_EQ(menu.references, 0) << c.what;
    }
}

TEST(Process, TheProgramIsNamedForTheTaskbar) {
    plat::nameProgramForDesktop();
    PWSTR id = nullptr;
    const HRESULT read = GetCurrentProcessExplicitAppUserModelID(&id);
    // Wine 8 keeps no such id and says so; Windows reads it back.
    if (read == E_NOTIMPL) GTEST_SKIP() << "the system keeps no application user model id";
    ASSERT_EQ(read, S_OK);
    EXPECT_EQ(std::wstring(id), L"Ravelin.Ravelin");
    CoTaskMemFree(id);
}

// ---- crash handler: a child run of this program that faults -------------------------------------

std::string crashMarker;
void onCrash() {
    auto previous = plat::readFile(crashMarker);
    plat::writeFile(crashMarker, previous.value_or("") + "saved;");
}

[[noreturn]] void crashChild(const char* marker) {
    // No crash dialog or debugger: the parent waits for the exit code.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    crashMarker = marker;
    plat::installCrashHandler(&onCrash);
    std::thread([] { *static_cast<volatile int*>(nullptr) = 1; }).join();
    ExitProcess(0);
}

TEST(CrashHandler, RunsOnceOnAFaultOnAnyThreadAndTheProcessStillDies) {
    TempFolder folder;
    std::string marker = folder.file("crash.txt");
    std::string commandLine = "\"" + plat::exePath() + "\" --crash-child \"" + marker + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process));
    DWORD waited = WaitForSingleObject(process.hProcess, 60000);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ASSERT_EQ(waited, WAIT_OBJECT_0);
    EXPECT_EQ(exitCode, static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
    EXPECT_EQ(plat::readFile(marker), "saved;");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--crash-child") crashChild(argv[2]);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
