// The events a recording takes, on their way from the capture thread into the profile.
//
// The capture thread's hooks must never wait: Windows drops a low-level hook that keeps it waiting
// for its time-out. Appending to the profile's vector would take profilesLock and, now and then,
// move the whole recording into a larger block (hundreds of milliseconds at a few million events).
// Here the capture thread appends into a chain of fixed blocks that never move, without a lock; the
// consumer moves the events into the profile on its own time.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "state/state.h"

namespace rv {

static_assert(std::is_trivially_copyable_v<MacroEvent>, "events are copied into raw storage");

class RecordBuffer {
  public:
    static constexpr size_t kBlockEvents = 16384;

    RecordBuffer();
    ~RecordBuffer();
    RecordBuffer(const RecordBuffer&) = delete;
    RecordBuffer& operator=(const RecordBuffer&) = delete;

    // Appends one event: a copy into the current block, and a new block every kBlockEvents events.
    // Takes no lock and never moves what is stored. One producer thread at a time.
    void append(const MacroEvent& event);

    // Moves every event appended so far to the end of `out`, in order, and returns how many; with
    // `out` null they are dropped. One consumer thread at a time (callers serialise it).
    size_t drainInto(std::vector<MacroEvent>* out);

    // Events appended and not yet drained. Any thread.
    size_t pending() const;

  private:
    // The events' storage is left as it comes: filling half a megabyte at once in the hook would
    // cost as much as the page faults it takes, which are spread over the appends instead.
    struct Block {
        std::atomic<Block*> next{nullptr};
        alignas(MacroEvent) unsigned char storage[kBlockEvents * sizeof(MacroEvent)];
        MacroEvent* events() { return reinterpret_cast<MacroEvent*>(storage); }
    };

    Block* tail_;          // producer
    size_t tailUsed_ = 0;  // producer
    Block* head_;          // consumer
    size_t headRead_ = 0;  // consumer
    std::atomic<uint64_t> appended_{0};
    std::atomic<uint64_t> drained_{0};
};

}  // namespace rv
