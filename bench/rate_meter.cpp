// What measuring the clicker's and key spammer's rate costs: the worker's note per action, and the
// status text's read of the rate while a reader polls it from another thread.
//   build/linux/bench/rate_meter
#include "state/rate_meter.h"

#include <time.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

namespace {

int64_t nowNanos() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

}  // namespace

int main() {
    constexpr int64_t kFrequency = 1000000000;  // stamps in nanoseconds
    constexpr int kNotes = 20000000;
    auto meter = std::make_unique<rv::RateMeter>();

    // Alone: the cost of one note as the worker pays it.
    int64_t start = nowNanos();
    for (int i = 0; i < kNotes; ++i) meter->note(start + i * 1000000LL);
    double alone = static_cast<double>(nowNanos() - start) / kNotes;

    // With a reader polling the rate as fast as it can on another thread.
    std::atomic<bool> stop{false};
    std::atomic<long> reads{0};
    std::thread reader([&] {
        while (!stop.load()) {
            volatile double rate = meter->perSecond(nowNanos(), kFrequency);
            (void)rate;
            reads.fetch_add(1);
        }
    });
    meter->forget();
    start = nowNanos();
    for (int i = 0; i < kNotes; ++i) meter->note(nowNanos());
    int64_t spent = nowNanos() - start;
    stop = true;
    reader.join();
    double contended = static_cast<double>(spent) / kNotes;

    // With a reader as the page has it: one read every 250 ms.
    stop = false;
    std::thread poller([&] {
        while (!stop.load()) {
            volatile double rate = meter->perSecond(nowNanos(), kFrequency);
            (void)rate;
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
    });
    meter->forget();
    start = nowNanos();
    for (int i = 0; i < kNotes; ++i) meter->note(nowNanos());
    double polled = static_cast<double>(nowNanos() - start) / kNotes;
    stop = true;
    poller.join();

    // The clock read alone, to set the figures above against.
    volatile int64_t sink = 0;
    start = nowNanos();
    for (int i = 0; i < kNotes; ++i) sink = nowNanos();
    double clockOnly = static_cast<double>(nowNanos() - start) / kNotes;
    (void)sink;

    // One read with the ring full of stamps from the last second (the most a read walks).
    meter->forget();
    int64_t base = nowNanos();
    for (int i = 0; i < 2000; ++i) meter->note(base + i * 400000LL);
    int64_t readStart = nowNanos();
    double rate = 0;
    for (int i = 0; i < 10000; ++i) rate += meter->perSecond(base + 800000000LL, kFrequency);
    double perRead = static_cast<double>(nowNanos() - readStart) / 10000;

    std::printf("note_ns_alone=%.2f\n", alone);
    std::printf("note_ns_with_reader_polling_nonstop=%.2f (clock read included; %ld reads meanwhile)\n",
                contended, reads.load());
    std::printf("note_ns_with_reader_every_250ms=%.2f (clock read included)\n", polled);
    std::printf("clock_read_ns=%.2f\n", clockOnly);
    std::printf("read_us_full_window=%.2f (rate %.1f/s)\n", perRead / 1000, rate / 10000);
    return 0;
}
