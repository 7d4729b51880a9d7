// Windows process, environment, files and libraries.
//
// Index: process and crash handler · environment and files · libraries
#include <windows.h>
#include <winioctl.h>

#include <objbase.h>

#include <atomic>
#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/wide_text.h"

namespace plat {

const bool kErrorBoxIsModal = true;
const char* const kWindowSystem = "windows";
const char kPathSeparator = '\\';
const char* const webviewLibraryFile = "webview.dll";

// ---- process and crash handler ----------------------------------------------------------------

namespace {

// Per-monitor (v2) DPI awareness, so that hooks, the cursor, the screen size, absolute moves and
// window rectangles all speak physical pixels on every monitor, also after a scale change without
// signing out. The manifest declares it; this covers a process started without the manifest. A
// process that is aware already (from the manifest) refuses with ERROR_ACCESS_DENIED, which is fine.
void becomeDpiAware() {
    using SetContextFn = BOOL(WINAPI*)(HANDLE);
    using SetAwarenessFn = HRESULT(WINAPI*)(int);
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (auto setContext = user32 ? reinterpret_cast<SetContextFn>(reinterpret_cast<void*>(
                                       GetProcAddress(user32, "SetProcessDpiAwarenessContext")))
                                 : nullptr) {
        // -4 per-monitor v2 (Windows 10 1703 on); -3 per-monitor where v2 is unknown.
        if (setContext(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)))) return;
        if (GetLastError() == ERROR_ACCESS_DENIED) return;
        if (setContext(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-3))) ||
            GetLastError() == ERROR_ACCESS_DENIED)
            return;
    }
    if (HMODULE shcore = LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        if (auto setAwareness = reinterpret_cast<SetAwarenessFn>(
                reinterpret_cast<void*>(GetProcAddress(shcore, "SetProcessDpiAwareness")))) {
            HRESULT result = setAwareness(2);  // PROCESS_PER_MONITOR_DPI_AWARE
            if (SUCCEEDED(result) || result == E_ACCESSDENIED) return;
        }
    }
    SetProcessDPIAware();
}

// What the page never uses, switched off so that the browser keeps no memory for it: WebGL and the
// back/forward cache (the page never navigates). A browser whose window is minimized (and so told
// it is not visible) behaves as if memory ran short, giving back what it can.
const wchar_t* const kBrowserArgumentsVariable = L"WEBVIEW2_ADDITIONAL_BROWSER_ARGUMENTS";
const wchar_t* const kBrowserArguments =
    L"--disable-3d-apis --disable-features=BackForwardCache "
    L"--enable-features=msWebView2SimulateMemoryPressureWhenInactive";

}  // namespace

bool initProcess() {
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    becomeDpiAware();
    // Read by the browser when the webview creates it; the panels, started from here, inherit it, so
    // every browser of the program shares one set (a second set for the same data folder would be
    // refused). A user's own setting is kept.
    if (GetEnvironmentVariableW(kBrowserArgumentsVariable, nullptr, 0) == 0)
        SetEnvironmentVariableW(kBrowserArgumentsVariable, kBrowserArguments);
    return SUCCEEDED(com);
}

void endProcess(bool comInitialised) {
    if (comInitialised) CoUninitialize();
}

void errorBox(const std::string& caption, const std::string& text) {
    MessageBoxW(nullptr, toWide(text).c_str(), toWide(caption).c_str(), MB_OK | MB_ICONERROR);
}

namespace {

struct CrashState {
    std::atomic<void (*)()> callback{nullptr};
    std::atomic<DWORD> handlingThread{0};
    std::atomic<bool> done{false};
};
CrashState crash;

// Runs the callback once for the whole process, whichever way the process dies first.
void runCrashCallbackOnce() {
    DWORD self = GetCurrentThreadId();
    DWORD none = 0;
    if (crash.handlingThread.compare_exchange_strong(none, self)) {
        if (auto callback = crash.callback.load()) callback();
        crash.done = true;
    } else if (none != self) {
        // Another thread is still in the callback (saving): ending the process now would cut that
        // short, so a second dying thread waits for it, though not forever (the callback may be
        // stuck on a lock this thread holds). A fault inside the callback itself (same thread) must
        // not wait for itself.
        for (int waited = 0; !crash.done && waited < 5000; ++waited) Sleep(1);
    }
}

LONG WINAPI onUnhandledException(EXCEPTION_POINTERS*) {
    runCrashCallbackOnce();
    return EXCEPTION_CONTINUE_SEARCH;
}

// An exception that no code catches (on any thread) ends the process through std::terminate, and
// abort ends it through SIGABRT, neither of which reaches the unhandled-exception filter.
std::terminate_handler previousTerminate = nullptr;

[[noreturn]] void onTerminate() {
    runCrashCallbackOnce();
    if (previousTerminate) previousTerminate();
    std::abort();
}

void onAbortSignal(int) {
    runCrashCallbackOnce();
    // The runtime has put back the default action; returning lets abort end the process as usual.
}

}  // namespace

void installCrashHandler(void (*onCrash)()) {
    crash.callback = onCrash;
    SetUnhandledExceptionFilter(&onUnhandledException);
    previousTerminate = std::set_terminate(&onTerminate);
    signal(SIGABRT, &onAbortSignal);
}

std::string exePath() {
    // The buffer grows until the whole path fits: a cut path would name a different (parent or
    // unrelated) folder and put the program's files there.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return "";
        if (length < path.size()) return toUtf8(path.data(), length);
        if (path.size() >= 32768) return "";
        path.assign(path.size() * 2, L'\0');
    }
}

// ---- environment and files --------------------------------------------------------------------

std::optional<std::string> environment(const char* name) {
    std::wstring wideName = toWide(name ? name : "");
    std::wstring value(256, L'\0');
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        DWORD length =
            GetEnvironmentVariableW(wideName.c_str(), value.data(), static_cast<DWORD>(value.size()));
        if (length == 0) {
            if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
            return std::string();
        }
        if (length < value.size()) return toUtf8(value.data(), length);
        // Too small: the length includes the terminator. Asked again, since the value may change.
        value.assign(length, L'\0');
    }
}

std::string defaultDataBase() {
    return ".";
}

bool createDirectory(const std::string& path) {
    std::wstring wide;
    return widePath(path, wide) && CreateDirectoryW(wide.c_str(), nullptr) != 0;
}

bool pathExists(const std::string& path) {
    std::wstring wide;
    return widePath(path, wide) && GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

thread_local WriteFailure writeFailure = WriteFailure::NoFailure;

// Notes why a file call failed (from the thread's last error) and returns false, or notes success.
bool noteWrite(bool ok) {
    if (ok) {
        writeFailure = WriteFailure::NoFailure;
        return true;
    }
    switch (GetLastError()) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            writeFailure = WriteFailure::DiskFull;
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
            writeFailure = WriteFailure::NotAllowed;
            break;
        default:
            writeFailure = WriteFailure::Other;
    }
    return false;
}

}  // namespace

WriteFailure lastWriteFailure() {
    return writeFailure;
}

std::optional<std::string> configBase() {
    return std::nullopt;
}

bool moveFile(const std::string& from, const std::string& to) {
    std::wstring wideFrom, wideTo;
    if (!widePath(from, wideFrom) || !widePath(to, wideTo)) {
        SetLastError(ERROR_INVALID_NAME);
        return noteWrite(false);
    }
    return noteWrite(MoveFileExW(wideFrom.c_str(), wideTo.c_str(), MOVEFILE_COPY_ALLOWED) != 0);
}

std::optional<std::string> readFile(const std::string& path) {
    // Other readers, writers and a replacement of the file by rename may go on meanwhile.
    std::wstring wide;
    if (!widePath(path, wide)) return std::nullopt;
    HANDLE file =
        CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string bytes;
    char buffer[65536];
    bool ok = true;
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &read, nullptr)) {
            ok = false;
            break;
        }
        if (read == 0) break;
        bytes.append(buffer, read);
    }
    CloseHandle(file);
    if (!ok) return std::nullopt;
    return bytes;
}

bool writeFile(const std::string& path, const std::string& bytes) {
    // One WriteFile takes at most 4 GiB; refuse before the old content is truncated.
    std::wstring wide;
    if (bytes.size() > MAXDWORD || !widePath(path, wide)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return noteWrite(false);
    }
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return noteWrite(false);
    DWORD size = static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    bool ok = size == 0 || WriteFile(file, bytes.data(), size, &written, nullptr);
    // A write cut short without an error leaves no room on the disk for the rest.
    if (ok && written != size && size != 0) {
        SetLastError(ERROR_DISK_FULL);
        ok = false;
    }
    const DWORD error = GetLastError();
    if (!CloseHandle(file) && ok) return noteWrite(false);
    SetLastError(error);
    return noteWrite(ok);
}

bool replaceFile(const std::string& from, const std::string& to) {
    std::wstring wideFrom, wideTo;
    if (!widePath(from, wideFrom) || !widePath(to, wideTo)) {
        SetLastError(ERROR_INVALID_NAME);
        return noteWrite(false);
    }
    // The content first: write-through covers the move, not the data written before it.
    HANDLE file = CreateFileW(wideFrom.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return noteWrite(false);
    bool flushed = FlushFileBuffers(file) != 0;
    const DWORD error = GetLastError();
    CloseHandle(file);
    SetLastError(error);
    if (!flushed) return noteWrite(false);
    return noteWrite(MoveFileExW(wideFrom.c_str(), wideTo.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0);
}

bool isReadOnlyFile(const std::string& path) {
    std::wstring wide;
    if (!widePath(path, wide)) return false;
    DWORD attributes = GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           (attributes & FILE_ATTRIBUTE_READONLY);
}

bool removeFile(const std::string& path) {
    std::wstring wide;
    return widePath(path, wide) && DeleteFileW(wide.c_str()) != 0;
}

namespace {

// The system's own form of a final path ("\\?\C:\..." or "\\?\UNC\server\...") in the
// ordinary form.
std::wstring withoutLongPrefix(std::wstring path) {
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\" + path.substr(7);
    if (path.rfind(L"\\\\?\\", 0) == 0 && path.size() >= 6 && path[5] == L':') return path.substr(4);
    return path;
}

// The target a symbolic link names, read from the link itself (it may lead nowhere yet); empty for
// any other reparse point or a link that cannot be read.
std::wstring symbolicLinkText(const std::wstring& link) {
    HANDLE file =
        CreateFileW(link.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return L"";
    // The symbolic-link form of the reparse data (its header is not in the SDK's user-mode headers).
    struct SymbolicLinkData {
        ULONG tag;
        USHORT dataLength, reserved;
        USHORT substituteOffset, substituteLength, printOffset, printLength;
        ULONG flags;
        WCHAR names[1];
    };
    std::vector<BYTE> buffer(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
    DWORD size = 0;
    const bool read = DeviceIoControl(file, FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer.data(),
                                      static_cast<DWORD>(buffer.size()), &size, nullptr) != 0;
    CloseHandle(file);
    const auto* data = reinterpret_cast<const SymbolicLinkData*>(buffer.data());
    if (!read || size < offsetof(SymbolicLinkData, names) || data->tag != IO_REPARSE_TAG_SYMLINK) return L"";
    const size_t namesSize = size - offsetof(SymbolicLinkData, names);
    const bool usePrint = data->printLength > 0;
    const size_t offset = usePrint ? data->printOffset : data->substituteOffset;
    const size_t length = usePrint ? data->printLength : data->substituteLength;
    if (offset + length > namesSize) return L"";
    std::wstring target(data->names + offset / sizeof(WCHAR), length / sizeof(WCHAR));
    if (!usePrint && target.rfind(L"\\??\\", 0) == 0) target = target.substr(4);
    constexpr ULONG kRelative = 1;  // SYMLINK_FLAG_RELATIVE
    if (data->flags & kRelative) {
        const size_t cut = link.find_last_of(L"\\/");
        if (cut != std::wstring::npos) target = link.substr(0, cut + 1) + target;
    }
    return target;
}

}  // namespace

std::string linkTarget(const std::string& path) {
    std::wstring wide;
    if (!widePath(path, wide)) return path;
    std::wstring current = wide;
    for (int hop = 0; hop < 32; ++hop) {
        const DWORD attributes = GetFileAttributesW(current.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return hop == 0 ? path : toUtf8(current);
        // A file that opens is where the system's own path lookup ends, through every link (in its
        // folders too). Asked of every file, not only of reparse points: Wine shows a Unix symbolic
        // link as a plain file, and names its target here.
        HANDLE file = CreateFileW(current.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            std::wstring final(32768, L'\0');
            const DWORD length = GetFinalPathNameByHandleW(
                file, final.data(), static_cast<DWORD>(final.size()), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
            CloseHandle(file);
            if (length == 0 || length >= final.size()) return hop == 0 ? path : toUtf8(current);
            final.resize(length);
            return toUtf8(withoutLongPrefix(final));
        }
        if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return hop == 0 ? path : toUtf8(current);
        // A dangling link: where it points, so that the save makes the file there.
        std::wstring next = symbolicLinkText(current);
        if (next.empty()) return path;
        current = next;
    }
    return path;
}

// ---- libraries ----------------------------------------------------------------------------------

void* openLibrary(const std::string& path) {
    std::wstring wide;
    if (!widePath(path, wide)) return nullptr;
    // What the library imports comes from the system folder alone: a copy of VERSION.dll planted
    // beside the executable (in Downloads, say) would otherwise run with administrator rights.
    return reinterpret_cast<void*>(LoadLibraryExW(wide.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
}

namespace {

// The system's own message for an error code, without its line end.
std::string systemMessage(DWORD code) {
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length > 0 && text ? toUtf8(text, length) : std::string();
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return "Error " + std::to_string(code) + (message.empty() ? "." : ": " + message);
}

// The names of the libraries that the image at `base` imports, read from its import directory. The
// image is mapped as the loader would map it, so addresses inside it are offsets from `base`;
// every offset is checked against the image's size before use.
std::vector<std::string> importedLibraries(const unsigned char* base) {
    std::vector<std::string> names;
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE || dos->e_lfanew <= 0) return names;
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE || nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC ||
        nt->OptionalHeader.NumberOfRvaAndSizes <= IMAGE_DIRECTORY_ENTRY_IMPORT) {
        return names;
    }
    DWORD size = nt->OptionalHeader.SizeOfImage;
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (DWORD at = directory.VirtualAddress; at != 0 && at + sizeof(IMAGE_IMPORT_DESCRIPTOR) <= size;
         at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        auto descriptor = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + at);
        if (descriptor->Name == 0) break;
        if (descriptor->Name >= size) continue;
        auto name = reinterpret_cast<const char*>(base + descriptor->Name);
        names.emplace_back(name, strnlen(name, size - descriptor->Name));
    }
    return names;
}

}  // namespace

LibraryProblem libraryProblem(const std::string& path) {
    std::wstring wide;
    if (!widePath(path, wide) || GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return {LibraryProblem::Kind::FileMissing, ""};
    }
    // Mapped as an image without running or resolving anything, to read what it imports; each
    // import is then looked for where openLibrary looks for it.
    HMODULE image =
        LoadLibraryExW(wide.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE);
    if (!image) return {LibraryProblem::Kind::Other, systemMessage(GetLastError())};
    auto base = reinterpret_cast<const unsigned char*>(reinterpret_cast<ULONG_PTR>(image) &
                                                       ~static_cast<ULONG_PTR>(3));
    std::vector<std::string> imports = importedLibraries(base);
    FreeLibrary(image);
    for (const std::string& name : imports) {
        HMODULE found = LoadLibraryExW(toWide(name).c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!found) return {LibraryProblem::Kind::DependencyMissing, name};
        FreeLibrary(found);
    }
    HMODULE again = LoadLibraryExW(wide.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (again) {
        FreeLibrary(again);
        return {LibraryProblem::Kind::Other, ""};  // it failed a moment ago, for a reason now gone
    }
    return {LibraryProblem::Kind::Other, systemMessage(GetLastError())};
}

void* librarySymbol(void* library, const char* name) {
    if (!library || !name) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

}  // namespace plat
