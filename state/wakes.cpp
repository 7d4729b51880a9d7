#include "state/wakes.h"

#include "platform/platform.h"

namespace rv {

namespace {

constexpr int kSleepers = 5;

// Made on first use, by whichever thread comes first, and kept for the life of the process.
plat::WakeHandle wakeOf(Sleeper who) {
    static const plat::WakeHandle wakes[kSleepers] = {
        plat::createWake(), plat::createWake(), plat::createWake(), plat::createWake(), plat::createWake()};
    return wakes[static_cast<int>(who)];
}

}  // namespace

bool nap(Sleeper who, int milliseconds) {
    return plat::napOnWake(wakeOf(who), static_cast<int64_t>(milliseconds) * 1000);
}

void wake(Sleeper who) {
    plat::signalWake(wakeOf(who));
}

void wakeAll() {
    for (Sleeper who : {Sleeper::control, Sleeper::autoClicker, Sleeper::keySpammer, Sleeper::player})
        wake(who);
}

void raiseRequest(std::atomic<bool>& request) {
    // The request is set before the wake, so the woken thread finds it.
    request.exchange(true);
    wake(Sleeper::control);
}

}  // namespace rv
