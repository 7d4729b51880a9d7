#include "state/wakes.h"

#include <array>

#include "platform/platform.h"

namespace rv {

namespace {

constexpr int kSleepers = static_cast<int>(Sleeper::Autosave) + 1;

// Made on first use, by whichever thread comes first, and kept for the life of the process.
plat::WakeHandle wakeOf(Sleeper who) {
    static const std::array<plat::WakeHandle, kSleepers> wakes = [] {
        std::array<plat::WakeHandle, kSleepers> made{};
        for (plat::WakeHandle& wake : made) wake = plat::createWake();
        return made;
    }();
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
    for (int who = 0; who < kSleepers; ++who) wake(static_cast<Sleeper>(who));
}

void raiseRequest(std::atomic<bool>& request) {
    // The request is set before the wake, so the woken thread finds it.
    request.exchange(true);
    wake(Sleeper::Control);
}

}  // namespace rv
