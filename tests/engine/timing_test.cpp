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

// Each worker's interval as its settings give it: hours, minutes, seconds and milliseconds each in
// their own place, never below a millisecond, without overflow.
TEST_F(Timing, WorkerIntervalsAddTheirOwnUnits) {
    struct Case {
        int32_t h, m, s, ms;
        double seconds;
    };
    for (const Case& c : {Case{0, 0, 0, 0, 0.001}, Case{0, 0, 0, 1, 0.001}, Case{0, 0, 0, 100, 0.1},
                          Case{1, 30, 0, 0, 5400.0}, Case{0, 1, 2, 0, 62.0}, Case{0, 2, 1, 3, 121.003},
                          Case{0, 0, 1, 500, 1.5}, Case{0, 0, -1, 0, 0.001}, Case{0, 0, 1, -999, 0.001},
                          Case{0, 0, 1, -998, 0.002}, Case{INT32_MAX, 0, 0, 0, 3600.0 * INT32_MAX}}) {
        rv::sh = c.h, rv::sm = c.m, rv::ss = c.s, rv::sms = c.ms;
        rv::ksh = c.h, rv::ksm = c.m, rv::kss = c.s, rv::ksms = c.ms;
        EXPECT_DOUBLE_EQ(rv::intervalSeconds(rv::clickerSettings().interval), c.seconds) << c.m << ":" << c.s;
        EXPECT_DOUBLE_EQ(rv::intervalSeconds(rv::keySpamSettings().interval), c.seconds) << c.m << ":" << c.s;
    }
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

TEST_F(Timing, TheClosingSleepLearnsHowLateSleepsEndAndSpinsOnlyTheRest) {
    // Sleeps that end late by `late`: after a few waits the wait still ends at its target, having
    // slept until just before it and spun no more than the cap.
    struct Case {
        double late, learnedAtLeast, learnedAtMost;
    };
    for (Case c : {Case{0.0, 0.0, 0.000005}, Case{0.00004, 0.000035, 0.000045},
                   Case{0.0001, 0.00009, 0.00011}, Case{0.002, 0.0009, 0.0010001}}) {
        int64_t sleptUntil = 0;
        fake::onSleep([&](int64_t) {
            fake::advance(static_cast<int64_t>(c.late * fake::kFrequency));
            sleptUntil = fake::now();
        });
        double spun = 0, overran = 0;
        for (int i = 0; i < 60; ++i) {
            int64_t start = fake::now();
            rv::polledWait(start, 0.0007, [] { return true; });
            overran = secondsSince(start) - 0.0007;
            spun = rv::elapsedSeconds(sleptUntil, fake::now());
        }
        // Waits whose last millisecond step would run past the target end on it as well.
        for (double target : {0.00101, 0.00104, 0.0051}) {
            int64_t start = fake::now();
            rv::polledWait(start, target, [] { return true; });
            double late = secondsSince(start) - target;
            if (c.late <= rv::kMaxSpinSeconds / 2) {
                EXPECT_LT(late, 0.000002) << c.late << " " << target;
            }
        }
        EXPECT_GE(rv::expectedSleepLateness(), c.learnedAtLeast) << c.late;
        EXPECT_LE(rv::expectedSleepLateness(), c.learnedAtMost) << c.late;
        EXPECT_GE(overran, 0.0) << c.late;
        if (c.late <= rv::kMaxSpinSeconds / 2) {
            EXPECT_LT(overran, 0.000002) << c.late;        // ends at its target
            EXPECT_LT(spun, c.late + 0.000002) << c.late;  // and spins about one lateness
        } else {
            // Sleeps coarser than the cap: the spin stays bounded and the wait ends as late as its sleep.
            EXPECT_LT(spun, 0.000002) << c.late;
            EXPECT_LT(overran, c.late - rv::kMaxSpinSeconds + 0.000002) << c.late;
        }
    }
}

// A cycle's period and press: fixed, automatic or drawn within their ranges, the press never filling
// the period.
TEST_F(Timing, CyclePeriodAndPressStayWithinTheirRanges) {
    struct Case {
        int32_t intervalMs;
        rv::Timing timing;  // intervalMaxMs, pressMs, pressMaxMs, limitSeconds
        double periodDraw, pressDraw;
        double period, press;  // milliseconds
    };
    constexpr int32_t kAuto = rv::kAutomaticPress;
    for (const Case& c : {
             Case{30, {0, kAuto, 0, 0}, 0.5, 0.5, 30, 10},       // a third of the interval
             Case{100, {0, kAuto, 0, 0}, 0.5, 0.5, 100, 20},     // at most 20 ms
             Case{1, {0, kAuto, 0, 0}, 0.5, 0.5, 1, 1.0 / 3},    // 1 ms intervals keep their pace
             Case{100, {0, 0, 0, 0}, 0.5, 0.5, 100, 0},          // back to back
             Case{100, {0, 0, 30, 0}, 0.5, 0.5, 100, 15},        // 0 to 30 ms
             Case{100, {0, 40, 0, 0}, 0.5, 0.9, 100, 40},        // fixed
             Case{100, {0, 40, 60, 0}, 0.0, 0.0, 100, 40},       // drawn: the lowest
             Case{100, {0, 40, 60, 0}, 0.0, 0.999999, 100, 60},  // and nearly the highest
             Case{50, {0, 80, 0, 0}, 0.5, 0.5, 50, 49},          // a millisecond stays released
             Case{1, {0, 5, 0, 0}, 0.5, 0.5, 1, 0.5},            // half of a period below 2 ms
             Case{100, {300, 0, 0, 0}, 0.0, 0.5, 100, 0},        // random interval: 100 to 300 ms
             Case{100, {300, 0, 0, 0}, 0.5, 0.5, 200, 0}, Case{100, {300, 0, 0, 0}, 0.999999, 0.5, 300, 0},
             Case{100, {80, 0, 0, 0}, 0.9, 0.5, 100, 0},  // a maximum below the interval: fixed
         }) {
        rv::Cycle cycle =
            rv::cycleSeconds({rv::Hours{0}, rv::Minutes{0}, rv::Seconds{0}, rv::Milliseconds{c.intervalMs}},
                             c.timing, c.periodDraw, c.pressDraw);
        EXPECT_NEAR(cycle.period * 1000, c.period, 0.001) << c.intervalMs << " " << c.timing.intervalMaxMs;
        EXPECT_NEAR(cycle.press * 1000, c.press, 0.001) << c.intervalMs << " " << c.timing.pressMs;
    }
    for (int32_t jitter : {0, 1, 7}) {
        EXPECT_EQ(rv::jitterOffset(jitter, 0.0), -jitter);
        EXPECT_EQ(rv::jitterOffset(jitter, 0.999999), jitter);
        EXPECT_EQ(rv::jitterOffset(jitter, 0.5), 0);
    }
}
