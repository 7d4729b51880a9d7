// How fast a worker acts, measured where it acts: the worker notes the counter stamp of each action
// into a fixed ring (two relaxed stores and one release store, no lock, no allocation), and a reader
// on any thread works out the rate over the last second from the stamps.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace rv {

struct RateMeter {
    // About two seconds of actions at the fastest interval (1 ms); a faster run is measured over
    // the span the ring still holds.
    static constexpr size_t kSlots = 2048;

    std::atomic<int64_t> stamps[kSlots] = {};
    std::atomic<uint64_t> noted{0};     // actions ever noted; action number n sits in slot n % kSlots
    std::atomic<uint64_t> runStart{0};  // number of the first action of the current run

    // One action at counter stamp `tick`. The owning worker only.
    void note(int64_t tick);

    // Forgets the stamps noted so far (a new run starts from nothing). The owning worker only.
    void forget();

    // Actions per second at counter stamp `now`, with `frequency` ticks per second, any thread:
    // the actions of the last second, each counted with the gap before it, over the span from the
    // action before the first of them to the last. With none in the last second, the last gap still
    // counts while the next action is not yet overdue (an interval over a second), else 0.
    double perSecond(int64_t now, int64_t frequency) const;
};

}  // namespace rv
