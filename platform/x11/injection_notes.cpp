#include "platform/x11/injection_notes.h"

#include <limits>

#include "platform/x11/fd_wait.h"

namespace plat::x11 {

bool InjectionNotes::note(NoteKind kind, uint32_t detail, int64_t nowNs) {
    const uint64_t order = nextOrder_.fetch_add(1, std::memory_order_relaxed);
    // Start at the slot the order number points to: while the consumer keeps up, that slot is free
    // and producers on different orders never touch the same slot.
    for (size_t probe = 0; probe < kSlots; ++probe) {
        Slot& slot = slots_[(order + probe) % kSlots];
        uint32_t expected = kFree;
        if (slot.state.load(std::memory_order_relaxed) != kFree) continue;
        if (!slot.state.compare_exchange_strong(expected, kWriting, std::memory_order_acquire,
                                                std::memory_order_relaxed))
            continue;
        slot.kind = kind;
        slot.detail = detail;
        slot.timeNs = nowNs;
        slot.order = order;
        slot.state.store(kReady, std::memory_order_release);
        return true;
    }
    return false;
}

bool InjectionNotes::matchEcho(NoteKind kind, uint32_t detail, int64_t nowNs) {
    Slot* oldest = nullptr;
    uint64_t oldestOrder = std::numeric_limits<uint64_t>::max();
    for (Slot& slot : slots_) {
        if (slot.state.load(std::memory_order_acquire) != kReady) continue;
        if (nowNs - slot.timeNs > kStaleNs) {
            slot.state.store(kFree, std::memory_order_release);
            continue;
        }
        if (slot.kind == kind && slot.detail == detail && slot.order < oldestOrder) {
            oldest = &slot;
            oldestOrder = slot.order;
        }
    }
    if (!oldest) return false;
    oldest->state.store(kFree, std::memory_order_release);
    return true;
}

void InjectionNotes::clear() {
    for (Slot& slot : slots_) {
        if (slot.state.load(std::memory_order_acquire) == kReady)
            slot.state.store(kFree, std::memory_order_release);
    }
}

namespace {
InjectionNotes processNotes;
}  // namespace

void noteInjection(NoteKind kind, uint32_t detail) {
    processNotes.note(kind, detail, monotonicNs());
}

bool isInjectionEcho(NoteKind kind, uint32_t detail) {
    return processNotes.matchEcho(kind, detail, monotonicNs());
}

void dropInjectionNotes() {
    processNotes.clear();
}

}  // namespace plat::x11
