// Private to the X11 backend: the notes that tell our own injected input from anyone else's.
//
// Input sent with XTest by this program, by xdotool or by a VNC server all arrives from the same XTEST
// slave devices, so the source device cannot tell them apart. Each injection primitive notes its action
// here just before sending it; the capture thread asks, for each XTEST-sourced raw event, whether it is
// the echo of such a note. Notes that never see their echo are dropped after about a second.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace plat::x11 {

enum class NoteKind : uint32_t { Key = 1, Button = 2, Motion = 3 };

// A fixed ring of note slots, lock-free, for any number of producer threads and one consumer thread.
// Never blocks and never allocates. Times are nanoseconds of CLOCK_MONOTONIC (passed in so tests can
// drive the clock).
class InjectionNotes {
  public:
    static constexpr size_t kSlots = 512;
    static constexpr int64_t kStaleNs = 1'000'000'000;

    // Notes one action (key: keycode, button: X button number, motion: 0) taken at `nowNs`. False when
    // every slot holds a pending note: the action then reads as real input. Any thread.
    bool note(NoteKind kind, uint32_t detail, int64_t nowNs);

    // Whether an XTEST-sourced raw event of this kind and detail is the echo of a pending note: if so,
    // consumes the oldest such note. Drops every note older than kStaleNs first. Consumer thread only.
    bool matchEcho(NoteKind kind, uint32_t detail, int64_t nowNs);

    // Frees every pending note. Consumer thread only.
    void clear();

  private:
    enum : uint32_t { kFree = 0, kWriting = 1, kReady = 2 };

    // A producer owns a slot from kFree to kReady; from kReady the consumer owns it until it frees it.
    struct Slot {
        std::atomic<uint32_t> state{kFree};
        NoteKind kind = NoteKind::Key;
        uint32_t detail = 0;
        int64_t timeNs = 0;
        uint64_t order = 0;
    };

    std::array<Slot, kSlots> slots_{};
    std::atomic<uint64_t> nextOrder_{0};
};

// The process's notes at the current time: noteInjection from the injection primitives (any thread),
// isInjectionEcho from the capture thread.
void noteInjection(NoteKind kind, uint32_t detail);
bool isInjectionEcho(NoteKind kind, uint32_t detail);
// Forgets every pending note: injections made while nobody listened have no echo to match, and
// left standing they could claim someone else's XTEST input. Capture thread, once it listens.
void dropInjectionNotes();

}  // namespace plat::x11
