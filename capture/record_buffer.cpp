#include "capture/record_buffer.h"

#include <algorithm>
#include <new>

namespace rv {

RecordBuffer::RecordBuffer() : tail_(new Block), head_(tail_) {}

RecordBuffer::~RecordBuffer() {
    for (Block* block = head_; block;) {
        Block* next = block->next.load();
        delete block;
        block = next;
    }
}

void RecordBuffer::append(const MacroEvent& event) {
    if (tailUsed_ == kBlockEvents) {
        Block* block = new Block;
        tail_->next.store(block, std::memory_order_release);
        tail_ = block;
        tailUsed_ = 0;
    }
    new (tail_->events() + tailUsed_++) MacroEvent(event);
    appended_.fetch_add(1, std::memory_order_release);
}

size_t RecordBuffer::drainInto(std::vector<MacroEvent>* out) {
    const uint64_t drained = drained_.load(std::memory_order_relaxed);
    const size_t count = static_cast<size_t>(appended_.load(std::memory_order_acquire) - drained);
    if (out) out->reserve(out->size() + count);
    for (size_t left = count; left > 0;) {
        // A full block is left only once the producer has linked the next: it has, since events
        // past this block were counted.
        if (headRead_ == kBlockEvents) {
            Block* next = head_->next.load(std::memory_order_acquire);
            delete head_;
            head_ = next;
            headRead_ = 0;
        }
        const size_t take = std::min(left, kBlockEvents - headRead_);
        const MacroEvent* from = head_->events() + headRead_;
        if (out) out->insert(out->end(), from, from + take);
        headRead_ += take;
        left -= take;
    }
    drained_.store(drained + count, std::memory_order_relaxed);
    return count;
}

size_t RecordBuffer::pending() const {
    const uint64_t drained = drained_.load(std::memory_order_relaxed);
    const uint64_t appended = appended_.load(std::memory_order_acquire);
    return appended > drained ? static_cast<size_t>(appended - drained) : 0;
}

}  // namespace rv
