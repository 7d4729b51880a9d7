#include "engine/timing.h"

#include "support/fresh_state.h"

namespace {

class Timing : public FreshState {
  protected:
    void SetUp() override {
        FreshState::SetUp();
        rv::counterFrequency = fake::kFrequency;
    }
    static double secondsSince(int64_t start) { return rv::elapsedSeconds(start, fake::now()); }
};

}  // namespace

TEST(IntervalLength, AddsUnitsAndNeverGoesBelowOneMillisecond) {
    EXPECT_DOUBLE_EQ(rv::intervalSeconds(0, 0, 0, 0), 0.001);
    EXPECT_DOUBLE_EQ(rv::intervalSeconds(0, 0, 0, 1), 0.001);
    EXPECT_DOUBLE_EQ(rv::intervalSeconds(0, 0, 0, 100), 0.1);
    EXPECT_DOUBLE_EQ(rv::intervalSeconds(1, 30, 0, 0), 5400.0);
    EXPECT_DOUBLE_EQ(rv::intervalSeconds(0, 0, 1, 500), 1.5);
    EXPECT_DOUBLE_EQ(rv::intervalSeconds(0, 0, -1, 0), 0.001);
    EXPECT_DOUBLE_EQ(rv::intervalSeconds(0, 0, 1, -999), 0.001);
    EXPECT_DOUBLE_EQ(rv::intervalSeconds(0, 0, 1, -998), 0.002);
    // Large values cannot overflow: the sum is in floating point.
    EXPECT_DOUBLE_EQ(rv::intervalSeconds(INT32_MAX, 0, 0, 0), 3600.0 * INT32_MAX);
}

TEST_F(Timing, WaitEndsAtItsTargetNotAMillisecondLate) {
    for (double target : {0.0025, 0.010, 0.1004, 0.0003}) {
        int64_t start = fake::now();
        rv::polledWait(start, target, [] { return true; });
        double waited = secondsSince(start);
        EXPECT_GE(waited, target);
        EXPECT_LT(waited, target + 0.00001) << target;
    }
}

TEST_F(Timing, WaitSleepsInMillisecondStepsAndStopsWithinOneWhenToldTo) {
    int64_t start = fake::now();
    int64_t sleepsBefore = fake::sleepCount();
    std::atomic<bool> active{true};
    fake::onSleep([&](int64_t now) {
        if (rv::elapsedSeconds(start, now) >= 0.0305) active = false;
    });
    rv::polledWait(start, 3600.0, [&] { return active.load(); });
    double waited = secondsSince(start);
    EXPECT_GE(waited, 0.0305);
    EXPECT_LT(waited, 0.0325);
    EXPECT_LE(fake::sleepCount() - sleepsBefore, 32);
}

TEST_F(Timing, SpinReachesTheTargetWithoutSleeping) {
    int64_t sleepsBefore = fake::sleepCount();
    int64_t target = fake::now() + 500;
    rv::spinUntil(target);
    EXPECT_GE(fake::now(), target);
    EXPECT_EQ(fake::sleepCount(), sleepsBefore);
}
