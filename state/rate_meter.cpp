#include "state/rate_meter.h"

namespace rv {

void RateMeter::note(int64_t tick) {
    uint64_t number = noted.load(std::memory_order_relaxed);
    stamps[number % kSlots].store(tick, std::memory_order_relaxed);
    noted.store(number + 1, std::memory_order_release);
}

void RateMeter::forget() {
    uint64_t number = noted.load(std::memory_order_relaxed);
    if (runStart.load(std::memory_order_relaxed) != number) runStart.store(number, std::memory_order_release);
}

double RateMeter::perSecond(int64_t now, int64_t frequency) const {
    if (frequency <= 0) return 0;
    uint64_t first = runStart.load(std::memory_order_acquire);
    uint64_t count = noted.load(std::memory_order_acquire);
    if (count < first + 2) return 0;
    // The writer goes on while this reads: stay one slot clear of the one it may be writing, and
    // check afterwards that none of the slots read has been written again.
    uint64_t oldest = count > kSlots ? count - kSlots + 1 : 0;
    if (oldest < first) oldest = first;
    const int64_t windowStart = now - frequency;
    uint64_t index = count - 1;
    const int64_t last = stamps[index % kSlots].load(std::memory_order_relaxed);
    const int64_t beforeLast = stamps[(index - 1) % kSlots].load(std::memory_order_relaxed);
    int64_t anchor = last;
    uint64_t gaps = 0;
    // Every action inside the window counts with the gap before it; the walk ends at the first
    // stamp before the window, which anchors the span.
    while (index > oldest && anchor > windowStart) {
        --index;
        anchor = stamps[index % kSlots].load(std::memory_order_relaxed);
        ++gaps;
    }
    std::atomic_thread_fence(std::memory_order_acquire);
    uint64_t lowestRead = index < count - 2 ? index : count - 2;
    if (noted.load(std::memory_order_relaxed) >= lowestRead + kSlots) return 0;

    if (gaps == 0) {
        // Nothing in the last second: an interval longer than that keeps its rate until overdue.
        int64_t gap = last - beforeLast;
        if (gap <= 0 || now - last > gap) return 0;
        return static_cast<double>(frequency) / static_cast<double>(gap);
    }
    int64_t span = last - anchor;
    if (span <= 0) return 0;
    return static_cast<double>(gaps) * static_cast<double>(frequency) / static_cast<double>(span);
}

}  // namespace rv
