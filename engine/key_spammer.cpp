#include "engine/key_spammer.h"

#include "engine/timing.h"
#include "platform/platform.h"
#include "state/state.h"
#include "state/wakes.h"

namespace rv {

void keySpammerPass() {
    if (!keySpamming.load()) {
        keyPressCount.store(0);
        keyPressMeter.forget();
        nap(Sleeper::keySpammer, kWorkerNapMs);
        return;
    }
    const KeySpamSettings settings = keySpamSettings();
    if (settings.limited && keyPressCount.load() >= settings.times) {
        keySpamming.store(false);
        wake(Sleeper::control);
        return;
    }
    // Both records name the same key even if the target changes meanwhile.
    plat::injectKey(settings.key, true);
    plat::injectKey(settings.key, false);
    int64_t done = plat::ticks();
    keyPressCount.fetch_add(1);
    keyPressMeter.note(done);

    polledWait(
        done, intervalSeconds(settings.interval), [] { return keySpamming.load() && appRunning.load(); },
        Sleeper::keySpammer);
}

void keySpammerThread() {
    while (appRunning.load()) keySpammerPass();
}

}  // namespace rv
