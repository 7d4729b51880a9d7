// Click sequences: their text, their place among the settings, and the auto-clicker clicking them
// against the fake platform's recorded input and virtual clock.
#include "state/click_sequence.h"

#include "bridge/panel_sync.h"
#include "bridge/remote_commands.h"
#include "engine/auto_clicker.h"
#include "engine/control.h"
#include "platform/input_math.h"
#include "state/profile_settings.h"
#include "state/settings.h"
#include "support/fresh_state.h"

namespace {

using fake::InputKind;
using fake::InputRecord;
using Points = std::vector<rv::SequencePoint>;

std::string thirtyThreePoints() {
    std::string text;
    for (int i = 0; i < 33; ++i) text += (i ? "/" : "") + std::to_string(i) + ":0:0:0:0";
    return text;
}

// The text as the page and the pipe send it (all or nothing) and as files keep it (what is whole).
TEST(ClickSequenceText, SentTextsAreWholeOrRefusedAndStoredTextsKeepTheirGoodPoints) {
    const Points two = {{100, 200, 0, false, 500}, {-640, 480, 1, true, 0}};
    EXPECT_EQ(rv::formatClickSequence(two), "100:200:0:0:500/-640:480:1:1:0");
    EXPECT_EQ(rv::parseClickSequence("100:200:0:0:500/-640:480:1:1:0"), two);
    EXPECT_EQ(rv::parseClickSequence(""), Points{});
    EXPECT_EQ(rv::parseClickSequence("1000000:-1000000:2:0:86400000"),
              (Points{{1000000, -1000000, 2, false, 86400000}}));

    struct Case {
        const char* text;
        size_t kept;  // points a stored text keeps
    };
    const Case bad[] = {
        {"1:2:0:0", 0},                        // a field short
        {"1:2:0:0:5:6", 0},                    // a field over
        {"1:2:3:0:5", 0},                      // no such button
        {"1:2:0:2:5", 0},                      // double is 0 or 1
        {"1:2:0:0:-1", 0},                     // a negative wait
        {"1:2:0:0:86400001", 0},               // longer than a day
        {"1000001:2:0:0:5", 0},                // off any screen
        {"1:2:0:0:5x", 0},                     // not only digits
        {"1: 2:0:0:5", 0},                     // nor spaces
        {"1:2:0:0:5/", 1},                     // a final '/' is an empty point
        {"1:2:0:0:5//3:4:0:0:5", 2},           // and so is one between two
        {"1:2:0:0:5/junk/3:4:0:0:5", 2},       // a bad point among good ones
        {"99999999999:2:0:0:5/3:4:0:0:5", 1},  // a number beyond 32 bits
    };
    for (const Case& c : bad) {
        EXPECT_EQ(rv::parseClickSequence(c.text), std::nullopt) << c.text;
        EXPECT_EQ(rv::readClickSequence(c.text).size(), c.kept) << c.text;
    }
    // At most 32 points: more is refused whole when sent, cut to the first 32 when stored.
    EXPECT_EQ(rv::parseClickSequence(thirtyThreePoints()), std::nullopt);
    Points kept = rv::readClickSequence(thirtyThreePoints());
    ASSERT_EQ(kept.size(), rv::kMaxSequencePoints);
    EXPECT_EQ(kept.back().x, 31);
}

class ClickSequence : public FreshState {
  protected:
    void SetUp() override {
        FreshState::SetUp();
        rv::counterFrequency = fake::kFrequency;
        rv::profiles = {rv::Profile{rv::kDefaultProfileName, "", {}}};
        rv::locMode = 2;
    }
    static double ms(int64_t ticks) { return static_cast<double>(ticks) * 1000.0 / fake::kFrequency; }
    static void runUntilStopped(int limit = 1000) {
        for (int i = 0; rv::autoClicking && i < limit; ++i) rv::autoClickerPass();
    }
    // Moves and buttons as one line each: "move x,y", "down 2", "up 2" (by the mouse flag word).
    static std::vector<std::string> actions(const std::vector<InputRecord>& records) {
        std::vector<std::string> out;
        for (const InputRecord& r : records) {
            if (r.kind == InputKind::AbsoluteMove) {
                out.push_back("move " + std::to_string(r.x) + "," + std::to_string(r.y));
            } else if (r.kind == InputKind::Mouse) {
                out.push_back(std::to_string(r.flags));
            }
        }
        return out;
    }
};

using Lines = std::vector<std::string>;

// The setting goes where every profile option goes: the profile's options, changeSettings from the page
// and the panels, and the pipe's setSettings, which says what it takes when it refuses.
TEST_F(ClickSequence, TheSequenceIsAProfileOptionReachableByName) {
    EXPECT_EQ(rv::applySettingChanges("clickSequence=10:20:0:0:100/30:40:2:1:50,locMode=2"), 2);
    EXPECT_EQ(rv::clickSequence.load(), "10:20:0:0:100/30:40:2:1:50");
    const std::string text = rv::profileSettingsText();
    EXPECT_NE(text.find(";clickSequence=10:20:0:0:100/30:40:2:1:50"), std::string::npos) << text;
    EXPECT_EQ(rv::profiles[0].settingsText, text);

    // Another profile's settings bring their own list, or none.
    rv::applyProfileSettingsText("0,0,0,100,0,0,1,10,2,0,0,0,0,0,100,1,10,32");
    EXPECT_EQ(rv::clickSequence.load(), "");
    rv::applyProfileSettingsText(text);
    EXPECT_EQ(rv::clickSequence.load(), "10:20:0:0:100/30:40:2:1:50");
    // A damaged stored point is passed over; the others stay.
    rv::applyProfileSettingsText(
        "0,0,0,100,0,0,1,10,2,0,0,0,0,0,100,1,10,32;clickSequence=1:1:0:0:1/x/2:2:0:0:2");
    EXPECT_EQ(rv::clickSequence.load(), "1:1:0:0:1/2:2:0:0:2");

    // A refused value stops changeSettings there and changes nothing of its own.
    EXPECT_EQ(rv::applySettingChanges("sms=50,clickSequence=1:2:5:0:0,sms=70"), 1);
    EXPECT_EQ(rv::clickSequence.load(), "1:1:0:0:1/2:2:0:0:2");
    EXPECT_EQ(rv::sms, 50);

    std::string reply = *rv::answerRemoteCommand("setSettings", "clickSequence=5:6:1:0:250,locMode=2");
    EXPECT_NE(reply.find("\"ok\":true"), std::string::npos) << reply;
    EXPECT_EQ(rv::clickSequence.load(), "5:6:1:0:250");
    reply = *rv::answerRemoteCommand("setSettings", "sms=80,clickSequence=5:6");
    EXPECT_NE(reply.find("\"ok\":false"), std::string::npos) << reply;
    EXPECT_NE(reply.find("X:Y:BUTTON:DOUBLE:WAIT"), std::string::npos) << reply;
    EXPECT_EQ(rv::sms, 50);  // all or nothing
    EXPECT_EQ(rv::clickSequence.load(), "5:6:1:0:250");
}

// One round clicks every point in order, with its own button and single or double click, waits after
// each, and then waits the interval before the next round; the limit counts rounds.
TEST_F(ClickSequence, RoundsClickEachPointInOrderWithItsButtonAndWait) {
    rv::clickSequence.store("100:200:0:0:300/400:500:1:1:50/700:800:2:0:0");
    rv::sms = 200, rv::clickPressMs = 0;
    rv::rptMode = 0, rv::rptTimes = 2;
    rv::autoClicking = true;
    const int64_t start = fake::now();
    runUntilStopped();
    EXPECT_FALSE(rv::autoClicking);
    const std::vector<InputRecord> records = fake::takeInjected();
    const Lines round = {"move 100,200", "2",  "4", "move 400,500", "8", "16", "8", "16",
                         "move 700,800", "32", "64"};
    Lines both = round;
    both.insert(both.end(), round.begin(), round.end());
    EXPECT_EQ(actions(records), both);
    EXPECT_EQ(rv::sequenceRounds, 2);

    // Waits: 300 ms after the first point, 50 ms (after the double click's 15 ms gap) after the second,
    // then the 200 ms interval, and nothing after the last round.
    auto at = [&](size_t i) { return ms(records[i].at - start); };
    EXPECT_NEAR(at(0), 0, 0.01);
    EXPECT_NEAR(at(3), 300, 0.01);
    EXPECT_NEAR(at(8) - at(7), 50, 0.01);
    EXPECT_NEAR(at(11) - at(10), 200, 0.01);
    EXPECT_NEAR(ms(fake::now() - records.back().at), 0, 0.01);

    rv::autoClickerPass();  // idle: the next run counts its rounds from the start
    EXPECT_EQ(rv::sequenceRounds, 0);
}

// Jitter moves every point within its range; a time limit ends a run inside a round; an empty list
// has nothing to click and the run ends at once.
TEST_F(ClickSequence, JitterTimeLimitAndAnEmptyList) {
    rv::clickSequence.store("1000:1000:0:0:10/1500:1200:0:0:10");
    rv::clickJitterPx = 5, rv::clickPressMs = 0;
    rv::rptMode = 0, rv::rptTimes = 50;
    rv::autoClicking = true;
    runUntilStopped();
    size_t moves = 0;
    for (const InputRecord& r : fake::takeInjected()) {
        if (r.kind != InputKind::AbsoluteMove) continue;
        const int32_t cx = moves % 2 == 0 ? 1000 : 1500, cy = moves % 2 == 0 ? 1000 : 1200;
        EXPECT_LE(std::abs(r.x - cx), 5);
        EXPECT_LE(std::abs(r.y - cy), 5);
        ++moves;
    }
    EXPECT_EQ(moves, 100u);
    rv::autoClickerPass();  // idle between runs

    rv::clickJitterPx = 0, rv::rptMode = 1, rv::clickLimitSeconds = 1;
    rv::clickSequence.store("1:1:0:0:400/2:2:0:0:400");
    const int64_t start = fake::now();
    rv::autoClicking = true;
    runUntilStopped();
    EXPECT_NEAR(ms(fake::now() - start), 1000, 1.0);
    EXPECT_EQ(rv::sequenceRounds, 1);  // the second round was cut short, and is not counted
    fake::takeInjected();

    rv::autoClickerPass();
    rv::clickSequence.store("");
    rv::autoClicking = true;
    rv::autoClickerPass();
    EXPECT_FALSE(rv::autoClicking);
    EXPECT_TRUE(fake::takeInjected().empty());
}

// Whatever stops a sequence in the middle of a press (the stop-all hotkey, the fail-safe, letting go
// of a hold hotkey) lets the button go, and what follows in the round is not clicked.
TEST_F(ClickSequence, AStopInsideARoundLeavesNoButtonDown) {
    rv::clickSequence.store("10:10:1:0:100/20:20:0:0:100");
    rv::clickPressMs = 30;
    const std::pair<const char*, void (*)()> stops[] = {
        {"stop all", [] { rv::stopAllRequest = true; }},
        {"hold let go", [] { rv::clickerHoldRequest = 0; }},
    };
    for (const auto& [cause, stop] : stops) {
        SCOPED_TRACE(cause);
        bool stopped = false;
        fake::onSleep([&, stop = stop](int64_t) {
            if (stopped) return;
            stopped = true;
            stop();
            rv::controlPass();
        });
        rv::autoClicking = true;
        rv::autoClickerPass();
        fake::onSleep(nullptr);
        EXPECT_FALSE(rv::autoClicking);
        const Lines done = actions(fake::takeInjected());
        ASSERT_GE(done.size(), 3u);
        EXPECT_EQ(Lines(done.begin(), done.begin() + 2), (Lines{"move 10,10", "8"}));
        // The right button's own release, and nothing of the second point.
        EXPECT_NE(std::find(done.begin(), done.end(), "16"), done.end());
        EXPECT_EQ(std::find(done.begin(), done.end(), "move 20,20"), done.end());
        rv::autoClickerPass();
        EXPECT_EQ(rv::sequenceRounds, 0);
    }
    // Stopping everything also ends a picking of points, which would otherwise keep every left click.
    rv::pickSequenceRequest = true;
    rv::stopAllRequest = true;
    rv::controlPass();
    EXPECT_FALSE(rv::pickSequenceRequest);
}

}  // namespace
