// The recording's hand-over buffer: order and count across blocks, with a consumer draining while
// the producer appends.
#include "capture/record_buffer.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

rv::MacroEvent numbered(int32_t n) {
    rv::MacroEvent event;
    event.x = n;
    return event;
}

TEST(RecordBuffer, DrainsEveryEventInOrderAcrossBlocks) {
    rv::RecordBuffer buffer;
    std::vector<rv::MacroEvent> out;
    const size_t block = rv::RecordBuffer::kBlockEvents;
    // Drains that end inside a block, exactly at its end, and several blocks later.
    int32_t next = 0;
    for (size_t batch : {size_t{5}, block - 5, size_t{1}, 3 * block + 7, size_t{0}}) {
        for (size_t i = 0; i < batch; ++i) buffer.append(numbered(next++));
        EXPECT_EQ(buffer.pending(), batch);
        EXPECT_EQ(buffer.drainInto(&out), batch);
        EXPECT_EQ(buffer.pending(), 0u);
    }
    ASSERT_EQ(out.size(), static_cast<size_t>(next));
    for (int32_t i = 0; i < next; ++i) ASSERT_EQ(out[static_cast<size_t>(i)].x, i);

    // Dropped events are gone; what follows them still comes.
    buffer.append(numbered(-1));
    EXPECT_EQ(buffer.drainInto(nullptr), 1u);
    buffer.append(numbered(next));
    EXPECT_EQ(buffer.drainInto(&out), 1u);
    EXPECT_EQ(out.back().x, next);
}

TEST(RecordBuffer, ConsumerDrainingWhileTheProducerAppendsLosesNothing) {
    rv::RecordBuffer buffer;
    constexpr int32_t kCount = 300000;
    std::thread producer([&] {
        for (int32_t i = 0; i < kCount; ++i) buffer.append(numbered(i));
    });
    std::vector<rv::MacroEvent> out;
    while (out.size() < static_cast<size_t>(kCount)) buffer.drainInto(&out);
    producer.join();
    EXPECT_EQ(buffer.drainInto(&out), 0u);
    ASSERT_EQ(out.size(), static_cast<size_t>(kCount));
    for (int32_t i = 0; i < kCount; ++i) ASSERT_EQ(out[static_cast<size_t>(i)].x, i) << i;
}

}  // namespace
