#include "platform/fake/fake_platform.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "platform/input_math.h"
#include "platform/platform.h"

namespace fake {

namespace {

struct Bound {
    std::string name;
    void (*fn)(const char* id, const char* req, void* arg);
    void* arg;
};

struct Wake {
    bool signalled = false;
    std::condition_variable_any signal;
};

struct State {
    std::recursive_mutex mutex;
    std::vector<InputRecord> records;
    int64_t clock = 0;
    int64_t sleeps = 0;
    std::function<void(int64_t)> sleepHook;
    bool realSleep = false;
    int32_t screenWidth = 1920, screenHeight = 1080;
    int32_t cursorX = 0, cursorY = 0;
    std::map<int32_t, std::string> keyNames;
    std::string exePath;
    std::map<std::string, std::optional<std::string>> environment;
    int failingWrites = 0;
    size_t failKeep = 0;
    std::set<std::string> unreadable;
    std::map<std::string, void*> windows;
    std::map<void*, FakeWindow> windowStates;
    std::vector<plat::Rect> workAreas{plat::Rect{0, 0, 1920, 1040}};
    std::optional<plat::DragHandlers> drag;
    std::vector<std::string> sent;
    bool pipeServerPresent = true;
    plat::PipeHandler pipeResponder = nullptr;
    bool pipeRunning = false, pipeStop = false;
    std::vector<std::unique_ptr<FakeProcess>> processList;
    std::vector<std::string> calls;
    WebviewState webview;
    std::vector<Bound> bindings;
    std::vector<std::pair<void (*)(void*, void*), void*>> dispatches;
    std::string lastResult;
    std::vector<std::pair<std::string, std::string>> boxes;
    std::optional<plat::CaptureHandlers> capture;
    bool captureStop = false;
    std::optional<std::string> registration;
    bool registrationFails = false;            // the system refuses every change of the registration
    std::vector<std::unique_ptr<Wake>> wakes;  // never freed: the program keeps its handles for good
    std::vector<std::string> threadNames;
    int captureWakes = 0;
    int mainInstanceHeldFor = 0;
    int mainInstanceClaims = 0;
};

State& state() {
    static State s;
    return s;
}

using Lock = std::lock_guard<std::recursive_mutex>;

void record(InputRecord r) {
    Lock lock(state().mutex);
    r.at = state().clock;
    state().records.push_back(r);
}

// ---- the fake webview library ----

int fakeToken;

void* wvCreate(int, void*) {
    Lock lock(state().mutex);
    if (state().webview.createFails) return nullptr;
    state().webview.created = true;
    return &fakeToken;
}
int wvDestroy(void*) {
    Lock lock(state().mutex);
    state().webview.destroyed = true;
    return 0;
}
void runDispatches() {
    for (;;) {
        std::pair<void (*)(void*, void*), void*> job;
        {
            Lock lock(state().mutex);
            if (state().dispatches.empty()) return;
            job = state().dispatches.front();
            state().dispatches.erase(state().dispatches.begin());
        }
        job.first(&fakeToken, job.second);
    }
}
int wvRun(void*) {
    runDispatches();
    std::function<void()> script;
    {
        Lock lock(state().mutex);
        script = state().webview.onRun;
    }
    if (script) script();
    runDispatches();
    return 0;
}
int wvTerminate(void*) {
    return 0;
}
int wvDispatch(void*, void (*fn)(void*, void*), void* arg) {
    Lock lock(state().mutex);
    state().dispatches.emplace_back(fn, arg);
    return 0;
}
void* wvGetWindow(void*) {
    return &fakeToken;
}
void* wvGetNativeHandle(void*, int) {
    return nullptr;
}
int wvSetTitle(void*, const char* title) {
    Lock lock(state().mutex);
    state().webview.title = title;
    return 0;
}
int wvSetSize(void*, int width, int height, int hint) {
    Lock lock(state().mutex);
    state().webview.width = width, state().webview.height = height, state().webview.hint = hint;
    for (auto& [handle, window] : state().windowStates) {
        if (!window.followsWebview) continue;
        // As the webview does: page pixels times the monitor's scale, truncated.
        auto clamped = [](double value) {
            return static_cast<int32_t>(
                std::clamp(value, static_cast<double>(INT32_MIN), static_cast<double>(INT32_MAX)));
        };
        window.rect.right = clamped(window.rect.left + std::trunc(static_cast<double>(width) * window.scale) +
                                    window.frameWidth);
        double outer = std::trunc(static_cast<double>(height) * window.scale) + window.frameHeight;
        if (window.maxOuterHeight > 0) outer = std::min<double>(outer, window.maxOuterHeight);
        window.rect.bottom = clamped(window.rect.top + outer);
    }
    return 0;
}
int wvSetHtml(void*, const char* html) {
    Lock lock(state().mutex);
    state().webview.html = html;
    return 0;
}
int wvEval(void*, const char* script) {
    Lock lock(state().mutex);
    state().webview.scripts.push_back(script);
    return 0;
}
int wvBind(void*, const char* name, void (*fn)(const char*, const char*, void*), void* arg) {
    Lock lock(state().mutex);
    state().webview.bound.push_back(name);
    state().bindings.push_back({name, fn, arg});
    return 0;
}
int wvReturn(void*, const char*, int, const char* result) {
    Lock lock(state().mutex);
    state().lastResult = result;
    return 0;
}

const std::map<std::string, void*>& webviewSymbols() {
    static const std::map<std::string, void*> symbols = {
        {"webview_create", reinterpret_cast<void*>(&wvCreate)},
        {"webview_destroy", reinterpret_cast<void*>(&wvDestroy)},
        {"webview_run", reinterpret_cast<void*>(&wvRun)},
        {"webview_terminate", reinterpret_cast<void*>(&wvTerminate)},
        {"webview_dispatch", reinterpret_cast<void*>(&wvDispatch)},
        {"webview_get_window", reinterpret_cast<void*>(&wvGetWindow)},
        {"webview_get_native_handle", reinterpret_cast<void*>(&wvGetNativeHandle)},
        {"webview_set_title", reinterpret_cast<void*>(&wvSetTitle)},
        {"webview_set_size", reinterpret_cast<void*>(&wvSetSize)},
        {"webview_set_html", reinterpret_cast<void*>(&wvSetHtml)},
        {"webview_eval", reinterpret_cast<void*>(&wvEval)},
        {"webview_bind", reinterpret_cast<void*>(&wvBind)},
        {"webview_return", reinterpret_cast<void*>(&wvReturn)},
    };
    return symbols;
}

}  // namespace

std::vector<InputRecord> injected() {
    Lock lock(state().mutex);
    return state().records;
}

std::vector<InputRecord> takeInjected() {
    Lock lock(state().mutex);
    return std::move(state().records);
}

int64_t now() {
    Lock lock(state().mutex);
    return state().clock;
}

void advance(int64_t ticksToAdd) {
    Lock lock(state().mutex);
    state().clock += ticksToAdd;
}

void onSleep(std::function<void(int64_t)> hook) {
    Lock lock(state().mutex);
    state().sleepHook = std::move(hook);
}

void setRealSleep(bool on) {
    Lock lock(state().mutex);
    state().realSleep = on;
}

int64_t sleepCount() {
    Lock lock(state().mutex);
    return state().sleeps;
}

void setScreen(int32_t width, int32_t height) {
    Lock lock(state().mutex);
    state().screenWidth = width, state().screenHeight = height;
}

void setCursor(int32_t x, int32_t y) {
    Lock lock(state().mutex);
    state().cursorX = x, state().cursorY = y;
}

void setKeyNames(std::map<int32_t, std::string> names) {
    Lock lock(state().mutex);
    state().keyNames = std::move(names);
}

void setExePath(const std::string& path) {
    Lock lock(state().mutex);
    state().exePath = path;
}

void setEnvironment(const std::string& name, std::optional<std::string> value) {
    Lock lock(state().mutex);
    state().environment[name] = std::move(value);
}

void failWrites(int count, size_t keepBytes) {
    Lock lock(state().mutex);
    state().failingWrites = count, state().failKeep = keepBytes;
}

void setUnreadable(const std::string& path) {
    Lock lock(state().mutex);
    state().unreadable.insert(path);
}

void addWindow(const std::string& title, void* handle) {
    Lock lock(state().mutex);
    state().windows[title] = handle;
    state().windowStates[handle].title = title;
}

FakeWindow& window(void* handle) {
    Lock lock(state().mutex);
    return state().windowStates[handle];
}

void setWorkAreas(std::vector<plat::Rect> areas) {
    Lock lock(state().mutex);
    state().workAreas = std::move(areas);
}

bool dragActive() {
    Lock lock(state().mutex);
    return state().drag.has_value();
}

void dragMove(int32_t x, int32_t y) {
    std::optional<plat::DragHandlers> handlers;
    {
        Lock lock(state().mutex);
        handlers = state().drag;
        state().cursorX = x, state().cursorY = y;
    }
    if (handlers) handlers->moved(x, y);
}

void dragRelease() {
    std::optional<plat::DragHandlers> handlers;
    {
        Lock lock(state().mutex);
        handlers = state().drag;
    }
    if (handlers) handlers->released();
}

void dragCaptureLost() {
    std::optional<plat::DragHandlers> handlers;
    {
        Lock lock(state().mutex);
        handlers = state().drag;
    }
    if (handlers) handlers->captureLost();
}

std::vector<std::string> sentMessages() {
    Lock lock(state().mutex);
    return state().sent;
}

void setPipeServerPresent(bool present) {
    Lock lock(state().mutex);
    state().pipeServerPresent = present;
}

void setPipeResponder(plat::PipeHandler responder) {
    Lock lock(state().mutex);
    state().pipeResponder = responder;
}

bool pipeServerRunning() {
    Lock lock(state().mutex);
    return state().pipeRunning;
}

std::vector<FakeProcess*> processes() {
    Lock lock(state().mutex);
    std::vector<FakeProcess*> out;
    for (auto& process : state().processList) out.push_back(process.get());
    return out;
}

std::vector<std::string> calls() {
    Lock lock(state().mutex);
    return state().calls;
}

WebviewState& webview() {
    return state().webview;
}

std::string callBinding(const std::string& name, const std::string& request) {
    Bound bound{};
    {
        Lock lock(state().mutex);
        for (const Bound& b : state().bindings) {
            if (b.name == name) bound = b;
        }
        state().lastResult.clear();
    }
    if (!bound.fn) return "<unbound>";
    bound.fn("1", request.c_str(), bound.arg);
    Lock lock(state().mutex);
    return state().lastResult;
}

std::vector<std::pair<std::string, std::string>> errorBoxes() {
    Lock lock(state().mutex);
    return state().boxes;
}

bool captureRunning() {
    Lock lock(state().mutex);
    return state().capture.has_value();
}

bool feedKey(const plat::KeyEvent& event) {
    std::optional<plat::CaptureHandlers> handlers;
    {
        Lock lock(state().mutex);
        handlers = state().capture;
    }
    return handlers && handlers->key(event);
}

bool feedMouse(const plat::MouseEvent& event) {
    std::optional<plat::CaptureHandlers> handlers;
    {
        Lock lock(state().mutex);
        handlers = state().capture;
    }
    return handlers && handlers->mouse(event);
}

std::vector<std::string> threadNames() {
    Lock lock(state().mutex);
    return state().threadNames;
}

int captureWakes() {
    Lock lock(state().mutex);
    return state().captureWakes;
}

std::optional<std::string> startupRegistration() {
    Lock lock(state().mutex);
    return state().registration;
}

void failRegistration(bool fails) {
    Lock lock(state().mutex);
    state().registrationFails = fails;
}

void holdMainInstanceElsewhere(int attempts) {
    Lock lock(state().mutex);
    state().mainInstanceHeldFor = attempts;
}

int mainInstanceClaims() {
    Lock lock(state().mutex);
    return state().mainInstanceClaims;
}

void reset() {
    Lock lock(state().mutex);
    State& s = state();
    for (auto& wake : s.wakes) wake->signalled = false;
    s.threadNames.clear();
    s.captureWakes = 0;
    s.capture.reset();
    s.captureStop = false;
    s.registration.reset();
    s.registrationFails = false;
    s.mainInstanceHeldFor = 0, s.mainInstanceClaims = 0;
    s.records.clear();
    s.clock = 0, s.sleeps = 0, s.sleepHook = nullptr, s.realSleep = false;
    s.screenWidth = 1920, s.screenHeight = 1080, s.cursorX = 0, s.cursorY = 0;
    s.keyNames = {{117, "F6"}, {118, "F7"}, {119, "F8"}, {120, "F9"}, {32, "Space"}, {65, "A"}};
    s.exePath.clear();
    s.environment.clear();
    s.failingWrites = 0, s.failKeep = 0;
    s.unreadable.clear();
    s.windows.clear();
    s.windowStates.clear();
    s.workAreas = {plat::Rect{0, 0, 1920, 1040}};
    s.drag.reset();
    s.sent.clear();
    s.pipeServerPresent = true;
    s.pipeResponder = nullptr;
    s.pipeRunning = false, s.pipeStop = false;
    s.processList.clear();
    s.calls.clear();
    s.webview = WebviewState{};
    s.bindings.clear();
    s.dispatches.clear();
    s.boxes.clear();
}

}  // namespace fake

// ---- the platform seam, faked ----------------------------------------------------------------

namespace plat {

using fake::InputKind;
using fake::InputRecord;
using Lock = std::lock_guard<std::recursive_mutex>;

const bool errorBoxIsModal = true;
const char pathSeparator = '/';
const char* const webviewLibraryFile = "fake-webview";
const char* const browserMissingText = "No browser.";

bool initProcess() {
    return true;
}
void endProcess(bool) {}

void errorBox(const std::string& caption, const std::string& text) {
    Lock lock(fake::state().mutex);
    fake::state().boxes.emplace_back(caption, text);
}

void installCrashHandler(void (*)()) {}

bool claimMainInstance() {
    Lock lock(fake::state().mutex);
    fake::State& s = fake::state();
    ++s.mainInstanceClaims;
    if (s.mainInstanceHeldFor == 0) return true;
    if (s.mainInstanceHeldFor > 0) --s.mainInstanceHeldFor;
    return false;
}

std::string exePath() {
    Lock lock(fake::state().mutex);
    return fake::state().exePath;
}

std::optional<std::string> environment(const char* name) {
    Lock lock(fake::state().mutex);
    auto found = fake::state().environment.find(name);
    if (found == fake::state().environment.end()) return std::nullopt;
    return found->second;
}

std::string defaultDataBase() {
    return ".";
}

bool createDirectory(const std::string& path) {
    std::error_code error;
    return std::filesystem::create_directory(path, error);
}

bool pathExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

bool moveFile(const std::string& from, const std::string& to) {
    std::error_code error;
    std::filesystem::rename(from, to, error);
    return !error;
}

std::optional<std::string> readFile(const std::string& path) {
    {
        Lock lock(fake::state().mutex);
        if (fake::state().unreadable.count(path)) return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool writeFile(const std::string& path, const std::string& bytes) {
    size_t keep = bytes.size();
    bool fail = false;
    {
        Lock lock(fake::state().mutex);
        if (fake::state().failingWrites > 0) {
            --fake::state().failingWrites;
            keep = std::min(keep, fake::state().failKeep);
            fail = true;
        }
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(keep));
    out.close();
    return !fail && static_cast<bool>(out);
}

bool replaceFile(const std::string& from, const std::string& to) {
    return moveFile(from, to);
}

bool isReadOnlyFile(const std::string& path) {
    std::error_code error;
    auto status = std::filesystem::status(path, error);
    if (error || !std::filesystem::is_regular_file(status)) return false;
    using std::filesystem::perms;
    return (status.permissions() & (perms::owner_write | perms::group_write | perms::others_write)) ==
           perms::none;
}

bool removeFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::remove(path, error);
}

void* openLibrary(const std::string& path) {
    Lock lock(fake::state().mutex);
    bool webview = path.size() >= 12 && path.compare(path.size() - 12, 12, "fake-webview") == 0;
    return webview && fake::state().webview.libraryPresent ? &fake::fakeToken : nullptr;
}

LibraryProblem libraryProblem(const std::string&) {
    Lock lock(fake::state().mutex);
    return fake::state().webview.libraryProblem;
}

void* librarySymbol(void* library, const char* name) {
    if (library != &fake::fakeToken) return nullptr;
    auto found = fake::webviewSymbols().find(name);
    return found == fake::webviewSymbols().end() ? nullptr : found->second;
}

void applyBrowserSettings(void*) {}

// Every read moves the clock on by one tick, so that code spinning on the counter ends.
int64_t ticks() {
    Lock lock(fake::state().mutex);
    return ++fake::state().clock;
}
int64_t tickFrequency() {
    return fake::kFrequency;
}

void sleepUs(int64_t microseconds) {
    std::function<void(int64_t)> hook;
    bool real = false;
    int64_t now = 0;
    {
        Lock lock(fake::state().mutex);
        fake::state().clock += microseconds * (fake::kFrequency / 1'000'000);
        ++fake::state().sleeps;
        hook = fake::state().sleepHook;
        real = fake::state().realSleep;
        now = fake::state().clock;
    }
    if (real) std::this_thread::sleep_for(std::chrono::microseconds(microseconds / 10 + 1));
    if (hook) hook(now);
}

void sleepMs(int milliseconds) {
    sleepUs(static_cast<int64_t>(milliseconds) * 1000);
}

WakeHandle createWake() {
    Lock lock(fake::state().mutex);
    fake::state().wakes.push_back(std::make_unique<fake::Wake>());
    return fake::state().wakes.back().get();
}

void signalWake(WakeHandle wake) {
    Lock lock(fake::state().mutex);
    auto* w = static_cast<fake::Wake*>(wake);
    w->signalled = true;
    w->signal.notify_all();
}

// A nap passes a millisecond at a time, each slice a sleep like sleepUs (the virtual clock moves on,
// the sleep hook runs, and a tenth of it passes for real when real sleeps are on), and ends after the
// first slice during which the wake was signalled; one already signalled ends it at once, taking no
// time.
bool napOnWake(WakeHandle wake, int64_t microseconds) {
    auto* w = static_cast<fake::Wake*>(wake);
    auto taken = [w] {
        Lock lock(fake::state().mutex);
        bool signalled = w->signalled;
        w->signalled = false;
        return signalled;
    };
    if (taken()) return true;
    for (int64_t left = microseconds; left > 0;) {
        const int64_t slice = left < 1000 ? left : 1000;
        left -= slice;
        std::function<void(int64_t)> hook;
        int64_t now = 0;
        {
            std::unique_lock<std::recursive_mutex> lock(fake::state().mutex);
            fake::state().clock += slice * (fake::kFrequency / 1'000'000);
            ++fake::state().sleeps;
            hook = fake::state().sleepHook;
            now = fake::state().clock;
            if (fake::state().realSleep) {
                w->signal.wait_for(lock, std::chrono::microseconds(slice / 10 + 1),
                                   [w] { return w->signalled; });
            }
        }
        if (hook) hook(now);
        if (taken()) return true;
    }
    return false;
}

void nameThread(const char* name) {
    Lock lock(fake::state().mutex);
    fake::state().threadNames.push_back(name);
}

void raiseTimerResolution() {
    Lock lock(fake::state().mutex);
    fake::state().calls.push_back("raiseTimerResolution");
}

void restoreTimerResolution() {
    Lock lock(fake::state().mutex);
    fake::state().calls.push_back("restoreTimerResolution");
}

void injectAbsoluteMove(int32_t x, int32_t y) {
    int32_t width, height;
    screenSize(width, height);
    rv::NormalizedPoint n = rv::normalizeAbsolute(x, y, width, height);
    InputRecord r{InputKind::AbsoluteMove};
    r.x = x, r.y = y, r.dx = n.dx, r.dy = n.dy;
    r.flags = rv::MOUSEEVENTF_MOVE | rv::MOUSEEVENTF_ABSOLUTE;
    fake::record(r);
    fake::setCursor(x, y);
}

void injectMouse(uint32_t flags, int32_t data) {
    InputRecord r{InputKind::Mouse};
    r.flags = flags, r.data = data;
    fake::record(r);
}

void injectRelativeMove(int32_t dx, int32_t dy) {
    InputRecord r{InputKind::RelativeMove};
    r.x = dx, r.y = dy, r.flags = rv::MOUSEEVENTF_MOVE;
    fake::record(r);
    Lock lock(fake::state().mutex);
    fake::state().cursorX += dx, fake::state().cursorY += dy;
}

int injectKey(int32_t vk, bool down) {
    InputRecord r{InputKind::Key};
    r.vk = vk, r.down = down, r.flags = rv::keyRecordFlags(vk, down);
    fake::record(r);
    return 1;
}

bool cursorPos(int32_t& x, int32_t& y) {
    Lock lock(fake::state().mutex);
    x = fake::state().cursorX, y = fake::state().cursorY;
    return true;
}

void screenSize(int32_t& width, int32_t& height) {
    Lock lock(fake::state().mutex);
    width = fake::state().screenWidth, height = fake::state().screenHeight;
}

std::string keyName(int32_t vk) {
    Lock lock(fake::state().mutex);
    auto found = fake::state().keyNames.find(vk);
    return found == fake::state().keyNames.end() ? "" : found->second;
}

WindowHandle findWindow(const std::string& title) {
    Lock lock(fake::state().mutex);
    auto found = fake::state().windows.find(title);
    return found == fake::state().windows.end() ? nullptr : found->second;
}

void runCaptureLoop(const CaptureHandlers& handlers) {
    {
        Lock lock(fake::state().mutex);
        fake::state().capture = handlers;
    }
    for (;;) {
        {
            Lock lock(fake::state().mutex);
            if (fake::state().captureStop) {
                fake::state().capture.reset();
                fake::state().captureStop = false;
                return;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void stopCaptureLoop() {
    Lock lock(fake::state().mutex);
    fake::state().captureStop = true;  // sticky: a loop that has not started yet ends at once
}

void wakeCaptureLoop() {
    Lock lock(fake::state().mutex);
    ++fake::state().captureWakes;
}

bool setStartupRegistration(bool on, const std::string& executablePath) {
    Lock lock(fake::state().mutex);
    if (fake::state().registrationFails) return fake::state().registration.has_value();
    if (on) {
        fake::state().registration = "\"" + executablePath + "\"";
    } else {
        fake::state().registration.reset();
    }
    return on;
}

bool windowRect(WindowHandle window, Rect& rect) {
    if (!window) return false;
    Lock lock(fake::state().mutex);
    rect = fake::state().windowStates[window].rect;
    return true;
}

bool windowClientSize(WindowHandle window, int32_t& width, int32_t& height) {
    if (!window) return false;
    Lock lock(fake::state().mutex);
    const fake::FakeWindow& w = fake::state().windowStates[window];
    width = w.rect.right - w.rect.left - w.frameWidth;
    height = w.rect.bottom - w.rect.top - w.frameHeight;
    return true;
}

double windowScale(WindowHandle window) {
    if (!window) return 1.0;
    Lock lock(fake::state().mutex);
    return fake::state().windowStates[window].scale;
}

void moveWindow(WindowHandle window, int32_t x, int32_t y) {
    if (!window) return;
    Lock lock(fake::state().mutex);
    Rect& rect = fake::state().windowStates[window].rect;
    rect = Rect{x, y, x + (rect.right - rect.left), y + (rect.bottom - rect.top)};
    fake::state().calls.push_back("moveWindow " + std::to_string(x) + "," + std::to_string(y));
}

void setWindowBounds(WindowHandle window, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (!window) return;
    Lock lock(fake::state().mutex);
    fake::state().windowStates[window].rect = Rect{x, y, x + width, y + height};
    fake::state().calls.push_back("setWindowBounds " + std::to_string(x) + "," + std::to_string(y) + "," +
                                  std::to_string(width) + "," + std::to_string(height));
}

void setTopmost(WindowHandle window, bool on) {
    if (!window) return;
    Lock lock(fake::state().mutex);
    fake::state().windowStates[window].topmost = on;
    fake::state().calls.push_back(on ? "setTopmost on" : "setTopmost off");
}

void showWindow(WindowHandle window, Show how) {
    if (!window) return;
    Lock lock(fake::state().mutex);
    fake::FakeWindow& w = fake::state().windowStates[window];
    switch (how) {
        case Show::Maximize:
            if (!w.maximized) w.normal = w.rect;
            w.maximized = true, w.minimized = false;
            fake::state().calls.push_back("maximize");
            break;
        case Show::Minimize:
            w.minimized = true;
            fake::state().calls.push_back("minimize");
            break;
        case Show::Restore:
            if (w.maximized) w.rect = w.normal;
            w.maximized = false, w.minimized = false;
            fake::state().calls.push_back("restore");
            break;
    }
}

void setWindowIcon(WindowHandle window) {
    if (!window) return;
    Lock lock(fake::state().mutex);
    fake::state().calls.push_back("setWindowIcon");
}

bool isMaximized(WindowHandle window) {
    if (!window) return false;
    Lock lock(fake::state().mutex);
    return fake::state().windowStates[window].maximized;
}

bool isMinimized(WindowHandle window) {
    if (!window) return false;
    Lock lock(fake::state().mutex);
    return fake::state().windowStates[window].minimized;
}

bool windowPlacement(WindowHandle window, Placement& placement) {
    if (!window) return false;
    Lock lock(fake::state().mutex);
    const fake::FakeWindow& w = fake::state().windowStates[window];
    placement.normal = w.maximized ? w.normal : w.rect;
    placement.maximized = w.maximized;
    return true;
}

bool workAreaAtPoint(int32_t x, int32_t y, Rect& workArea) {
    Lock lock(fake::state().mutex);
    for (const Rect& area : fake::state().workAreas) {
        if (x >= area.left && x < area.right && y >= area.top && y < area.bottom) {
            workArea = area;
            return true;
        }
    }
    return false;
}

bool workAreaOfWindow(WindowHandle window, Rect& workArea) {
    Lock lock(fake::state().mutex);
    if (fake::state().workAreas.empty()) return false;
    workArea = fake::state().workAreas.front();
    if (!window) return true;
    const Rect& rect = fake::state().windowStates[window].rect;
    int32_t cx = rect.left + (rect.right - rect.left) / 2, cy = rect.top + (rect.bottom - rect.top) / 2;
    for (const Rect& area : fake::state().workAreas) {
        if (cx >= area.left && cx < area.right && cy >= area.top && cy < area.bottom) workArea = area;
    }
    return true;
}

void watchMainWindow(WindowHandle window, void (*moveSizeEnded)(WindowHandle),
                     void (*destroyed)(WindowHandle)) {
    if (!window) return;
    Lock lock(fake::state().mutex);
    fake::state().windowStates[window].moveSizeEnded = moveSizeEnded;
    fake::state().windowStates[window].destroyed = destroyed;
}

void makePanelWindow(WindowHandle window, bool positioned, int32_t x, int32_t y, int32_t width,
                     int32_t height) {
    if (!window) return;
    Lock lock(fake::state().mutex);
    fake::FakeWindow& w = fake::state().windowStates[window];
    w.panel = true;
    if (positioned) w.rect = Rect{x, y, x + width, y + height};
}

void beginPointerDrag(WindowHandle, const DragHandlers& handlers) {
    Lock lock(fake::state().mutex);
    fake::state().drag = handlers;
}

void endPointerDrag() {
    Lock lock(fake::state().mutex);
    fake::state().drag.reset();
}

void runPipeServer(PipeHandler) {
    {
        Lock lock(fake::state().mutex);
        fake::state().pipeRunning = true;
    }
    for (;;) {
        {
            Lock lock(fake::state().mutex);
            if (fake::state().pipeStop) {
                fake::state().pipeRunning = false;
                fake::state().pipeStop = false;
                return;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void stopPipeServer() {
    Lock lock(fake::state().mutex);
    fake::state().pipeStop = true;
}

bool sendPipeMessage(const std::string& message) {
    Lock lock(fake::state().mutex);
    if (!fake::state().pipeServerPresent) return false;
    fake::state().sent.push_back(message);
    return true;
}

std::optional<std::string> pipeRequest(const std::string& message, int) {
    PipeHandler responder = nullptr;
    {
        Lock lock(fake::state().mutex);
        if (!fake::state().pipeServerPresent) return std::nullopt;
        fake::state().sent.push_back(message);
        responder = fake::state().pipeResponder;
    }
    // Outside the lock: the responder is program code that may use the platform itself.
    if (!responder) return std::nullopt;
    std::string reply = responder(message.data(), message.size());
    if (reply.empty()) return std::nullopt;
    return reply;
}

ProcessHandle startProcess(const std::string& executable, const std::string& arguments) {
    Lock lock(fake::state().mutex);
    auto process = std::make_unique<fake::FakeProcess>();
    process->executable = executable, process->arguments = arguments;
    fake::state().processList.push_back(std::move(process));
    return fake::state().processList.back().get();
}

ProcessStatus processStatus(ProcessHandle process) {
    Lock lock(fake::state().mutex);
    return static_cast<fake::FakeProcess*>(process)->status;
}

void terminateProcess(ProcessHandle process) {
    Lock lock(fake::state().mutex);
    auto* p = static_cast<fake::FakeProcess*>(process);
    p->terminated = true;
    p->status = ProcessStatus::Ended;
}

void closeProcess(ProcessHandle process) {
    Lock lock(fake::state().mutex);
    static_cast<fake::FakeProcess*>(process)->closed = true;
}

void forceForeground(WindowHandle window) {
    if (!window) return;
    Lock lock(fake::state().mutex);
    fake::state().calls.push_back("forceForeground");
}

}  // namespace plat
