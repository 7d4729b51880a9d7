#include "engine/key_spammer.h"

#include "engine/timing.h"
#include "platform/platform.h"
#include "state/state.h"
#include "state/wakes.h"

namespace rv {

void keySpammerPass() {
    if (!keySpamming.load()) {
        if (int32_t made = keyPressCount.exchange(0)) lastKeyPressRun.store(made);
        keyPressMeter.forget();
        if (!autoClicking.load()) inputBlocked.store(false);
        nap(Sleeper::KeySpammer, kWorkerNapMs);
        return;
    }
    const KeySpamSettings settings = keySpamSettings();
    if (settings.limited && keyPressCount.load() >= settings.times) {
        keySpamming.store(false);
        wake(Sleeper::Control);
        return;
    }
    // Both records name the same key even if the target changes meanwhile.
    // The release goes out even when the press was refused, so no key is left down between them.
    bool taken = plat::injectKey(settings.key, true) > 0;
    taken = plat::injectKey(settings.key, false) > 0 && taken;
    int64_t done = plat::ticks();
    inputBlocked.store(!taken);
    if (taken) {
        if (keyPressCount.fetch_add(1) == 0) lastKeyPressRun.store(0);
        keyPressMeter.note(done);
    }

    const double interval = intervalSeconds(settings.interval);
    polledWait(
        done, taken ? interval : blockedRetrySeconds(interval),
        [] { return keySpamming.load() && appRunning.load(); }, Sleeper::KeySpammer);
}

void keySpammerThread() {
    while (appRunning.load()) keySpammerPass();
}

}  // namespace rv
