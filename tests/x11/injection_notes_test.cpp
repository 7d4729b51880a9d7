// The notes that mark our own injected input, on a clock the tests drive.
#include "platform/x11/injection_notes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

using plat::x11::InjectionNotes;
using plat::x11::NoteKind;

constexpr int64_t kMs = 1'000'000;

TEST(InjectionNotes, EachNoteMatchesOneEchoOfTheSameKindAndDetail) {
    auto notes = std::make_unique<InjectionNotes>();
    notes->note(NoteKind::Key, 38, 0);
    notes->note(NoteKind::Key, 38, 1 * kMs);
    notes->note(NoteKind::Button, 1, 2 * kMs);
    notes->note(NoteKind::Motion, 0, 3 * kMs);

    EXPECT_FALSE(notes->matchEcho(NoteKind::Button, 38, 5 * kMs));  // kind differs
    EXPECT_FALSE(notes->matchEcho(NoteKind::Key, 39, 5 * kMs));     // detail differs
    EXPECT_TRUE(notes->matchEcho(NoteKind::Key, 38, 5 * kMs));
    EXPECT_TRUE(notes->matchEcho(NoteKind::Key, 38, 5 * kMs));
    EXPECT_FALSE(notes->matchEcho(NoteKind::Key, 38, 5 * kMs));  // both consumed
    EXPECT_TRUE(notes->matchEcho(NoteKind::Motion, 0, 5 * kMs));
    EXPECT_TRUE(notes->matchEcho(NoteKind::Button, 1, 5 * kMs));
    EXPECT_FALSE(notes->matchEcho(NoteKind::Button, 1, 5 * kMs));
}

TEST(InjectionNotes, EchoConsumesTheOldestNoteAndStaleNotesAreDropped) {
    auto notes = std::make_unique<InjectionNotes>();
    notes->note(NoteKind::Button, 4, 0);
    notes->note(NoteKind::Button, 4, 900 * kMs);
    // Matching the newer note here would leave the older one to go stale, and the second echo below
    // would then find nothing.
    EXPECT_TRUE(notes->matchEcho(NoteKind::Button, 4, 950 * kMs));
    EXPECT_TRUE(notes->matchEcho(NoteKind::Button, 4, 1500 * kMs));
    EXPECT_FALSE(notes->matchEcho(NoteKind::Button, 4, 1500 * kMs));

    notes->note(NoteKind::Key, 10, 2000 * kMs);
    EXPECT_TRUE(notes->matchEcho(NoteKind::Key, 10, 3000 * kMs));  // exactly one second old
    notes->note(NoteKind::Key, 10, 4000 * kMs);
    EXPECT_FALSE(notes->matchEcho(NoteKind::Key, 10, 5001 * kMs));
}

TEST(InjectionNotes, AFullRingRefusesNotesUntilSlotsAreFreed) {
    auto notes = std::make_unique<InjectionNotes>();
    for (size_t i = 0; i < InjectionNotes::kSlots; ++i) ASSERT_TRUE(notes->note(NoteKind::Motion, 0, 0)) << i;
    EXPECT_FALSE(notes->note(NoteKind::Key, 1, 0));

    EXPECT_TRUE(notes->matchEcho(NoteKind::Motion, 0, 0));
    EXPECT_TRUE(notes->note(NoteKind::Key, 1, 0));
    EXPECT_FALSE(notes->note(NoteKind::Key, 2, 0));

    // Any query drops the stale notes, whatever it asks about.
    EXPECT_FALSE(notes->matchEcho(NoteKind::Button, 1, 2000 * kMs));
    for (size_t i = 0; i < InjectionNotes::kSlots; ++i)
        ASSERT_TRUE(notes->note(NoteKind::Key, 3, 2000 * kMs)) << i;
}

TEST(InjectionNotes, ConcurrentProducersLoseNoNoteAndGainNone) {
    auto notes = std::make_unique<InjectionNotes>();
    constexpr int kProducers = 4;
    constexpr int kNotesEach = 20000;
    std::atomic<int> producersDone{0};
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&, p] {
            for (int i = 0; i < kNotesEach; ++i) {
                // A full ring waits for the consumer here, so that every note is eventually taken.
                while (!notes->note(NoteKind::Key, static_cast<uint32_t>(p), 0)) std::this_thread::yield();
            }
            producersDone.fetch_add(1);
        });
    }
    int matched[kProducers] = {};
    int total = 0;
    while (total < kProducers * kNotesEach) {
        // Read before the scan: a scan that finds nothing after every producer had finished means
        // the ring is empty for good.
        bool allDone = producersDone.load() == kProducers;
        bool any = false;
        for (int p = 0; p < kProducers; ++p) {
            if (notes->matchEcho(NoteKind::Key, static_cast<uint32_t>(p), 0)) {
                ++matched[p];
                ++total;
                any = true;
            }
        }
        if (!any && allDone) break;
    }
    for (std::thread& producer : producers) producer.join();
    for (int p = 0; p < kProducers; ++p) {
        EXPECT_EQ(matched[p], kNotesEach) << p;
        EXPECT_FALSE(notes->matchEcho(NoteKind::Key, static_cast<uint32_t>(p), 0));
    }
}

}  // namespace
