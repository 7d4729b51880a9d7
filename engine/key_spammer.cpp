#include "engine/key_spammer.h"

#include "engine/timing.h"
#include "platform/platform.h"
#include "state/state.h"
#include "state/wakes.h"

namespace rv {

void keySpammerPass() {
    if (!keySpamming.load()) {
        // The next run starts from the first key again.
        keySpamTurn.store(0);
        keySpamKeyInTurn.store(0);
        keySpamStartedAt.store(0);
        if (int32_t made = keyPressCount.exchange(0)) lastKeyPressRun.store(made);
        keyPressMeter.forget();
        if (!autoClicking.load()) inputBlocked.store(false);
        nap(Sleeper::KeySpammer, kWorkerNapMs);
        return;
    }
    const KeySpamSettings settings = keySpamSettings();
    // The run's start, for its time limit: taken by its first pass, forgotten when it stops.
    if (keySpamStartedAt.load() == 0) keySpamStartedAt.store(plat::ticks());
    const int64_t startedAt = keySpamStartedAt.load();
    if ((settings.limited && keyPressCount.load() >= settings.times) ||
        limitReached(startedAt, settings.timing.limitSeconds, plat::ticks())) {
        keySpamming.store(false);
        wake(Sleeper::Control);
        return;
    }
    const auto running = [] { return keySpamming.load() && appRunning.load(); };
    const Cycle cycle = cycleSeconds(settings.interval, settings.timing, randomDraw(), randomDraw());
    // Both records name the same key even if the target changes meanwhile. The release goes out even
    // when the press was refused, so no key is left down between them; a stop ends the press at once.
    // Modifiers go down first and come up last, so that the key is pressed as the combination.
    const std::vector<int32_t> modifiers = modifierKeys(settings.modifiers);
    // Each press takes the next key of the list; a list shortened meanwhile starts over.
    size_t turn = static_cast<size_t>(keySpamTurn.load());
    if (turn >= settings.keyCount) turn = 0;
    const int32_t key = settings.keys[turn];
    keySpamTurn.store(static_cast<int32_t>(turn + 1));
    keySpamKeyInTurn.store(key);
    bool taken = true;
    for (int32_t modifier : modifiers) taken = plat::injectKey(modifier, true) > 0 && taken;
    taken = plat::injectKey(key, true) > 0 && taken;
    if (taken && cycle.press > 0) polledWait(plat::ticks(), cycle.press, running, Sleeper::KeySpammer);
    taken = plat::injectKey(key, false) > 0 && taken;
    for (auto m = modifiers.rbegin(); m != modifiers.rend(); ++m)
        taken = plat::injectKey(*m, false) > 0 && taken;
    int64_t done = plat::ticks();
    inputBlocked.store(!taken);
    if (taken) {
        if (keyPressCount.fetch_add(1) == 0) lastKeyPressRun.store(0);
        keyPressMeter.note(done);
    }

    // The press is part of the period; a time limit ends the wait.
    const double held = cycle.press;
    const double left = limitLeftSeconds(startedAt, settings.timing.limitSeconds, done);
    if (taken) {
        polledWait(done, std::min(cycle.period - held, left), running, Sleeper::KeySpammer);
    } else {
        polledWait(done, std::min(blockedRetrySeconds(cycle.period), left), running, Sleeper::KeySpammer);
    }
}

void keySpammerThread() {
    while (appRunning.load()) keySpammerPass();
}

}  // namespace rv
