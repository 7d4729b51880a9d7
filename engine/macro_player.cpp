#include "engine/macro_player.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/timing.h"
#include "platform/input_math.h"
#include "platform/platform.h"
#include "state/wakes.h"

namespace rv {

namespace {

constexpr double kSpinMargin = 0.002;  // the last 2 ms before an event are spun, not slept

// Side-button events carry which button they were in `vk` (5 first, 6 second).
int32_t sideButtonData(const MacroEvent& event) {
    if (event.vk == 5) return 1;
    if (event.vk == 6) return 2;
    return 0;
}

}  // namespace

GlidePoint glidePoint(GlidePoint origin, int32_t x, int32_t y, double previous, double due, double elapsed) {
    double fraction = std::clamp((elapsed - previous) / (due - previous), 0.0, 1.0);
    // In 64 bits: points of a stored recording may lie as far apart as the whole 32-bit range.
    auto along = [fraction](int32_t from, int32_t to) {
        int64_t difference = static_cast<int64_t>(to) - static_cast<int64_t>(from);
        int64_t point = from + static_cast<int64_t>(static_cast<double>(difference) * fraction);
        return static_cast<int32_t>(std::clamp<int64_t>(point, INT32_MIN, INT32_MAX));
    };
    return {along(origin.x, x), along(origin.y, y)};
}

double playbackSpeed() {
    double speed = static_cast<double>(tspd.load());
    return std::isfinite(speed) && speed > 0 ? speed : 1.0;
}

void replayEvent(const MacroEvent& event, PressedSet& pressed) {
    switch (event.kind) {
        case kAbsoluteMove:
            plat::injectAbsoluteMove(event.x, event.y);
            break;
        case kRelativeMove:
            plat::injectRelativeMove(event.x, event.y);
            break;
        case kButton:
            plat::injectAbsoluteMove(event.x, event.y);
            plat::injectMouse(event.flags, sideButtonData(event));
            pressed.noteMouse(event.flags, sideButtonData(event));
            break;
        case kKey:
            plat::injectKey(event.vk, event.down);
            pressed.noteKey(event.vk, event.down);
            break;
        case kWheel:
            plat::injectMouse(MOUSEEVENTF_WHEEL, event.wheel);
            break;
        default:
            break;
    }
}

namespace {

// Where a pass's pointer glides from, what it last sent, and whether input was sent since the
// platform last took everything.
struct PassCursor {
    GlidePoint origin{0, 0};
    GlidePoint lastSent{-1, -1};
    bool unsettled = false;
};

// Whether playback goes on: it is on, and a looping playback has time left.
bool playGoesOn() {
    if (!playing.load()) return false;
    if (!tloop.load() || !limitReached(playStartedAt.load(), playLimitSeconds.load(), plat::ticks()))
        return true;
    playing.store(false);
    wake(Sleeper::Control);
    return false;
}

// Waits until `due` seconds into the pass that started at `passStart`, gliding the pointer toward
// an absolute move's point from the previous event's time on; ends early when playback stops or the
// program ends.
void waitWithGlide(int64_t passStart, double previous, double due, const MacroEvent& event,
                   PassCursor& cursor) {
    // A real-time thread wakes when it asked to: it sleeps until just before the event and spins
    // only the last moment, leaving the processor meanwhile to the window system that is to
    // deliver what it sends (a yield would leave it nothing: no normal thread runs before it).
    const bool wakesOnTime = schedulingKind.load() == static_cast<int32_t>(plat::SchedulingKind::RealTime);
    while (appRunning.load()) {
        double elapsed = elapsedSeconds(passStart, plat::ticks());
        if (elapsed >= due) return;
        if (event.kind == kAbsoluteMove && due > previous) {
            GlidePoint point = glidePoint(cursor.origin, event.x, event.y, previous, due, elapsed);
            if (point.x != cursor.lastSent.x || point.y != cursor.lastSent.y) {
                plat::injectAbsoluteMove(point.x, point.y);
                cursor.lastSent = point;
                cursor.unsettled = true;
            }
        }
        if (due - elapsed > kSpinMargin) {
            plat::sleepMs(1);  // which gives the processor away as well
            cursor.unsettled = false;
        } else if (cursor.unsettled) {
            // Spinning from here on: what was sent is handed over first, or it could wait for
            // the processor this thread holds (a click due now landing a millisecond late).
            plat::settleInjection();
            cursor.unsettled = false;
        } else if (wakesOnTime) {
            const double sleepFor = due - elapsed - kMaxSpinSeconds;
            if (sleepFor > 0) plat::sleepUs(static_cast<int64_t>(sleepFor * 1e6));
        } else {
            // Whoever else waits for this processor (the window the event is for, on a machine
            // whose other processors are busy) runs first; with nobody waiting this returns at once.
            std::this_thread::yield();
        }
        if (!playGoesOn()) return;
    }
}

}  // namespace

std::vector<MacroEvent> eventsInRange(const std::vector<MacroEvent>& events, int64_t from, int64_t to) {
    const int64_t size = static_cast<int64_t>(events.size());
    if (to < 0 || to > size) to = size;
    if (from < 0) from = 0;
    if (from >= to) return {};
    std::vector<MacroEvent> part(events.begin() + from, events.begin() + to);
    const double start = part.front().time;
    for (MacroEvent& event : part) event.time = std::max(0.0, event.time - start);
    return part;
}

void macroPlayerPass() {
    if (!playing.load()) {
        playStartedAt.store(0);
        playPass.store(0);
        playEventIndex.store(0);
        playEventTotal.store(0);
        nap(Sleeper::Player, kWorkerNapMs);
        return;
    }
    // A playback that starts takes the steps it was asked to play (the whole recording unless the
    // step editor asked for some); its later passes play the same ones.
    static int64_t rangeFrom = -1, rangeTo = -1;
    if (playPass.load() == 0) {
        rangeFrom = playRangeFrom.exchange(-1);
        rangeTo = playRangeTo.exchange(-1);
    }
    // Each pass plays its own copy: the list may change (recording, profile calls) meanwhile.
    std::vector<MacroEvent> events;
    {
        std::lock_guard<std::mutex> lock(profilesLock);
        if (const Profile* current = currentProfileEntry()) {
            if (rangeFrom < 0)
                events = current->events;
            else
                events = eventsInRange(current->events, rangeFrom, rangeTo);
        }
    }
    if (events.empty()) {
        playing.store(false);
        wake(Sleeper::Control);
        return;
    }
    if (playStartedAt.load() == 0) playStartedAt.store(plat::ticks());
    int32_t pass = playPass.load() + 1;
    playPass.store(pass);
    playEventIndex.store(0);
    playEventTotal.store(static_cast<int32_t>(events.size()));

    int64_t passStart = plat::ticks();
    PassCursor cursor;
    if (!plat::cursorPos(cursor.origin.x, cursor.origin.y)) cursor.origin = {0, 0};
    double previous = 0;
    PressedSet pressed;

    for (const MacroEvent& event : events) {
        if (!playGoesOn() || !appRunning.load()) break;
        double due = event.time / playbackSpeed();
        waitWithGlide(passStart, previous, due, event, cursor);
        if (!playing.load() || !appRunning.load()) break;
        replayEvent(event, pressed);
        cursor.unsettled = true;
        playEventIndex.fetch_add(1);
        if (event.kind == kAbsoluteMove) cursor.origin = cursor.lastSent = {event.x, event.y};
        if (event.kind == kButton) cursor.origin = {event.x, event.y};
        previous = due;
    }

    // However the pass ended (its last event, the play hotkey, a reset, shutdown), nothing it pressed
    // stays down: a recording cut off while a key was held would otherwise leave it held system-wide.
    pressed.releaseAll();

    // A repeat count ends a looping playback after that many passes; 0 loops until stopped.
    int32_t repeat = playRepeat.load();
    bool again = tloop.load() && (repeat <= 0 || pass < repeat);
    if (again && playGoesOn()) {
        polledWait(
            plat::ticks(), static_cast<double>(tloopMs.load()) / 1000.0,
            [] { return playGoesOn() && appRunning.load(); }, Sleeper::Player);
    } else {
        playing.store(false);
        wake(Sleeper::Control);
    }
}

void macroPlayerThread() {
    while (appRunning.load()) macroPlayerPass();
}

}  // namespace rv
