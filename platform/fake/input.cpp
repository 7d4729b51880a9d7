// The fake platform: input injection (recorded, and echoed to a running capture loop) and the
// capture loop.
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

#include "platform/fake/fake_state.h"
#include "platform/input_math.h"
#include "platform/platform.h"

namespace fake {

namespace {

// A copy of the running capture loop's handlers, called outside the lock: they are program code that
// may use the platform itself.
std::optional<plat::CaptureHandlers> runningHandlers() {
    Lock lock(state().mutex);
    return state().capture;
}

// What the capture handlers of a running capture loop receive for input the fake injects, marked
// injected, as the real platforms echo the program's own input (a mouse flag word gives one event
// per action in it, in the order Windows takes them).
void echoMouse(uint32_t flags, int32_t data) {
    std::optional<plat::CaptureHandlers> handlers;
    int32_t x, y;
    {
        Lock lock(state().mutex);
        handlers = state().capture;
        x = state().cursorX, y = state().cursorY;
    }
    if (!handlers) return;
    const uint32_t sideButton = static_cast<uint32_t>(data) << 16;
    const struct {
        uint32_t flag;
        uint32_t message;
        uint32_t mouseData;
    } actions[] = {
        {rv::MOUSEEVENTF_MOVE, rv::WM_MOUSEMOVE, 0},
        {rv::MOUSEEVENTF_LEFTDOWN, rv::WM_LBUTTONDOWN, 0},
        {rv::MOUSEEVENTF_LEFTUP, rv::WM_LBUTTONUP, 0},
        {rv::MOUSEEVENTF_RIGHTDOWN, rv::WM_RBUTTONDOWN, 0},
        {rv::MOUSEEVENTF_RIGHTUP, rv::WM_RBUTTONUP, 0},
        {rv::MOUSEEVENTF_MIDDLEDOWN, rv::WM_MBUTTONDOWN, 0},
        {rv::MOUSEEVENTF_MIDDLEUP, rv::WM_MBUTTONUP, 0},
        {rv::MOUSEEVENTF_XDOWN, rv::WM_XBUTTONDOWN, sideButton},
        {rv::MOUSEEVENTF_XUP, rv::WM_XBUTTONUP, sideButton},
        {rv::MOUSEEVENTF_WHEEL, rv::WM_MOUSEWHEEL, sideButton},
    };
    for (const auto& action : actions) {
        if (flags & action.flag)
            handlers->mouse(plat::MouseEvent{action.message, x, y, action.mouseData, true});
    }
}

void echoKey(int32_t vk, bool down) {
    std::optional<plat::CaptureHandlers> handlers = runningHandlers();
    if (handlers) handlers->key(plat::KeyEvent{vk, down, true});
}

void echoRawMotion(int32_t dx, int32_t dy) {
    std::optional<plat::CaptureHandlers> handlers = runningHandlers();
    if (handlers && handlers->rawMotion) handlers->rawMotion(plat::RawMotion{dx, dy, false});
}

}  // namespace

std::vector<InputRecord> injected() {
    Lock lock(state().mutex);
    return state().records;
}

std::vector<size_t> settles() {
    Lock lock(state().mutex);
    return state().settles;
}

std::vector<InputRecord> takeInjected() {
    Lock lock(state().mutex);
    return std::move(state().records);
}

void setScreen(int32_t width, int32_t height) {
    Lock lock(state().mutex);
    state().screenWidth = width, state().screenHeight = height;
}

void setCursor(int32_t x, int32_t y) {
    Lock lock(state().mutex);
    state().cursorX = x, state().cursorY = y;
}

void setPointerOnOwnWindow(std::optional<bool> on) {
    Lock lock(state().mutex);
    state().pointerOnOwnWindow = on;
}

void setInputRoute(plat::InputRoute route) {
    Lock lock(state().mutex);
    state().inputRoute = route;
}

void setVirtualDesktop(std::optional<plat::Rect> desk) {
    Lock lock(state().mutex);
    state().desk = desk;
}

void refuseInput(bool refuse) {
    Lock lock(state().mutex);
    state().inputRefused = refuse;
}

bool refused() {
    Lock lock(state().mutex);
    return state().inputRefused;
}

void setKeyNames(std::map<int32_t, std::string> names) {
    Lock lock(state().mutex);
    state().keyNames = std::move(names);
}

bool captureRunning() {
    Lock lock(state().mutex);
    return state().capture.has_value();
}

bool feedKey(const plat::KeyEvent& event) {
    std::optional<plat::CaptureHandlers> handlers = runningHandlers();
    return handlers && handlers->key(event);
}

bool feedMouse(const plat::MouseEvent& event) {
    std::optional<plat::CaptureHandlers> handlers = runningHandlers();
    return handlers && handlers->mouse(event);
}

int captureWakes() {
    Lock lock(state().mutex);
    return state().captureWakes;
}

}  // namespace fake

namespace plat {

// The pointer goes where Windows would put it for the normalised values on the virtual desktop.
bool injectAbsoluteMove(int32_t x, int32_t y) {
    if (fake::refused()) return false;
    Rect desk = virtualDesktop();
    rv::DeskArea area{desk.left, desk.top, desk.right - desk.left, desk.bottom - desk.top};
    rv::NormalizedPoint n = rv::normalizeAbsolute(x, y, area);
    InputRecord r{InputKind::AbsoluteMove};
    r.x = x, r.y = y, r.dx = n.dx, r.dy = n.dy;
    r.flags = rv::MOUSEEVENTF_MOVE | rv::MOUSEEVENTF_ABSOLUTE | rv::MOUSEEVENTF_VIRTUALDESK;
    fake::record(r);
    rv::DeskPixel landed = rv::deskPixel(n, area);
    fake::setCursor(landed.x, landed.y);
    fake::echoMouse(r.flags, 0);
    return true;
}

bool injectMouse(uint32_t flags, int32_t data) {
    if (fake::refused()) return false;
    InputRecord r{InputKind::Mouse};
    r.flags = flags, r.data = data;
    fake::record(r);
    fake::echoMouse(flags, data);
    return true;
}

bool injectRelativeMove(int32_t dx, int32_t dy) {
    if (fake::refused()) return false;
    InputRecord r{InputKind::RelativeMove};
    r.x = dx, r.y = dy, r.flags = rv::MOUSEEVENTF_MOVE;
    fake::record(r);
    {
        Lock lock(fake::state().mutex);
        fake::state().cursorX += dx, fake::state().cursorY += dy;
    }
    fake::echoMouse(rv::MOUSEEVENTF_MOVE, 0);
    fake::echoRawMotion(dx, dy);
    return true;
}

int injectKey(int32_t vk, bool down) {
    if (fake::refused()) return 0;
    InputRecord r{InputKind::Key};
    r.vk = vk, r.down = down, r.flags = rv::keyRecordFlags(vk, down);
    fake::record(r);
    fake::echoKey(vk, down);
    return 1;
}

void settleInjection() {
    Lock lock(fake::state().mutex);
    fake::state().settles.push_back(fake::state().records.size());
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

std::optional<bool> pointerOnOwnWindow() {
    Lock lock(fake::state().mutex);
    return fake::state().pointerOnOwnWindow;
}

InputRoute inputRoute() {
    Lock lock(fake::state().mutex);
    return fake::state().inputRoute;
}

Rect virtualDesktop() {
    Lock lock(fake::state().mutex);
    const fake::State& s = fake::state();
    return s.desk ? *s.desk : Rect{0, 0, s.screenWidth, s.screenHeight};
}

std::string keyName(int32_t vk) {
    Lock lock(fake::state().mutex);
    auto found = fake::state().keyNames.find(vk);
    return found == fake::state().keyNames.end() ? "" : found->second;
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

}  // namespace plat
