#include "engine/auto_clicker.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "engine/timing.h"
#include "platform/input_math.h"
#include "platform/platform.h"
#include "state/state.h"
#include "state/wakes.h"

namespace rv {

namespace {

// How often a clicker held back by the pointer resting on one of our windows looks again.
constexpr int kOwnWindowRecheckMs = 100;
// How long a run's first click waits for a fresh note of where our windows are.
constexpr int64_t kOwnWindowsNoteWaitMs = 300;

// The gap between the two clicks of a double click: one 13 ms sleep, then a spin up to 15 ms.
void doubleClickGap() {
    int64_t target = plat::ticks() + static_cast<int64_t>(static_cast<double>(counterFrequency) * 0.015);
    plat::sleepMs(13);
    spinUntil(target);
}

// Clicking at the pointer while it rests on one of our own windows would press our own buttons
// (the first click of a start from the page lands on its Stop button).
bool pointerOverOwnWindow() {
    // Where the window system says it outright (Wayland, which tells no position), that is the answer.
    if (std::optional<bool> on = plat::pointerOnOwnWindow()) return *on;
    int32_t rects[kOwnWindowSlots][4];
    size_t count = 0;
    {
        std::lock_guard<std::mutex> lock(ownWindowsLock);
        if (plat::ticks() - ownWindowsNoted <= counterFrequency * kOwnWindowsTrustMs / 1000) {
            count = ownWindowCount;
            std::memcpy(rects, ownWindowRects, sizeof rects);
        }
    }
    // Without a recent note of our windows there is nothing to look for, and the pointer's position
    // (on X11 a round trip to the server, which the click's cycle would wait for) is not read.
    if (count == 0) return false;
    int32_t x = 0, y = 0;
    if (!plat::cursorPos(x, y)) return false;
    for (size_t i = 0; i < count; ++i) {
        const int32_t* r = rects[i];
        if (x >= r[0] && x < r[2] && y >= r[1] && y < r[3]) return true;
    }
    return false;
}

// The windows may have moved, opened or been minimized since they were last noted, and the first
// click of a run is the one most likely to land on them (the Start button just pressed, or the
// pointer left over the window after a hotkey): the user-interface thread notes them afresh first.
// A window thread that does not answer in time leaves the last note in force.
void awaitFreshOwnWindowsNote() {
    void (*ask)() = ownWindowsNoter.load();
    if (!ask) return;
    int64_t before = 0;
    {
        std::lock_guard<std::mutex> lock(ownWindowsLock);
        before = ownWindowsNoted;
    }
    ask();
    const int64_t deadline = plat::ticks() + counterFrequency * kOwnWindowsNoteWaitMs / 1000;
    while (autoClicking.load() && appRunning.load() && plat::ticks() < deadline) {
        {
            std::lock_guard<std::mutex> lock(ownWindowsLock);
            if (ownWindowsNoted != before) return;
        }
        plat::sleepMs(2);
    }
}

}  // namespace

ButtonFlags clickerButtonFlags(int32_t button) {
    switch (button) {
        case 0:
            return {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP};
        case 1:
            return {MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP};
        case 2:
            return {MOUSEEVENTF_MIDDLEDOWN, MOUSEEVENTF_MIDDLEUP};
        default:
            return {0, 0};
    }
}

namespace {

bool clickerRunning() {
    return autoClicking.load() && appRunning.load();
}

// One click of `flags`, twice for a double click, each press held `press` seconds; false when the
// system refused the input. The release goes out even when the press was refused, so no button is
// left down between them. The press is held long enough for a program that reads the buttons once a
// frame; a stop ends it at once.
bool clickButton(ButtonFlags flags, int clicks, double press) {
    bool taken = true;
    for (int i = 0; taken && i < clicks; ++i) {
        taken = plat::injectMouse(flags.down, 0);
        if (taken && press > 0) polledWait(plat::ticks(), press, &clickerRunning, Sleeper::AutoClicker);
        taken = plat::injectMouse(flags.up, 0) && taken;
        if (taken && i == 0 && clicks == 2) doubleClickGap();
    }
    return taken;
}

void noteClick(int64_t at) {
    if (clickCount.fetch_add(1) == 0) lastClickRun.store(0);
    clickMeter.note(at);
}

// One round of the click sequence: each point in turn, moved to (within the jitter), clicked and
// waited after; then the interval before the next round. A stop or the time limit ends it at once;
// only a whole round counts towards the number of rounds.
void sequenceRound(const ClickerSettings& settings, int64_t startedAt) {
    const int32_t limit = settings.timing.limitSeconds;
    bool taken = true;
    for (const SequencePoint& point : settings.points) {
        if (!clickerRunning() || limitReached(startedAt, limit, plat::ticks())) return;
        const Cycle cycle = cycleSeconds(settings.interval, settings.timing, randomDraw(), randomDraw());
        taken = plat::injectAbsoluteMove(point.x + jitterOffset(settings.jitterPx, randomDraw()),
                                         point.y + jitterOffset(settings.jitterPx, randomDraw())) &&
                clickButton(clickerButtonFlags(point.button), point.doubleClick ? 2 : 1, cycle.press);
        const int64_t done = plat::ticks();
        inputBlocked.store(!taken);
        if (!taken) {
            const double retry = blockedRetrySeconds(intervalSeconds(settings.interval));
            polledWait(done, std::min(retry, limitLeftSeconds(startedAt, limit, done)), &clickerRunning,
                       Sleeper::AutoClicker);
            return;
        }
        noteClick(done);
        polledWait(done, std::min(point.waitMs / 1000.0, limitLeftSeconds(startedAt, limit, done)),
                   &clickerRunning, Sleeper::AutoClicker);
    }
    const int64_t done = plat::ticks();
    if (!clickerRunning() || limitReached(startedAt, limit, done)) return;
    const int32_t rounds = sequenceRounds.fetch_add(1) + 1;
    if (settings.limited && rounds >= settings.times) return;  // the last round: no interval after it
    const Cycle between = cycleSeconds(settings.interval, settings.timing, randomDraw(), randomDraw());
    polledWait(done, std::min(between.period, limitLeftSeconds(startedAt, limit, done)), &clickerRunning,
               Sleeper::AutoClicker);
}

}  // namespace

void autoClickerPass() {
    if (!autoClicking.load()) {
        clickerStartedAt.store(0);
        if (int32_t made = clickCount.exchange(0)) lastClickRun.store(made);
        sequenceRounds.store(0);
        clickMeter.forget();
        if (!keySpamming.load()) inputBlocked.store(false);
        if (clickerWaiting.exchange(false)) wake(Sleeper::Control);
        nap(Sleeper::AutoClicker, kWorkerNapMs);
        return;
    }
    const ClickerSettings settings = clickerSettings();
    // The run's start, for its time limit: taken by its first pass, forgotten when it stops.
    if (clickerStartedAt.load() == 0) {
        clickerStartedAt.store(plat::ticks());
        if (!settings.fixedPoint) awaitFreshOwnWindowsNote();
        if (!autoClicking.load()) return;
    }
    const int64_t startedAt = clickerStartedAt.load();
    const int32_t made = settings.sequence ? sequenceRounds.load() : clickCount.load();
    // A sequence without points has nothing to click: the run ends at once.
    if ((settings.limited && made >= settings.times) ||
        limitReached(startedAt, settings.timing.limitSeconds, plat::ticks()) ||
        (settings.sequence && settings.points.empty())) {
        autoClicking.store(false);
        wake(Sleeper::Control);
        return;
    }
    if (settings.sequence) {
        if (clickerWaiting.exchange(false)) wake(Sleeper::Control);
        sequenceRound(settings, startedAt);
        return;
    }
    bool taken = true;
    if (settings.fixedPoint) {
        taken = plat::injectAbsoluteMove(settings.x + jitterOffset(settings.jitterPx, randomDraw()),
                                         settings.y + jitterOffset(settings.jitterPx, randomDraw()));
    } else if (pointerOverOwnWindow()) {
        if (!clickerWaiting.exchange(true)) wake(Sleeper::Control);
        nap(Sleeper::AutoClicker, kOwnWindowRecheckMs);
        return;
    }
    if (clickerWaiting.exchange(false)) wake(Sleeper::Control);

    const Cycle cycle = cycleSeconds(settings.interval, settings.timing, randomDraw(), randomDraw());
    const int clicks = settings.doubleClick ? 2 : 1;
    taken = taken && clickButton(clickerButtonFlags(settings.button), clicks, cycle.press);
    int64_t done = plat::ticks();
    inputBlocked.store(!taken);
    if (taken) noteClick(done);

    // The presses are part of the period, so that holding them does not slow the clicker; a time limit
    // ends the wait.
    const double held = cycle.press * clicks;
    const double left = limitLeftSeconds(startedAt, settings.timing.limitSeconds, done);
    if (taken) {
        polledWait(done, std::min(cycle.period - held, left), &clickerRunning, Sleeper::AutoClicker);
    } else {
        polledWait(done, std::min(blockedRetrySeconds(cycle.period), left), &clickerRunning,
                   Sleeper::AutoClicker);
    }
}

void autoClickerThread() {
    while (appRunning.load()) autoClickerPass();
}

}  // namespace rv
