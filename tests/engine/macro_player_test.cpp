#include "engine/macro_player.h"

#include <limits>
#include <string>
#include <vector>

#include "engine/control.h"
#include "platform/input_math.h"
#include "support/fresh_state.h"

namespace {

using fake::InputKind;
using fake::InputRecord;
using rv::MacroEvent;

MacroEvent at(double time, int kind) {
    MacroEvent e;
    e.time = time, e.kind = kind;
    return e;
}

class Player : public FreshState {
  protected:
    void SetUp() override {
        FreshState::SetUp();
        rv::counterFrequency = fake::kFrequency;
        rv::profiles = {rv::Profile{"a", "", {}}, rv::Profile{"b", "", {}}};
    }
    static double seconds(int64_t ticks) { return static_cast<double>(ticks) / fake::kFrequency; }
};

}  // namespace

TEST(Glide, MovesAlongTheLineByTheFractionOfTimeTruncated) {
    rv::GlidePoint origin{0, 0};
    EXPECT_EQ(rv::glidePoint(origin, 100, 100, 0, 1, 0.5).x, 50);
    EXPECT_EQ(rv::glidePoint(origin, 100, 100, 0, 1, 0.999).x, 99);
    EXPECT_EQ(rv::glidePoint(origin, 100, 100, 0, 1, 2.0).x, 100);  // clamped at 1
    EXPECT_EQ(rv::glidePoint(origin, 100, 100, 0.5, 1, 0.2).x, 0);  // before the previous event: 0
    EXPECT_EQ(rv::glidePoint({10, 10}, -10, 0, 0, 1, 0.25).x, 5);
    EXPECT_EQ(rv::glidePoint({10, 10}, -10, 0, 0, 1, 0.25).y, 8);  // 10 + (-10 × 0.25 → -2)
    // Points at the ends of the 32-bit range: the way between them is computed without overflow.
    EXPECT_EQ(rv::glidePoint({-2000000000, 0}, 2000000000, 0, 0, 1, 0.5).x, 0);
    EXPECT_EQ(rv::glidePoint({-2000000000, 0}, 2000000000, 0, 0, 1, 1.0).x, 2000000000);
    EXPECT_EQ(rv::glidePoint({INT32_MAX, INT32_MIN}, INT32_MIN, INT32_MAX, 0, 1, 0.25).x, 1073741824);
    EXPECT_EQ(rv::glidePoint({INT32_MAX, INT32_MIN}, INT32_MIN, INT32_MAX, 0, 1, 1.0).y, INT32_MAX);
}

TEST_F(Player, EventsLeaveAtTheirTimesDividedBySpeedAndTheGlideLandsExactly) {
    MacroEvent move = at(1.0, 0);
    move.x = 100, move.y = 100;
    MacroEvent keyDown = at(1.5, 3);
    keyDown.vk = 65, keyDown.down = true;
    rv::profiles[0].events = {move, keyDown};

    for (float speed : {1.0f, 2.0f}) {
        fake::setCursor(0, 0);  // each pass glides from wherever the pointer is then
        rv::tspd = speed;
        rv::playing = true;
        int64_t start = fake::now();
        rv::macroPlayerPass();
        std::vector<InputRecord> records = fake::takeInjected();
        ASSERT_GE(records.size(), 3u);
        // Glide moves first: toward (100, 100), never past it, and the recorded point lands at 1 s.
        records.pop_back();  // the key's release at the end of the pass
        const InputRecord& last = records[records.size() - 2];
        EXPECT_EQ(last.kind, InputKind::AbsoluteMove);
        EXPECT_EQ(last.x, 100);
        EXPECT_NEAR(seconds(last.at - start), 1.0 / speed, 0.0001);
        EXPECT_GT(records.size(), 50u);  // it glided
        int32_t previousX = -1;
        for (size_t i = 0; i + 1 < records.size(); ++i) {
            EXPECT_GE(records[i].x, previousX);
            previousX = records[i].x;
        }
        const InputRecord& key = records.back();
        EXPECT_EQ(key.kind, InputKind::Key);
        EXPECT_NEAR(seconds(key.at - start), 1.5 / speed, 0.0001);
        EXPECT_FALSE(rv::playing);  // no loop: done after the last event
    }
}

TEST_F(Player, ReplayTable) {
    MacroEvent click = at(0, 2);
    click.x = 5, click.y = 6, click.flags = rv::MOUSEEVENTF_RIGHTDOWN;
    MacroEvent relative = at(0, 1);
    relative.x = -3, relative.y = 4;
    MacroEvent wheel = at(0, 4);
    wheel.wheel = -240;
    MacroEvent side = at(0, 2);
    side.flags = rv::MOUSEEVENTF_XDOWN, side.vk = 6;
    MacroEvent unknown = at(0, 9);
    rv::profiles[0].events = {click, relative, wheel, side, unknown};
    rv::playing = true;
    rv::macroPlayerPass();
    std::vector<InputRecord> records = fake::takeInjected();
    ASSERT_EQ(records.size(), 8u);  // the replayed six, then the releases of the two buttons held
    EXPECT_EQ(records[0].kind, InputKind::AbsoluteMove);  // the click goes to its point first, no glide
    EXPECT_EQ(records[0].x, 5);
    EXPECT_EQ(records[1].flags, rv::MOUSEEVENTF_RIGHTDOWN);
    EXPECT_EQ(records[2].kind, InputKind::RelativeMove);
    EXPECT_EQ(records[2].y, 4);
    EXPECT_EQ(records[3].flags, rv::MOUSEEVENTF_WHEEL);
    EXPECT_EQ(records[3].data, -240);
    EXPECT_EQ(records[5].flags, rv::MOUSEEVENTF_XDOWN);
    EXPECT_EQ(records[5].data, 2);  // the second side button
    EXPECT_EQ(records[6].flags, rv::MOUSEEVENTF_RIGHTUP);
    EXPECT_EQ(records[7].flags, rv::MOUSEEVENTF_XUP);
    EXPECT_EQ(records[7].data, 2);
}

TEST_F(Player, EmptyProfileStopsAtOnceAndLoopPausesThenCopiesAnew) {
    rv::playing = true;
    rv::macroPlayerPass();
    EXPECT_FALSE(rv::playing);
    EXPECT_TRUE(fake::takeInjected().empty());

    rv::profiles[0].events = {at(0.1, 3)};
    rv::profiles[1].events = {at(0.1, 3), at(0.2, 3)};
    rv::tloop = true;
    rv::tloopMs = 500;
    rv::playing = true;
    int64_t start = fake::now();
    rv::macroPlayerPass();
    EXPECT_TRUE(rv::playing);
    EXPECT_NEAR(seconds(fake::now() - start), 0.6, 0.001);  // the event at 0.1 s, then 500 ms
    EXPECT_EQ(fake::takeInjected().size(), 1u);

    rv::currentProfile = 1;  // switching during a loop plays the new profile next pass
    rv::tspd = 2.0f;         // the pause between passes does not scale with speed
    start = fake::now();
    rv::macroPlayerPass();
    EXPECT_EQ(fake::takeInjected().size(), 2u);
    EXPECT_NEAR(seconds(fake::now() - start), 0.6, 0.001);
}

TEST_F(Player, StoppingMidPassLeavesBeforeTheNextEvent) {
    rv::profiles[0].events = {at(0.1, 3), at(5.0, 3)};
    rv::playing = true;
    int64_t start = fake::now();
    fake::onSleep([start](int64_t now) {
        if (now - start > fake::kFrequency) rv::playing = false;
    });
    rv::macroPlayerPass();
    EXPECT_EQ(fake::takeInjected().size(), 1u);
    EXPECT_LT(seconds(fake::now() - start), 1.01);
}

TEST_F(Player, ASpeedThatIsNotPositiveCountsAsOne) {
    for (float speed : {0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN()}) {
        rv::tspd = speed;
        EXPECT_EQ(rv::playbackSpeed(), 1.0);
    }
    rv::tspd = 0.0f;
    rv::profiles[0].events = {at(0.25, 3)};
    rv::playing = true;
    int64_t start = fake::now();
    rv::macroPlayerPass();
    EXPECT_NEAR(seconds(fake::now() - start), 0.25, 0.001);
}

TEST_F(Player, PositionAndPassAreKeptAndARepeatCountEndsTheLoop) {
    rv::profiles[0].events = {at(0.1, 3), at(0.2, 3), at(0.3, 3)};
    rv::tloop = true;
    rv::tloopMs = 100;
    rv::playRepeat = 2;
    rv::playing = true;
    // What the status would show at each sleep: pass, events replayed, events in the pass.
    std::vector<std::string> seen;
    fake::onSleep([&seen](int64_t) {
        std::string now = std::to_string(rv::playPass) + ":" + std::to_string(rv::playEventIndex) + "/" +
                          std::to_string(rv::playEventTotal);
        if (seen.empty() || seen.back() != now) seen.push_back(now);
    });
    int passes = 0;
    while (rv::playing && passes < 10) {
        rv::macroPlayerPass();
        ++passes;
    }
    EXPECT_EQ(passes, 2);  // two passes, then it stopped by itself
    EXPECT_EQ(fake::takeInjected().size(), 6u);
    EXPECT_EQ(seen,
              (std::vector<std::string>{"1:0/3", "1:1/3", "1:2/3", "1:3/3", "2:0/3", "2:1/3", "2:2/3"}));
    rv::macroPlayerPass();  // idle again: the figures go back to 0
    EXPECT_EQ(rv::playPass, 0);
    EXPECT_EQ(rv::playEventTotal, 0);

    // 0 loops until stopped; with the loop off one pass is all, whatever the count.
    rv::playRepeat = 0;
    rv::playing = true;
    for (int i = 0; i < 5; ++i) rv::macroPlayerPass();
    EXPECT_TRUE(rv::playing);
    EXPECT_EQ(rv::playPass, 5);
    rv::playing = false;
    rv::macroPlayerPass();
    rv::tloop = false;
    rv::playRepeat = 3;
    rv::playing = true;
    rv::macroPlayerPass();
    EXPECT_FALSE(rv::playing);
}

namespace {

MacroEvent key(double time, int32_t vk, bool down) {
    MacroEvent e = at(time, 3);
    e.vk = vk, e.down = down;
    return e;
}

MacroEvent button(double time, uint32_t flags, int32_t side = 0) {
    MacroEvent e = at(time, 2);
    e.flags = flags, e.vk = side;
    return e;
}

// The releases at the end of `records`, after the last record injected before `since`.
std::vector<std::string> describe(const std::vector<InputRecord>& records, int64_t since) {
    std::vector<std::string> out;
    for (const InputRecord& r : records) {
        if (r.at < since || r.kind == InputKind::AbsoluteMove) continue;
        if (r.kind == InputKind::Key)
            out.push_back("key " + std::to_string(r.vk) + (r.down ? " down" : " up"));
        if (r.kind == InputKind::Mouse)
            out.push_back("mouse " + std::to_string(r.flags) + "/" + std::to_string(r.data));
    }
    return out;
}

using Lines = std::vector<std::string>;

// Held when the pass ends: Shift (16) and Ctrl (17), left, middle and the first side button; 65 was
// pressed and released; 18 was released without a press (the user's own Alt); 20 is never reached.
const std::vector<MacroEvent> kHoldingMacro = {
    key(0.1, 16, true),
    key(0.1, 17, true),
    button(0.1, rv::MOUSEEVENTF_LEFTDOWN),
    button(0.1, rv::MOUSEEVENTF_MIDDLEDOWN),
    button(0.1, rv::MOUSEEVENTF_XDOWN, 5),
    button(0.1, rv::MOUSEEVENTF_RIGHTDOWN),
    button(0.1, rv::MOUSEEVENTF_RIGHTUP),
    key(0.1, 65, true),
    key(0.15, 65, false),
    key(0.2, 18, false),
    key(5.0, 20, true),
};

const Lines kHeldReleases = {"mouse 4/0", "mouse 64/0", "mouse 256/1", "key 16 up", "key 17 up"};

}  // namespace

TEST_F(Player, WhateverEndsThePassReleasesExactlyWhatTheMacroStillHolds) {
    struct Case {
        const char* cause;
        void (*stop)();
    };
    const Case cases[] = {
        {"play hotkey",
         [] {
             rv::playToggleRequest = true;
             rv::controlPass();
         }},
        {"reset", [] { callMainBinding("resetEverything", "[]"); }},
        {"shutdown", [] { rv::appRunning = false; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cause);
        rv::resetStateForTests();
        rv::counterFrequency = fake::kFrequency;
        rv::profiles = {rv::Profile{"a", "", kHoldingMacro}};
        rv::playing = true;
        int64_t start = fake::now();
        bool stopped = false;
        int64_t stopAt = 0;
        fake::onSleep([&](int64_t now) {
            if (stopped || now - start < fake::kFrequency) return;
            stopped = true;
            stopAt = fake::now();
            c.stop();
        });
        rv::macroPlayerPass();
        fake::onSleep(nullptr);
        EXPECT_FALSE(rv::playing);
        std::vector<InputRecord> records = fake::takeInjected();
        EXPECT_EQ(describe(records, stopAt), kHeldReleases);
        EXPECT_EQ(describe(records, start).size(), 10u + kHeldReleases.size());  // 10 replayed, then those
    }
}

TEST_F(Player, TheEndOfEveryPassReleasesBeforeTheLoopPause) {
    // A recording stopped while Shift was still down (the record hotkey pressed with Shift held).
    rv::profiles[0].events = {key(0.1, 16, true), key(0.2, 65, true), key(0.3, 65, false)};
    for (bool loop : {false, true}) {
        SCOPED_TRACE(loop);
        rv::tloop = loop;
        rv::tloopMs = 500;
        rv::playing = true;
        int64_t start = fake::now();
        rv::macroPlayerPass();
        std::vector<InputRecord> records = fake::takeInjected();
        EXPECT_EQ(describe(records, start), (Lines{"key 16 down", "key 65 down", "key 65 up", "key 16 up"}));
        ASSERT_FALSE(records.empty());
        EXPECT_NEAR(seconds(records.back().at - start), 0.3, 0.001);  // before the pause, not after
        EXPECT_NEAR(seconds(fake::now() - start), loop ? 0.8 : 0.3, 0.002);
        EXPECT_EQ(rv::playing.load(), loop);
    }
}

TEST_F(Player, NothingIsReleasedThatTheMacroDidNotHold) {
    rv::profiles[0].events = {key(0.1, 16, false), button(0.1, rv::MOUSEEVENTF_LEFTUP),
                              button(0.1, rv::MOUSEEVENTF_LEFTDOWN | rv::MOUSEEVENTF_LEFTUP),
                              key(0.2, 300, true), key(0.2, -4, true)};
    rv::playing = true;
    int64_t start = fake::now();
    rv::macroPlayerPass();
    EXPECT_EQ(describe(fake::takeInjected(), start),
              (Lines{"key 16 up", "mouse 4/0", "mouse 6/0", "key 300 down", "key -4 down"}));

    // Stopping playback sends nothing from the control thread either: no blind left or right release.
    rv::playing = true;
    rv::playToggleRequest = true;
    rv::controlPass();
    EXPECT_FALSE(rv::playing);
    EXPECT_TRUE(fake::takeInjected().empty());
}

TEST_F(Player, WhatWasSentIsHandedOverBeforeSpinningTowardTheNextEvent) {
    // A click and keys close together, so that the player spins toward each of them, then a key far
    // off, which it sleeps toward (a sleep hands the processor over by itself), and its release.
    MacroEvent down = button(0, rv::MOUSEEVENTF_LEFTDOWN), up = button(0.001, rv::MOUSEEVENTF_LEFTUP);
    down.x = up.x = 300, down.y = up.y = 200;
    rv::profiles[0].events = {
        down, up, key(0.0015, 65, true), key(0.0025, 65, false), key(0.05, 66, true), key(0.0505, 66, false)};
    rv::playing = true;
    rv::macroPlayerPass();
    EXPECT_EQ(fake::takeInjected().size(), 8u);  // a move and a button each for the click's two halves
    // How many records had been sent at each hand-over: one before each spin, none before the far key.
    EXPECT_EQ(fake::settles(), (std::vector<size_t>{2, 4, 5, 7}));
}

namespace {

// The step editor's "play from here" and "play the selection": a part of the recording, its first
// step due at once.
TEST(EventsInRange, ClampedAndMovedToStartAtOnce) {
    std::vector<MacroEvent> events = {at(1.0, 0), at(1.5, 3), at(2.25, 2), at(4.0, 4)};
    struct Case {
        int64_t from, to;
        std::vector<double> times;
    } cases[] = {
        {1, -1, {0, 0.75, 2.5}},  // to the end
        {1, 3, {0, 0.75}},
        {0, 99, {0, 0.5, 1.25, 3.0}},  // from the first step too: no idle start
        {3, 4, {0}},
        {2, 2, {}},
        {9, -1, {}},
    };
    for (const Case& c : cases) {
        std::vector<MacroEvent> part = rv::eventsInRange(events, c.from, c.to);
        std::vector<double> times;
        for (const MacroEvent& e : part) times.push_back(e.time);
        EXPECT_EQ(times, c.times) << c.from << ".." << c.to;
    }
    EXPECT_EQ(rv::eventsInRange(events, 1, 3)[1].kind, 2);
}

// A range asked for holds for the playback that takes it, all its passes, and not the next one.
TEST_F(Player, AskedRangeIsPlayedByEveryPassOfThatPlaybackOnly) {
    rv::profiles[0].events = {at(0.1, 3), at(0.2, 3), at(0.3, 3), at(0.4, 3)};
    rv::playRangeFrom = 1, rv::playRangeTo = 3;
    rv::tloop = true, rv::tloopMs = 0, rv::playRepeat = 2;
    rv::playing = true;
    int64_t start = fake::now();
    rv::macroPlayerPass();
    EXPECT_NEAR(seconds(fake::now() - start), 0.1, 0.001);  // the first played step at once
    EXPECT_EQ(fake::takeInjected().size(), 2u);
    EXPECT_EQ(rv::playRangeFrom, -1);  // taken
    rv::macroPlayerPass();
    EXPECT_EQ(fake::takeInjected().size(), 2u);
    EXPECT_FALSE(rv::playing);

    rv::macroPlayerPass();  // idle
    rv::tloop = false;
    rv::playing = true;
    rv::macroPlayerPass();
    EXPECT_EQ(fake::takeInjected().size(), 4u);
}

}  // namespace
