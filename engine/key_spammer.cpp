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
    if (ksRptMode.load() == 0 && keyPressCount.load() >= ksRptTimes.load()) {
        keySpamming.store(false);
        wake(Sleeper::control);
        return;
    }
    // Both records name the same key even if the target changes meanwhile.
    int32_t key = keySpamTarget.load();
    plat::injectKey(key, true);
    plat::injectKey(key, false);
    int64_t done = plat::ticks();
    keyPressCount.fetch_add(1);
    keyPressMeter.note(done);

    double interval = intervalSeconds(ksh.load(), ksm.load(), kss.load(), ksms.load());
    polledWait(
        done, interval, [] { return keySpamming.load() && appRunning.load(); }, Sleeper::keySpammer);
}

void keySpammerThread() {
    while (appRunning.load()) keySpammerPass();
}

}  // namespace rv
