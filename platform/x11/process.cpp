// Linux process, files and libraries.
#include <X11/Xlib.h>
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>

#include "platform/platform.h"
#include "platform/x11/render_node.h"

namespace plat {

namespace x11 {

bool hasRenderNode(const char* folder) {
    DIR* entries = opendir(folder);
    if (!entries) return false;
    bool found = false;
    while (const dirent* entry = readdir(entries)) {
        if (std::strncmp(entry->d_name, "renderD", 7) == 0) {
            found = true;
            break;
        }
    }
    closedir(entries);
    return found;
}

}  // namespace x11

const bool kErrorBoxIsModal = false;
const char* const kWindowSystem = "x11";
const char kPathSeparator = '/';
const char* const webviewLibraryFile = "libwebview.so.0.12";
std::string browserFailureText() {
    return "Ravelin could not open its window: it needs an X11 or Wayland display and the WebKitGTK 6.0 "
           "browser engine (Debian package libwebkitgtk-6.0-4).";
}

bool initProcess() {
    XInitThreads();
    // The window goes where the input goes. Sent through X11 (an X11 session, or XWayland on a Wayland
    // desktop that offers no virtual input), it is an X11 window, which capture, hotkeys and window
    // placement see; sent through the compositor, it is a native Wayland window, placed by the
    // compositor. With no way at all (no XWayland either), Wayland is all there is.
    setenv("GDK_BACKEND", inputRoute() == InputRoute::X11 ? "x11" : "wayland", 1);
    // The page is a small form: painted in memory, each change redraws only what changed, where the
    // compositing path redraws and composites whole layers through OpenGL (software OpenGL on a
    // machine without a GPU: several percent of a core for a clicker's figures and its pulsing dot).
    // A user's own setting is kept.
    setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 0);
    // The browser engine's memory-pressure monitor reads the system's memory figures from a thread of
    // its own, a cost that never stops; it serves pages far larger than this one. A user's own
    // setting is kept.
    setenv("WEBKIT_DISABLE_MEMORY_PRESSURE_MONITOR", "1", 0);
    // Without a GPU render node OpenGL is software (llvmpipe), and GTK drawing the window through it
    // costs more than drawing it with cairo. A machine with a GPU keeps GTK's own choice, as does a
    // user's own setting.
    if (!x11::hasRenderNode("/dev/dri")) setenv("GSK_RENDERER", "cairo", 0);
    return false;
}

void endProcess(bool) {}

void errorBox(const std::string& caption, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
}

namespace {

// A crash saves through a thread of its own that waits from start-up on: the signal handler only
// wakes it and waits a bounded time for it, so a save that cannot finish (the dying thread holds the
// allocator's lock or the profiles lock) never keeps the process alive, and the save itself runs as
// ordinary code. A save cut short leaves its temporary file behind, never a truncated session file.
constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
// The save gets this long from the first fatal signal on; the rest of the two seconds a crash may take is
// for the process to be torn down (a loaded machine takes over half a second for that alone).
constexpr int64_t kCrashBudgetMs = 800;

void (*crashCallback)() = nullptr;
int crashWake[2] = {-1, -1};  // handler -> saver: one byte starts the save
int crashDone[2] = {-1, -1};  // saver -> handler: readable once the save has ended
std::atomic<bool> crashing{false};
std::atomic<int64_t> crashDeadlineMs{0};
std::atomic<pthread_t> crashSaver{};

int64_t monotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void crashSaverThread() {
    // Signals sent to the process go to another thread: this one must stay free to save.
    sigset_t fatal;
    sigemptyset(&fatal);
    for (int signal : kFatalSignals) sigaddset(&fatal, signal);
    pthread_sigmask(SIG_BLOCK, &fatal, nullptr);
    char byte = 0;
    ssize_t n;
    while ((n = read(crashWake[0], &byte, 1)) < 0 && errno == EINTR) {
    }
    if (n != 1) return;
    if (crashCallback) crashCallback();
    while (write(crashDone[1], &byte, 1) < 0 && errno == EINTR) {
    }
}

// Waits until the save has ended or the budget is spent. Only async-signal-safe calls.
void awaitCrashSave() {
    for (;;) {
        const int64_t left = crashDeadlineMs.load() - monotonicMs();
        if (left <= 0) return;
        pollfd done{crashDone[0], POLLIN, 0};
        const int ready = poll(&done, 1, static_cast<int>(left));
        if (ready > 0 || (ready < 0 && errno != EINTR)) return;
    }
}

void onFatalSignal(int signal) {
    const bool saverThread = pthread_equal(pthread_self(), crashSaver.load()) != 0;
    if (!crashing.exchange(true)) {
        crashDeadlineMs = monotonicMs() + kCrashBudgetMs;
        const char byte = 1;
        if (crashWake[1] >= 0 && write(crashWake[1], &byte, 1) == 1) awaitCrashSave();
    } else if (!saverThread) {
        // A second thread dying meanwhile must not end the process under the save.
        awaitCrashSave();
    }
    // Re-raise with the default action so the process ends as it would have.
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, signal);
    pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
    raise(signal);
    _exit(128 + signal);  // not reached: the default action of every signal above ends the process
}

}  // namespace

void installCrashHandler(void (*onCrash)()) {
    crashCallback = onCrash;
    if (crashWake[0] < 0 && (pipe2(crashWake, O_CLOEXEC) != 0 || pipe2(crashDone, O_CLOEXEC) != 0)) {
        crashWake[0] = crashWake[1] = -1;
        return;
    }
    if (!crashSaver.load()) {
        std::thread saver(&crashSaverThread);
        crashSaver = saver.native_handle();
        saver.detach();
    }
    struct sigaction action {};
    action.sa_handler = &onFatalSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_NODEFER;
    for (int signal : kFatalSignals) sigaction(signal, &action, nullptr);
}

std::string exePath() {
    char buffer[4096];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return "";
    return std::string(buffer, static_cast<size_t>(length));
}

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    if (!value) return std::nullopt;
    return std::string(value);
}

namespace {

// Creates every missing folder of an absolute path (the program itself creates only the last level
// of its data folder; a fresh Linux account may lack ~/.local/share).
void createFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        mkdir(path.substr(0, slash).c_str(), 0700);
    }
    mkdir(path.c_str(), 0700);
}

thread_local WriteFailure writeFailure = WriteFailure::NoFailure;

// Notes why a file call failed (from errno) and returns false, or notes success.
bool noteWrite(bool ok) {
    if (ok) {
        writeFailure = WriteFailure::NoFailure;
    } else if (errno == ENOSPC || errno == EDQUOT) {
        writeFailure = WriteFailure::DiskFull;
    } else if (errno == EACCES || errno == EPERM || errno == EROFS) {
        writeFailure = WriteFailure::NotAllowed;
    } else {
        writeFailure = WriteFailure::Other;
    }
    return ok;
}

}  // namespace

WriteFailure lastWriteFailure() {
    return writeFailure;
}

std::optional<std::string> configBase() {
    std::string base;
    auto xdg = environment("XDG_CONFIG_HOME");
    auto home = environment("HOME");
    if (xdg && !xdg->empty() && (*xdg)[0] == '/') {
        base = *xdg;
    } else if (home && !home->empty() && (*home)[0] == '/') {
        base = *home + "/.config";
    } else {
        return std::nullopt;
    }
    createFolders(base);
    return base;
}

std::string defaultDataBase() {
    std::string base = ".";
    auto xdg = environment("XDG_DATA_HOME");
    auto home = environment("HOME");
    if (xdg && !xdg->empty() && (*xdg)[0] == '/') {
        base = *xdg;
    } else if (home && !home->empty()) {
        base = *home + "/.local/share";
    }
    if (base != ".") createFolders(base);
    return base;
}

bool createDirectory(const std::string& path) {
    return mkdir(path.c_str(), 0700) == 0;
}

bool pathExists(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

bool moveFile(const std::string& from, const std::string& to) {
    if (rename(from.c_str(), to.c_str()) == 0) return noteWrite(true);
    if (errno != EXDEV) return noteWrite(false);
    auto bytes = readFile(from);
    if (!bytes) return noteWrite(false);
    if (!writeFile(to, *bytes)) return false;
    return noteWrite(unlink(from.c_str()) == 0);
}

std::optional<std::string> readFile(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string bytes;
    char buffer[65536];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return bytes;
}

bool writeFile(const std::string& path, const std::string& bytes) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return noteWrite(false);
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // A write that takes nothing without an error is a full disk too.
            if (n == 0) errno = ENOSPC;
            const int error = errno;
            close(fd);
            errno = error;
            return noteWrite(false);
        }
        done += static_cast<size_t>(n);
    }
    return noteWrite(close(fd) == 0);
}

namespace {

// Waits until the file's (or folder's) content is on the disk; false when it could not be opened.
bool syncPath(const char* path, int flags) {
    int fd = open(path, flags | O_CLOEXEC);
    if (fd < 0) return false;
    bool synced = fsync(fd) == 0;
    const int error = errno;
    close(fd);
    errno = error;
    return synced;
}

}  // namespace

bool replaceFile(const std::string& from, const std::string& to) {
    // Without the first sync a power loss after the rename can leave an empty file under the old
    // name; without the second the rename itself may be lost.
    if (!syncPath(from.c_str(), O_RDONLY)) return noteWrite(false);
    if (rename(from.c_str(), to.c_str()) != 0) return noteWrite(false);
    size_t cut = to.find_last_of('/');
    std::string folder = cut == std::string::npos ? "." : cut == 0 ? "/" : to.substr(0, cut);
    syncPath(folder.c_str(), O_RDONLY | O_DIRECTORY);
    return noteWrite(true);
}

bool isReadOnlyFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 0222) == 0;
}

bool removeFile(const std::string& path) {
    return unlink(path.c_str()) == 0;
}

std::string linkTarget(const std::string& path) {
    std::string current = path;
    // As many links as the kernel itself follows; a loop of links leads nowhere, and is replaced.
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info {};
        if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
        std::string target(4096, '\0');
        const ssize_t length = readlink(current.c_str(), target.data(), target.size());
        if (length <= 0 || static_cast<size_t>(length) >= target.size()) return path;
        target.resize(static_cast<size_t>(length));
        if (target[0] != '/') {
            const size_t cut = current.find_last_of('/');
            if (cut != std::string::npos) target = current.substr(0, cut + 1) + target;
        }
        current = target;
    }
    return path;
}

void* openLibrary(const std::string& path) {
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

LibraryProblem libraryProblem(const std::string& path) {
    if (access(path.c_str(), F_OK) != 0) return {LibraryProblem::Kind::FileMissing, ""};
    // The loader's own words name the library that is missing ("libwebkitgtk-6.0.so.4: cannot open
    // shared object file: ...").
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library) {
        dlclose(library);
        return {LibraryProblem::Kind::Other, ""};
    }
    const char* message = dlerror();
    std::string error = message ? message : "";
    size_t cut = error.find(": cannot open shared object file");
    if (cut != std::string::npos && cut > 0 && error.compare(0, cut, path) != 0) {
        return {LibraryProblem::Kind::DependencyMissing, error.substr(0, cut)};
    }
    return {LibraryProblem::Kind::Other, error};
}

void* librarySymbol(void* library, const char* name) {
    return library ? dlsym(library, name) : nullptr;
}

}  // namespace plat
