#include "state/rate_meter.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr int64_t kFrequency = 10'000'000;
constexpr int64_t kMs = kFrequency / 1000;

// A meter of its own per test: it is large, so not on the stack.
std::unique_ptr<rv::RateMeter> meter() {
    return std::make_unique<rv::RateMeter>();
}

}  // namespace

TEST(RateMeter, RateOverTheLastSecondFromTheStamps) {
    struct Case {
        const char* name;
        int64_t gap;  // ticks between actions
        int actions;
        int64_t readAfter;  // ticks after the last action
        double expected;
    };
    const Case cases[] = {
        {"ten a second, slightly slow", 100 * kMs + 2 * kMs / 10, 30, 0, 9.98},
        {"read between two actions", 100 * kMs, 30, 50 * kMs, 10.0},
        {"every millisecond", kMs, 3000, 0, 1000.0},
        {"faster than the ring holds", kMs / 4, 10000, 0, 4000.0},
        {"one every two seconds, not yet overdue", 2000 * kMs, 3, 1500 * kMs, 0.5},
        {"one every two seconds, overdue", 2000 * kMs, 3, 2001 * kMs, 0.0},
        {"stopped over a second ago", 100 * kMs, 30, 1200 * kMs, 0.0},
        {"a single action", 100 * kMs, 1, 0, 0.0},
        {"none", 100 * kMs, 0, 0, 0.0},
    };
    for (const Case& c : cases) {
        auto m = meter();
        int64_t t = 5 * kFrequency;
        for (int i = 0; i < c.actions; ++i) m->note(t += c.gap);
        EXPECT_NEAR(m->perSecond(t + c.readAfter, kFrequency), c.expected, 0.005) << c.name;
    }
}

TEST(RateMeter, ANewRunForgetsTheOldOnesStamps) {
    auto m = meter();
    int64_t t = 0;
    for (int i = 0; i < 500; ++i) m->note(t += kMs);  // a fast run
    m->forget();
    EXPECT_EQ(m->perSecond(t, kFrequency), 0.0);
    m->note(t += 10 * kMs);
    EXPECT_EQ(m->perSecond(t, kFrequency), 0.0);  // one action of the new run: no gap yet
    for (int i = 0; i < 5; ++i) m->note(t += 100 * kMs);
    EXPECT_NEAR(m->perSecond(t, kFrequency), 10.0, 1e-9);
    EXPECT_EQ(m->perSecond(t, 0), 0.0);
}
