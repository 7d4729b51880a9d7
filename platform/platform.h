// The platform seam: every operating-system call the program makes goes through these free
// functions. One backend is linked: platform/win32 (the product), platform/x11 (Linux) or
// platform/fake (unit tests). Portable code includes only this header.
//
// Index: process · files · start-up registration · libraries and the page host · time ·
//        input injection · input capture · windows · panel windows · panel pipe · panel processes ·
//        the command-line client · the test page host
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace plat {

// ---- process ----------------------------------------------------------------------------------

// The first call of the process, before anything loads a library: on Windows, libraries named without
// a path then come from the system folder only. Nothing on Linux.
void prepareProcess();
// The command line after the program name as UTF-8: on Windows from the system's wide command line
// (cut as the C runtime cuts it), on Linux `argv` after the name joined by blanks.
std::string commandLineArguments(int argc, char** argv);

// COM for this thread (apartment, OLE1 DDE off) and DPI awareness on Windows; on Linux X11 thread
// support and the X11 back end for GTK. Returns whether COM was initialised. Main thread, first.
bool initProcess();
// Undoes initProcess; `comInitialised` is what initProcess returned.
void endProcess(bool comInitialised);

// Tells the user about a failure: a modal box with one OK button on Windows; a line on stderr on
// Linux. `kErrorBoxIsModal` says which, so that callers can also show the text in their window.
void errorBox(const std::string& caption, const std::string& text);
extern const bool kErrorBoxIsModal;
// The window system the backend speaks: "x11" (the fake platform too) or "windows".
extern const char* const kWindowSystem;

// Runs `onCrash` once when the process dies of an unhandled fault, an exception that nothing catches
// or abort, on any thread; the platform's own crash handling then ends the process as it would have
// without it. On Linux `onCrash` runs on a thread of its own and the process ends within two seconds
// of the crash even when `onCrash` cannot finish (a lock the dying thread holds).
void installCrashHandler(void (*onCrash)());

// Calls `ending` when the user's session ends while the program runs, so it can save and let go of
// what it holds. Windows: the main window's WM_ENDSESSION (sign-out, restart, shutdown; the window
// must be watched, see watchMainWindow), on its user-interface thread; the system may end the
// process as soon as the message is answered, so `ending` finishes everything before it returns.
// Linux: SIGTERM or SIGHUP, on a thread of the backend's own (the signal handler only wakes it);
// with no `ending` set (null) the signal ends the process as it would have. Main thread.
void watchSessionEnd(void (*ending)());

// Claims the one main instance of this user's session for the rest of the process's life (a named
// mutex on Windows, a file lock in the runtime folder on Linux; either goes when the process ends,
// however it ends). False while another main instance holds it; when the platform cannot tell, the
// claim counts as taken. Main thread, before anything is written.
bool claimMainInstance();
// Why the last claimMainInstance returned false when no other main instance holds the claim (the
// claim's name is taken by something that is not ours and cannot be replaced), in words for the
// user; empty otherwise. Main thread.
std::string mainInstanceProblem();

// Full path of the running executable.
std::string exePath();
// The folder separator of this platform's paths: '\\' on Windows, '/' on Linux.
extern const char kPathSeparator;

// ---- environment and files --------------------------------------------------------------------

// The value of an environment variable, or nothing when it is not set.
std::optional<std::string> environment(const char* name);
// Where this platform keeps a user's preferences when they cannot be kept beside the executable:
// nothing on Windows (the data folder is used); $XDG_CONFIG_HOME when it is an absolute path, else
// ~/.config, on Linux (created when missing).
std::optional<std::string> configBase();
// The base of the data folder when LOCALAPPDATA is unusable: "." on Windows; $XDG_DATA_HOME, else
// ~/.local/share on Linux.
std::string defaultDataBase();
// Creates one folder level; false when it failed (including when it already exists).
bool createDirectory(const std::string& path);
bool pathExists(const std::string& path);
// Moves a file, across volumes if need be; false on failure.
bool moveFile(const std::string& from, const std::string& to);
// The whole file as stored (no line-end translation), or nothing when it cannot be opened.
std::optional<std::string> readFile(const std::string& path);
// Truncates or creates the file and writes `bytes` as they are; false when anything failed.
bool writeFile(const std::string& path, const std::string& bytes);
// Replaces `to` with `from` in one step (same folder), so readers see the old or the new file.
// `from`'s content is flushed to the disk first (and on Linux the folder after the rename), so the
// replacement also survives a power loss.
bool replaceFile(const std::string& from, const std::string& to);
// Why the last writeFile, replaceFile or moveFile of the calling thread failed; NoFailure after one that
// succeeded. NotAllowed: no permission, or a read-only file system or medium.
enum class WriteFailure { NoFailure, DiskFull, NotAllowed, Other };
WriteFailure lastWriteFailure();
// True when the file exists and is marked read-only (Windows: the read-only attribute; Linux: no
// write permission bit set at all).
bool isReadOnlyFile(const std::string& path);
bool removeFile(const std::string& path);
// The file that replacing `path` is to replace: when `path` is a symbolic link (on Windows also a
// junction or another link-like reparse point), the file it leads to in the end, followed through
// every link, also when that file does not exist yet (a dangling link); else `path` itself.
std::string linkTarget(const std::string& path);
// A file's size in bytes and when it last changed, in seconds since 1970 (UTC); false when the path
// is not a file or cannot be looked at.
struct FileInfo {
    uint64_t size = 0;
    int64_t modified = 0;
};
bool fileInfo(const std::string& path, FileInfo& info);
// The names (not paths) of the files in a folder, folders left out, in no particular order; empty
// when the folder cannot be read.
std::vector<std::string> listFiles(const std::string& folder);
// Shows the folder in the system's file manager (Explorer; on Linux whatever xdg-open starts) and
// returns without waiting for it; false when nothing could be started.
bool openInFileManager(const std::string& folder);

// ---- start-up registration -------------------------------------------------------------------

// Makes the program start at logon (on) or not (off), and returns whether it is registered to start
// at logon afterwards, as the system reads it back: on Windows a Task Scheduler logon task of the
// current user with the highest run level (the Run value "Tapforge" of earlier versions is removed
// either way, since Windows does not start a program that asks for elevation from it); on Linux the
// autostart entry Tapforge.desktop. Main or user-interface thread.
bool setStartupRegistration(bool on, const std::string& executablePath);

// ---- libraries and the page host --------------------------------------------------------------

// Loads a shared library by full path; null when it cannot be loaded. On Windows the libraries it
// needs come from the system folder only, never from the executable's folder.
void* openLibrary(const std::string& path);
// Why openLibrary could not load the library at `path`.
struct LibraryProblem {
    enum class Kind { FileMissing, DependencyMissing, Other };
    Kind kind = Kind::Other;
    std::string detail;  // DependencyMissing: the missing library's file name; Other: the system's words
};
LibraryProblem libraryProblem(const std::string& path);
void* librarySymbol(void* library, const char* name);
// File name of the webview library beside the executable.
extern const char* const webviewLibraryFile;
// What to tell the user when the webview could not open a browser. Windows: that the WebView2
// Runtime is missing when no version of it is registered; otherwise its version and what else
// stopped the browser where that can be told (its data folder cannot be written). Linux: the display
// and WebKitGTK. Main thread, after the failure.
std::string browserFailureText();
// Keeps the browser engine's own functions from the user through the webview's browser controller:
// its accelerator keys (reload, find, print, zoom, caret browsing, developer tools, back and
// forward) and the mouse's back and forward buttons do nothing, and its context menu keeps only the
// editing entries (cut, copy, paste, …), so it shows in text fields and nowhere else (where the
// browser cannot trim its menu, it shows none). User-interface thread, once after the browser is
// created.
void applyBrowserSettings(void* browserController);
// While the window is minimized its browser spends less: on Windows the browser controller is told
// the page is not visible (it stops drawing and slows its timers) and, where the runtime has it, to
// keep its memory low; both are undone when the window shows again. On Linux nothing is done: the
// engine hides the page of a minimized window itself. User-interface thread, once, after the
// browser is created.
void restBrowserWhileMinimized(void* nativeWindow, void* browserController);
// Ends the webview's loop when the window system asks to close its window (what a window manager
// sends for the close button, WM_DELETE_WINDOW): the window goes and `endLoop(arg)` runs on the
// user-interface thread, whatever state the toolkit is in (Linux; on Windows the library's own close
// handling ends the loop). `mayClose`, when given, is asked first on the user-interface thread, on
// both systems:
// false keeps the window and the loop, as if no close had come (the next close asks again). User-
// interface thread, once, after the browser is created.
void routeWindowClose(void* nativeWindow, void (*endLoop)(void* arg), void* arg,
                      bool (*mayClose)() = nullptr);
// The system's own dialog for choosing one file, modal to `ownerWindow` (the native window: HWND on
// Windows, the GtkWindow on Linux): Open lists existing files; Save proposes `proposedName` and asks
// before it replaces a file. Its filter offers "`typeName` (*.`extension`)" first, then all files.
struct FileDialogRequest {
    enum class Kind { Open, Save };
    Kind kind = Kind::Open;
    std::string title, proposedName, typeName, extension;
};
// False when no dialog can be shown (no toolkit, no owner), and `done` is never called. Otherwise
// `done` gets the chosen file's full path (the empty text when the user cancelled) exactly once, on
// the user-interface thread: on Windows before this returns (the dialog runs its own message loop,
// which keeps the other windows painting and the page's calls answered), on Linux later from the
// toolkit's loop. User-interface thread, never from inside a page call's callback on Windows.
bool showFileDialog(void* ownerWindow, const FileDialogRequest& request,
                    std::function<void(const std::string& path)> done);
// Names the program for the desktop before its first window: on Linux the name and class "ravelin"
// that the toolkit gives every window (WM_CLASS), which the desktop entry's StartupWMClass matches; on
// Windows the application user model id "Ravelin.Ravelin", which groups the program's windows on the
// taskbar and lets it be pinned. Main thread, after the webview library is loaded, before any window.
void nameProgramForDesktop();

// ---- time ---------------------------------------------------------------------------------------

// Monotonic counter and its fixed frequency in ticks per second.
int64_t ticks();
int64_t tickFrequency();
void sleepMs(int milliseconds);
// Sleeps less than a millisecond where the platform can (Linux to the microsecond, Windows with a
// high-resolution waitable timer); otherwise one whole millisecond.
void sleepUs(int64_t microseconds);
// Raises the system timer resolution to 1 ms for the main instance's run, and restores it.
void raiseTimerResolution();
void restoreTimerResolution();

// ---- wakes and thread names -----------------------------------------------------------------------
// A wake lets a thread nap until another thread has something for it: an auto-reset signal. A signal
// given while the thread is not napping is kept for its next nap, so a producer that sets a flag and
// then signals is never missed by a consumer that reads the flag and then naps.

using WakeHandle = void*;
// A new wake, kept for the life of the process; null when the system has none to give (a nap on it
// then lasts its whole time).
WakeHandle createWake();
// Any thread.
void signalWake(WakeHandle wake);
// Sleeps up to `microseconds`, or less when the wake is signalled (at once when it already is); true
// when a signal ended the nap, which uses it up. One thread naps on a given wake.
bool napOnWake(WakeHandle wake, int64_t microseconds);

// Names the calling thread for debuggers and per-thread figures (Linux keeps the first 15 bytes;
// Windows 10 1607 and later, looked up at run time).
void nameThread(const char* name);

// How a time-critical thread (capture, control, the auto-clicker, key spammer and player) is
// scheduled: as any other thread; at a lower nice value (level: that value, e.g. -10); under the
// real-time policy (level: its priority); or, on Windows, at the highest priority of the normal class.
enum class SchedulingKind : uint8_t { Normal, Nice, RealTime, TimeCritical };
struct Scheduling {
    SchedulingKind kind = SchedulingKind::Normal;
    int32_t level = 0;
};
// Raises the calling thread as far as the system permits without new rights: real-time scheduling
// where that is allowed (Linux: RLIMIT_RTPRIO or the right to raise), else the lowest nice value
// permitted (RLIMIT_NICE), else nothing; Windows: the time-critical thread priority, the process's
// class left as it is. Children and threads started later by the thread are not raised. Never for
// the window thread or the page's.
Scheduling raiseThreadScheduling();

// A rectangle in screen pixels; right and bottom lie outside it.
struct Rect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// ---- input injection (one platform input record per call) ----------------------------------------

// Each returns whether the system took the input: Windows refuses it while another desktop has the
// input (the lock screen, a UAC prompt) or a program of higher integrity has the foreground.

// Absolute pointer move to a pixel of the virtual desktop (screen coordinates, negative on a
// monitor left of or above the primary one).
bool injectAbsoluteMove(int32_t x, int32_t y);
// Mouse action: a Win32 mouse flag word (buttons, wheel) and its data (wheel delta); no move.
bool injectMouse(uint32_t flags, int32_t data);
// Relative pointer move; the platform applies its pointer speed.
bool injectRelativeMove(int32_t dx, int32_t dy);
// Key press or release by virtual-key code; returns the number of records the platform took.
int injectKey(int32_t vk, bool down);
// Returns once the system has taken the input this thread injected so far. Linux: a round trip on the
// thread's connection, so the X server has handled the requests and passed the events on; Windows:
// at once, SendInput returns with its records already in the input stream. A thread that busy-waits
// after injecting calls it first: while it spins, the X server it has just woken can be left waiting
// for the same processor, and what was sent reaches the window only when the spin ends.
void settleInjection();
// Pointer position in screen pixels; false when it cannot be read.
bool cursorPos(int32_t& x, int32_t& y);
// Whether the pointer rests on this process's page, where the window system tells that but not the
// pointer's position (Linux on Wayland: the toolkit's enter and leave of the browser view that
// applyBrowserSettings was given); nothing where it does not tell (cursorPos is read instead). Any
// thread.
std::optional<bool> pointerOnOwnWindow();
// Size of the primary display in pixels.
void screenSize(int32_t& width, int32_t& height);
// The rectangle that holds every monitor, in screen pixels (the primary one's top-left is 0,0).
Rect virtualDesktop();
// The platform's display name of a key (e.g. "F8", "Space"), or empty when it has none.
std::string keyName(int32_t vk);
// The way injected input takes, chosen when first asked and kept for the process's life: Wayland,
// the compositor's virtual pointer and keyboard (a Wayland session whose compositor offers both:
// every window, but the pointer's position cannot be read); X11, XTest (an X11 session, or XWayland
// on a Wayland session without them: there only the windows of X11 programs); Unavailable (a Wayland
// session with neither); System on Windows. Any thread; the first call connects.
enum class InputRoute { System, X11, Wayland, Unavailable };
InputRoute inputRoute();

// ---- input capture -------------------------------------------------------------------------------
// The capture thread observes the user's real input system-wide and hands each event, one at a time
// on that thread, to portable handlers that decide whether it is swallowed.

struct KeyEvent {
    int32_t vk;     // virtual-key code
    bool down;      // press (auto-repeats included) or release
    bool injected;  // produced by this program's own injection
};

struct MouseEvent {
    uint32_t message;    // the Win32 mouse message number (WM_MOUSEMOVE 0x0200 … WM_MOUSEHWHEEL 0x020E)
    int32_t x, y;        // screen point (Linux: for an injected button, the last one read)
    uint32_t mouseData;  // high word: wheel delta, or 1/2 for the first/second side button
    bool injected;
};

struct RawMotion {
    int32_t dx, dy;  // the device's own motion
    bool absolute;   // the device reports absolute positions (not recorded)
};

// What a loop that swallows by grabbing must hold grabbed (Linux): hotkey codes, every key, the
// buttons other than the left one, the buttons a pick takes.
// The distinct hotkey codes, kept without allocating (the plan is asked for every few milliseconds).
struct HotkeyCodes {
    std::array<int32_t, 8> values{};
    size_t count = 0;
    const int32_t* begin() const { return values.data(); }
    const int32_t* end() const { return values.data() + count; }
    bool empty() const { return count == 0; }
    void add(int32_t code) {
        if (std::find(begin(), end(), code) == end() && count < values.size()) values[count++] = code;
    }
    bool operator==(const HotkeyCodes& other) const {
        return std::equal(begin(), end(), other.begin(), other.end());
    }
};

// Hotkeys that fire only with exactly their modifiers held: a code and its modifier mask (1 Ctrl,
// 2 Shift, 4 Alt, 8 Win), each pair once.
struct HotkeyCombos {
    struct Combo {
        int32_t code;
        int32_t modifiers;
        bool operator==(const Combo& other) const {
            return code == other.code && modifiers == other.modifiers;
        }
    };
    std::array<Combo, 8> values{};
    size_t count = 0;
    const Combo* begin() const { return values.data(); }
    const Combo* end() const { return values.data() + count; }
    void add(int32_t code, int32_t modifiers) {
        const Combo combo{code, modifiers};
        if (std::find(begin(), end(), combo) == end() && count < values.size()) values[count++] = combo;
    }
    bool operator==(const HotkeyCombos& other) const {
        return std::equal(begin(), end(), other.begin(), other.end());
    }
};

struct GrabPlan {
    HotkeyCodes codes;    // plain hotkeys, grabbed whatever modifiers are held: virtual-key codes, or
                          // button codes 2, 4, 5, 6
    HotkeyCombos combos;  // hotkeys with modifiers, grabbed only with those (none on a code in `codes`)
    bool allKeys = false;
    bool nonLeftButtons = false;
    bool pickButtons = false;
    bool operator==(const GrabPlan& other) const {
        return codes == other.codes && combos == other.combos && allKeys == other.allKeys &&
               nonLeftButtons == other.nonLeftButtons && pickButtons == other.pickButtons;
    }
};

struct CaptureHandlers {
    bool (*key)(const KeyEvent&);      // true: swallow
    bool (*mouse)(const MouseEvent&);  // true: swallow
    void (*rawMotion)(const RawMotion&);
    GrabPlan (*grabPlan)() = nullptr;  // asked again at each wake and every few milliseconds; none: no grabs
    // Whether rawMotion is wanted now; asked at each wake and each mouse event (Windows: the raw
    // input of a fast mouse wakes the loop 1,000 to 8,000 times a second while registered). None:
    // always.
    bool (*rawMotionWanted)() = nullptr;
};

// Runs the capture loop on the calling thread until stopCaptureLoop: hooks and raw input on Windows;
// XInput2 raw events plus grabs on Linux (which follow the handlers' grab plan).
void runCaptureLoop(const CaptureHandlers& handlers);
// Ends the loop from any thread (WM_QUIT to the capture thread). Sticky: a loop that has not started
// yet ends as soon as it starts, so shutdown never waits for a thread that missed the request.
void stopCaptureLoop();
// What the loop must grab (hotkey codes, hotkeysEnabled, an armed reassignment or pick) or whether
// it takes raw motion may have changed: the loop follows the plan now instead of at its next look.
// Any thread.
void wakeCaptureLoop();

// ---- windows -------------------------------------------------------------------------------------

using WindowHandle = void*;

// Every window operation runs on the user-interface thread of the instance that owns the window,
// except where a line says otherwise. Rectangles are outer (frame included) screen rectangles.

// A top-level window by its exact title, or null.
WindowHandle findWindow(const std::string& title);
// Brings the window to the front even while another program has the foreground.
void forceForeground(WindowHandle window);
bool windowRect(WindowHandle window, Rect& rect);
// The size of the window's client area (inside its frame).
bool windowClientSize(WindowHandle window, int32_t& width, int32_t& height);
// Window pixels per page pixel: the DPI of the window's monitor over 96 (1.5 at 144 DPI) on Windows,
// where the webview sizes the client area in page pixels and everything else is in physical pixels;
// 1 on Linux.
double windowScale(WindowHandle window);
// Moves the window; size and z-order unchanged.
void moveWindow(WindowHandle window, int32_t x, int32_t y);
// Moves and sizes the window (outer size, in the pixels of the monitor at the new place); z-order
// unchanged.
void setWindowBounds(WindowHandle window, int32_t x, int32_t y, int32_t width, int32_t height);
// Into the topmost band (on) or out of it; neither moved nor sized.
void setTopmost(WindowHandle window, bool on);
enum class Show { Restore, Maximize, Minimize };
void showWindow(WindowHandle window, Show how);
bool isMaximized(WindowHandle window);
// Minimized (iconic); with no window manager on Linux, unmapped.
bool isMinimized(WindowHandle window);
// Shown but hidden all the same: the windows stacked above it cover every point of its client area
// that lies on the screen. Only windows that surely hide what lies below count (Linux: shown
// top-level windows without an alpha channel; Windows: visible windows that are neither cloaked,
// layered nor click-through), so false where that cannot be told. Any thread.
bool isCovered(WindowHandle window);
// The rectangle the window has when neither maximized nor minimized, and whether it is maximized.
struct Placement {
    Rect normal;
    bool maximized = false;
};
bool windowPlacement(WindowHandle window, Placement& placement);
// The work area (the monitor less task bars and docks) of the monitor that contains the point;
// false when the point lies on no monitor.
bool workAreaAtPoint(int32_t x, int32_t y, Rect& workArea);
// The work area of the monitor nearest to the window, or of the primary monitor for a null window;
// false when the platform cannot tell.
bool workAreaOfWindow(WindowHandle window, Rect& workArea);
// Gives a top-level window the program's icon, big and small, for its title bar and the task bar:
// on Windows the executable's icon resource at the window's DPI, on Linux _NET_WM_ICON in 16, 32, 48
// and 64 pixels. A build made without the icon leaves the window as it is. On Windows the main
// window (watched) and a panel window get the icons again when they move to a monitor of another DPI.
void setWindowIcon(WindowHandle window);
// Calls `moveSizeEnded` each time the user finishes moving or sizing the window, and `destroyed`
// once when it is destroyed (on the user-interface thread).
void watchMainWindow(WindowHandle window, void (*moveSizeEnded)(WindowHandle),
                     void (*destroyed)(WindowHandle));

// ---- panel windows -----------------------------------------------------------------------------

// Turns the window into a panel: no title bar, system menu or sizing border, a one-pixel border;
// placed at (x, y) (screen pixels) with the outer size width × height in page pixels, at the scale of
// the monitor it is placed on, when `positioned`, else left where it is. The window stays so through
// later size changes of the webview; moved onto a monitor of another scale, it keeps its size in
// page pixels.
void makePanelWindow(WindowHandle window, bool positioned, int32_t x, int32_t y, int32_t width,
                     int32_t height);

// A drag of a panel window: from beginPointerDrag on, the pointer's moves and the left button's
// release go to the handlers even outside the window, until endPointerDrag; `captureLost` when
// another window took the pointer. A drag whose left button (the logical one: swapped buttons
// honoured) is already up when it begins ends at once with `released`. Handlers may run on a thread
// of the backend's own.
struct DragHandlers {
    void (*moved)(int32_t x, int32_t y);  // pointer position on the screen
    void (*released)();
    void (*captureLost)();
};
void beginPointerDrag(WindowHandle window, const DragHandlers& handlers);
void endPointerDrag();

// ---- panel pipe ---------------------------------------------------------------------------------
// Messages from panel instances to the main instance, and the main instance's replies: the named pipe
// "\\.\pipe\TapmillIPC-<session id>" on Windows (one per logon session; local clients of this user only), a
// SOCK_SEQPACKET socket readable and writable by the user alone on Linux. A message is one text of at most
// kPipeMessageMax bytes (a longer one is dropped whole, with its connection); a reply is at most
// kPipeReplyMax bytes.

inline constexpr size_t kPipeMessageMax = 511;
inline constexpr size_t kPipeReplyMax = 4096;

// Takes the bytes of one message; returns the reply to send back on the same connection, or the
// empty text for none.
using PipeHandler = std::string (*)(const char* bytes, size_t length);

// Serves every connection at once until stopPipeServer (pipe server thread): `received` gets the
// messages of each connection in the order they were sent on it. An empty message is skipped; a
// connection that sends nothing for about a second (kPipeQuietMs) is closed, so a silent client never
// holds up the others.
// Watching connections (below) end with a call of `watcherGone`, when given, on the server thread.
void runPipeServer(PipeHandler received, void (*watcherGone)() = nullptr);
inline constexpr int kPipeQuietMs = 1000;
// Wakes the server out of its wait for a client and ends it (any thread; sticky like stopCaptureLoop).
void stopPipeServer();
// Sends one message and returns without waiting for the server to handle it; false when no server
// took it (it is then lost). Waits at most a moment for a free connection.
bool sendPipeMessage(const std::string& message);
// Sends one message and waits up to `timeoutMs` milliseconds for its reply; nothing when no server
// took the message or no reply came in time.
std::optional<std::string> pipeRequest(const std::string& message, int timeoutMs);

// Watching: a connection whose message is exactly kPipeWatchMessage is kept open, quiet or not, and
// gets a kPipeNoticeMessage each time the server is asked to notify its watchers; that message is not
// handed to the server's handler.
inline constexpr const char* kPipeWatchMessage = "watchChanges|";
inline constexpr const char* kPipeNoticeMessage = "changed|";
// Sends a notice to every watching connection of the running server (any thread; notices asked for
// before the server thread gets to them are sent once).
void notifyPipeWatchers();
// Connects to the server as a watcher and calls `told` (on this thread) once the watch is made and
// then for each notice, until the connection ends or stopPipeWatch is called: true then. False at
// once when no server took the watch. Blocks: a thread of its own.
bool watchPipe(void (*told)());
// Ends the running watchPipe, or the next one to start when none runs (any thread; sticky like
// stopPipeServer).
void stopPipeWatch();

// ---- panel processes ------------------------------------------------------------------------------

using ProcessHandle = void*;
// Starts the executable with `arguments`, the command-line text after the program name (on Linux cut
// at every blank into arguments, which the Linux entry point joins back with blanks); null when it
// could not be started.
ProcessHandle startProcess(const std::string& executable, const std::string& arguments);
enum class ProcessStatus { Running, Ended, Unknown };
ProcessStatus processStatus(ProcessHandle process);
// Ends the process with exit code 0 (Windows); SIGTERM on Linux.
void terminateProcess(ProcessHandle process);
void closeProcess(ProcessHandle process);

// ---- the command-line client ----------------------------------------------------------------------
// What ravelin-cli needs of the system besides the pipe: its arguments, a console that shows UTF-8,
// whether a main instance runs, and starting one.

// Prepares the client's process: on Windows its console takes UTF-8 output; on Linux, when
// XDG_RUNTIME_DIR is not set (cron), the user's /run/user/<uid> when that folder is there and the
// user's, so that the client finds the pipe and lock of the instance the desktop started. Main thread,
// first.
void prepareClientProcess();
// The arguments after the program name as UTF-8 words: on Windows cut from the wide command line as
// the C runtime cuts it (quotes group, backslashes before a quote escape it); on Linux `argv` itself.
std::vector<std::string> commandLineWords(int argc, char** argv);
// Whether a main instance of this user's session holds its claim now, without claiming it (an
// instance of other rights, an elevated one on Windows, counts).
bool mainInstanceRunning();
// Starts the main program in the background, detached from this process: on Windows through the
// shell, so that a program that asks for administrator rights gets its prompt; on Linux in a session
// of its own with standard input, output and error on /dev/null. False when it could not be started.
bool startMainProgram(const std::string& executable, const std::string& arguments);
// `path` made absolute against the current folder (nothing else about it changes); empty when the
// current folder cannot be told.
std::string absolutePath(const std::string& path);

// ---- the test page host ---------------------------------------------------------------------------
// A plain top-level window without a browser, for the test build (ravelin-headless) that takes page
// calls from its standard input instead of a page. Only that build links these (page_host.cpp of the
// backend). Each function runs on the thread that created the window unless its line says otherwise.

// Opens and shows an empty top-level window; null when the window system refuses one.
WindowHandle hostCreateWindow();
void hostSetTitle(WindowHandle window, const std::string& title);
// Sizes the window's client area (inside its frame), in pixels.
void hostSetClientSize(WindowHandle window, int32_t width, int32_t height);
// Runs the window's event loop until hostQuit, or until the window has been destroyed.
void hostRun(WindowHandle window);
// Ends hostRun; the window stays until hostDestroyWindow. Any thread.
void hostQuit(WindowHandle window);
// Runs fn(arg) on the window's thread inside hostRun, in the order posted; a post made before hostRun
// waits for it. Any thread. False when the window is gone (fn then never runs).
bool hostPost(WindowHandle window, void (*fn)(void*), void* arg);
// Asks the window to close exactly as the window system does when the user closes it (WM_CLOSE;
// WM_DELETE_WINDOW): the window is destroyed and hostRun returns.
void hostRequestClose(WindowHandle window);
void hostDestroyWindow(WindowHandle window);
// Reads what standard input has, up to `size` bytes, waiting for at least one; 0 at the end of the
// input (or when there is none). Any one thread.
size_t hostReadInput(char* buffer, size_t size);
// Writes the text and LF to standard output at once (unbuffered); any one thread.
void hostWriteLine(const std::string& line);

}  // namespace plat
