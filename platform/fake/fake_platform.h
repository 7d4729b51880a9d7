// Control of the fake platform that unit tests link instead of a real backend: injected input is
// recorded and, while a capture loop runs, handed to its handlers marked injected (on the injecting
// thread), as the real systems echo it; the clock is virtual and advances when code sleeps, files are real
// files in the test's own folder (with failures on request), windows and the webview exist only in memory.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace fake {

enum class InputKind { AbsoluteMove, Mouse, RelativeMove, Key };

struct InputRecord {
    InputKind kind;
    int32_t x = 0, y = 0;    // pixels (absolute move) or delta (relative move)
    int32_t dx = 0, dy = 0;  // the normalised values of an absolute move, as Windows would get them
    uint32_t flags = 0;      // mouse flag word, or the key record's flag word
    int32_t data = 0;        // mouse data (wheel delta)
    int32_t vk = 0;
    bool down = false;
    int64_t at = 0;  // virtual tick count when injected
};

// Everything injected since the last reset or take.
std::vector<InputRecord> injected();
std::vector<InputRecord> takeInjected();
// For every settleInjection call since the last reset, how many records had been injected by then.
std::vector<size_t> settles();

// The virtual clock: ticks per second, current value, and a hook run after every sleep (with the
// new time), so a test can change state at a chosen moment.
inline constexpr int64_t kFrequency = 10'000'000;
int64_t now();
void advance(int64_t ticksToAdd);
void onSleep(std::function<void(int64_t now)> hook);
// Also sleep for real (a tenth of the time asked), for tests that run real worker threads.
void setRealSleep(bool on);
int64_t sleepCount();

void setScreen(int32_t width, int32_t height);
// The virtual desktop that absolute moves are normalised over; none (the default): the screen alone.
void setVirtualDesktop(std::optional<plat::Rect> desk);
// From now on the system refuses (or takes again) every injected input, as Windows does on the lock
// screen or behind a UAC prompt: nothing is recorded or echoed, and the inject functions say so.
void refuseInput(bool refuse);
void setCursor(int32_t x, int32_t y);
// What pointerOnOwnWindow says (nothing unless told; reset with the rest).
void setPointerOnOwnWindow(std::optional<bool> on);
// The way injected input takes (X11 unless told; reset with the rest).
void setInputRoute(plat::InputRoute route);
void setKeyNames(std::map<int32_t, std::string> names);

// Files: the executable's path (its folder holds the page and the preferences), and failures.
void setExePath(const std::string& path);
void setEnvironment(const std::string& name, std::optional<std::string> value);
// The next `count` writes write only the first `keepBytes` bytes and report failure, for the reason
// `why` (a full disk unless told).
void failWrites(int count, size_t keepBytes, plat::WriteFailure why = plat::WriteFailure::DiskFull);
// Files cannot be written, created or moved into the folder from now on (a read-only folder, or one
// the user may not write); none: every folder can be written again.
void setUnwritableFolder(std::optional<std::string> folder);
// Reads of `path` fail from now on, as for a file the user may not read.
void setUnreadable(const std::string& path);

// Windows: known to findWindow by title, with their rectangles and states. A window that follows the
// webview takes its client size from set_size plus its frame.
struct FakeWindow {
    std::string title;
    plat::Rect rect{0, 0, 420, 560};
    plat::Rect normal{0, 0, 420, 560};  // the placement's normal rectangle while maximized
    bool maximized = false, minimized = false, topmost = false, panel = false;
    bool covered = false;  // other windows hide it entirely
    bool followsWebview = false;
    int32_t frameWidth = 0, frameHeight = 0;
    int32_t maxOuterHeight = 0;  // as the platform caps windows at about the screen's height; 0 none
    double scale = 1.0;          // window pixels per page pixel (the monitor's DPI over 96)
    void (*moveSizeEnded)(void*) = nullptr;
    void (*destroyed)(void*) = nullptr;
};
void addWindow(const std::string& title, void* handle);
FakeWindow& window(void* handle);
// Other windows come to hide the window entirely, or no longer do; any thread.
void setCovered(void* handle, bool covered);
// Work areas of the monitors, the first the primary one; none means the platform cannot tell.
void setWorkAreas(std::vector<plat::Rect> areas);
std::vector<std::string> calls();  // window operations made, e.g. "forceForeground"

// The drag the program started, and the pointer driving it.
bool dragActive();
void dragMove(int32_t x, int32_t y);
void dragRelease();
void dragCaptureLost();

// The panel pipe: messages panels sent (and whether a server takes them), the server's callback.
std::vector<std::string> sentMessages();
void setPipeServerPresent(bool present);
// What answers requests (pipeRequest) in place of a main instance: each request is also recorded as
// sent; without a responder, or with the server absent, no reply comes.
void setPipeResponder(plat::PipeHandler responder);
bool pipeServerRunning();
// Watches: how many notices the program gave and how many watches connected; the server's end of
// every running watch closes (and later ones connect again once `end` is false).
int pipeNotices();
int watchesMade();
void endPipeWatches(bool end);

// Processes started by the program, and their state.
struct FakeProcess {
    std::string executable, arguments;
    plat::ProcessStatus status = plat::ProcessStatus::Running;
    bool terminated = false, closed = false;
};
std::vector<FakeProcess*> processes();

// The webview: what the program did to it, and what run() does.
struct WebviewState {
    bool libraryPresent = true;
    plat::LibraryProblem libraryProblem;  // what libraryProblem tells when the library is not present
    bool createFails = false;
    bool created = false, destroyed = false;
    std::string title;
    int width = 0, height = 0, hint = -1;
    std::vector<std::string> bound;  // names in registration order
    std::string html;
    std::vector<std::string> scripts;  // run in the page (eval), in order
    std::function<void()> onRun;       // runs inside run(), after pending dispatches
    bool (*mayClose)() = nullptr;      // what routeWindowClose was given to ask before a close
};
WebviewState& webview();
// Runs what was dispatched to the window thread so far, as the window loop would between two of
// its events; for an onRun that stands for a while of the window loop.
void runDispatched();
// Calls a bound function as the page would; returns its result text.
std::string callBinding(const std::string& name, const std::string& request);

std::vector<std::pair<std::string, std::string>> errorBoxes();

// The user's session ends as the system tells it (WM_ENDSESSION, SIGTERM): calls what the program
// gave watchSessionEnd, on this thread; false when it gave nothing.
bool endSession();

// The capture loop: whether it runs, and its handlers, so a test can feed it events.
bool captureRunning();
bool feedKey(const plat::KeyEvent& event);
bool feedMouse(const plat::MouseEvent& event);

// The names threads gave themselves (nameThread), in order, and how often the capture loop was told
// that what it grabs may have changed (wakeCaptureLoop).
std::vector<std::string> threadNames();
// The names of the threads that raised their scheduling, and what such a raise gets (Normal until
// set).
std::vector<std::string> raisedThreads();
void setScheduling(plat::Scheduling scheduling);
int captureWakes();

// The start-up registration: the executable path registered, or nothing.
std::optional<std::string> startupRegistration();
// From now on the system refuses to register or unregister: what is registered stays.
void failRegistration(bool fails);

// Another main instance holds the claim for the next `attempts` claims (-1: for good; 0: free).
void holdMainInstanceElsewhere(int attempts);
// The claim's name is taken by something not ours: every claim fails with `problem` (empty: no more).
void blockMainInstance(const std::string& problem);
int mainInstanceClaims();  // claims made since the last reset

// ravelin-cli's side: whether a main instance holds its claim, and what starting the main program
// does: with `starts` false it fails; with `serves` the started program's pipe takes requests from
// then on (setPipeServerPresent) and it counts as running. Started programs show in processes().
void setMainInstanceRunning(bool running);
void setProgramStart(bool starts, bool serves);

// File dialogs: those shown (with their owners), the user's answer to the oldest one still open (the
// empty path cancels it; false when none is open), and whether the system can show one at all.
struct FileDialogShown {
    void* owner = nullptr;
    plat::FileDialogRequest request;
};
std::vector<FileDialogShown> fileDialogs();
bool answerFileDialog(const std::string& path);
void setFileDialogsAvailable(bool available);

// Back to a fresh platform (clock, records, windows, webview, files settings).
void reset();

}  // namespace fake
