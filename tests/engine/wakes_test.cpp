// Who wakes whom, and the timing rules of waits that nap: on the fake platform, a nap that a wake
// ends takes no virtual time, so a sleeper woken at once is told apart from one that napped.
#include "state/wakes.h"

#include "app/main_bindings.h"
#include "bridge/panel_messages.h"
#include "capture/capture.h"
#include "engine/auto_clicker.h"
#include "engine/control.h"
#include "engine/key_spammer.h"
#include "engine/macro_player.h"
#include "engine/timing.h"
#include "state/page_notice.h"
#include "state/preferences.h"
#include "support/fresh_state.h"

namespace {

using rv::Sleeper;

class Wakes : public FreshState {
  protected:
    void SetUp() override {
        FreshState::SetUp();
        rv::counterFrequency = fake::kFrequency;
        rv::profiles = {rv::Profile{rv::kDefaultProfileName, "", {}}};
    }

    // The sleepers whose wake is pending, taking each (a nap of no time).
    static std::vector<Sleeper> woken() {
        std::vector<Sleeper> found;
        for (Sleeper who : {Sleeper::Control, Sleeper::AutoClicker, Sleeper::KeySpammer, Sleeper::Player}) {
            if (rv::nap(who, 0)) found.push_back(who);
        }
        return found;
    }
};

using Sleepers = std::vector<Sleeper>;

}  // namespace

TEST_F(Wakes, EveryWayOfSettingARequestWakesTheControlThread) {
    struct Case {
        const char* producer;
        std::function<void()> produce;
        std::atomic<bool>* request;
    };
    const Case cases[] = {
        {"F6",
         [] {
             rv::onKeyEvent({117, true, false});
         },
         &rv::clickerToggleRequest},
        {"F7",
         [] {
             rv::onKeyEvent({118, true, false});
         },
         &rv::playToggleRequest},
        {"F8",
         [] {
             rv::onKeyEvent({119, true, false});
         },
         &rv::recordToggleRequest},
        {"F9",
         [] {
             rv::onKeyEvent({120, true, false});
         },
         &rv::keySpamToggleRequest},
        {"side button as hotkey",
         [] {
             rv::hkAuto = 5;
             rv::onMouseEvent({rv::WM_XBUTTONDOWN, 0, 0, 1u << 16, false});
         },
         &rv::clickerToggleRequest},
        {"page toggleSpammer", [] { callMainBinding("toggleSpammer", "[]"); }, &rv::clickerToggleRequest},
        {"page toggleKeySpam", [] { callMainBinding("toggleKeySpam", "[]"); }, &rv::keySpamToggleRequest},
        {"page toggleRecord", [] { callMainBinding("toggleRecord", "[]"); }, &rv::recordToggleRequest},
        {"page togglePlay", [] { callMainBinding("togglePlay", "[]"); }, &rv::playToggleRequest},
        {"panel toggleSpammer", [] { rv::handlePanelMessage("toggleSpammer|", 14); },
         &rv::clickerToggleRequest},
        {"panel toggleKeySpam", [] { rv::handlePanelMessage("toggleKeySpam|", 14); },
         &rv::keySpamToggleRequest},
    };
    for (const Case& c : cases) {
        rv::resetStateForTests();
        fake::reset();
        c.produce();
        EXPECT_TRUE(c.request->load()) << c.producer;
        EXPECT_EQ(woken(), Sleepers{Sleeper::Control}) << c.producer;
    }

    // Injected keys, released hotkeys and other keys set nothing and wake nobody.
    rv::resetStateForTests();
    fake::reset();
    rv::onKeyEvent({117, true, true});
    rv::onKeyEvent({117, false, false});
    rv::onKeyEvent({65, true, false});
    EXPECT_EQ(woken(), Sleepers{});
}

// An idle control thread naps long, so whatever changes what the page shows wakes it: the page's and
// the panels' changes reach the others at once.
TEST_F(Wakes, EveryPageCallPanelMessageAndPickWakesTheControlThread) {
    const std::string panelHover = "panelHover|1", panelInterval = "updateSpammer|0,0,2,0,0,0,1,10,0",
                      panelReassign = "reassignKey|auto", unknown = "noSuchMessage|1";
    struct Case {
        const char* producer;
        std::function<void()> produce;
        bool wakes;
    };
    const Case cases[] = {
        {"page interval", [] { callMainBinding("updateSpammer", "[0,0,2,0,0,0,1,10,0]"); }, true},
        {"page profile", [] { callMainBinding("addProfile", "[\"Second\"]"); }, true},
        {"page read", [] { callMainBinding("getTrackerStatus", "[]"); }, true},
        {"panel hover", [&] { rv::handlePanelMessage(panelHover.data(), panelHover.size()); }, true},
        {"panel interval", [&] { rv::handlePanelMessage(panelInterval.data(), panelInterval.size()); }, true},
        {"panel reassignment", [&] { rv::handlePanelMessage(panelReassign.data(), panelReassign.size()); },
         true},
        {"unknown panel message", [&] { rv::handlePanelMessage(unknown.data(), unknown.size()); }, false},
        {"point picked",
         [] {
             rv::pickLocationRequest = true;
             rv::onMouseEvent({rv::WM_LBUTTONDOWN, 300, 200, 0, false});
         },
         true},
        {"pick cancelled",
         [] {
             rv::pickLocationRequest = true;
             rv::onMouseEvent({rv::WM_RBUTTONDOWN, 300, 200, 0, false});
         },
         true},
        {"a click with no pick",
         [] {
             rv::onMouseEvent({rv::WM_LBUTTONDOWN, 300, 200, 0, false});
         },
         false},
    };
    for (const Case& c : cases) {
        rv::resetStateForTests();
        fake::reset();
        rv::profiles = {rv::Profile{rv::kDefaultProfileName, "", {}}};
        c.produce();
        EXPECT_EQ(woken(), c.wakes ? Sleepers{Sleeper::Control} : Sleepers{}) << c.producer;
    }
}

// Idle, nothing is due until something wakes it; while something runs, the next figures are.
TEST_F(Wakes, TheControlThreadNapsASecondWhileIdleAndUntilTheFiguresAreDueWhileSomethingRuns) {
    const auto passSeconds = [] {
        int64_t start = fake::now();
        rv::controlPass();
        return static_cast<double>(fake::now() - start) / fake::kFrequency;
    };
    // The fake counter also moves a step at each reading.
    EXPECT_NEAR(passSeconds(), rv::kControlIdleNapMs / 1000.0, 1e-6);
    for (std::atomic<bool>* runs : {&rv::recording, &rv::playing, &rv::autoClicking, &rv::keySpamming}) {
        *runs = true;
        EXPECT_NEAR(passSeconds(), rv::kFiguresMs / 1000.0, 1e-6);  // the start; the figures are due next
        fake::advance(fake::kFrequency * 300 / 1000);               // then a page call wakes it early
        rv::wake(Sleeper::Control);
        EXPECT_NEAR(passSeconds(), 0.0, 1e-6);
        EXPECT_NEAR(passSeconds(), (rv::kFiguresMs - 300) / 1000.0, 1e-3);
        *runs = false;
        EXPECT_NEAR(passSeconds(), rv::kControlIdleNapMs / 1000.0, 1e-6);
    }
}

// A worker that stops by itself, or starts or stops holding back for our windows, changes what the
// page shows: it wakes the control thread, which tells the page.
TEST_F(Wakes, AWorkerThatStopsByItselfWakesTheControlThread) {
    struct Case {
        const char* stop;
        std::function<void()> arrange;
        void (*pass)();
        std::atomic<bool>* runs;
    };
    const Case cases[] = {
        {"clicker reached its count", [] { rv::rptMode = 0, rv::rptTimes = 3, rv::clickCount = 3; },
         &rv::autoClickerPass, &rv::autoClicking},
        {"key spammer reached its count",
         [] { rv::ksRptMode = 0, rv::ksRptTimes = 2, rv::keyPressCount = 2; }, &rv::keySpammerPass,
         &rv::keySpamming},
        {"playback of nothing", [] {}, &rv::macroPlayerPass, &rv::playing},
        {"playback to its end",
         [] {
             rv::profiles[0].events = {{0, 0.0, 5, 5, 0, 0, false, 0}};
         },
         &rv::macroPlayerPass, &rv::playing},
    };
    for (const Case& c : cases) {
        c.arrange();
        *c.runs = true;
        c.pass();
        EXPECT_FALSE(*c.runs) << c.stop;
        EXPECT_EQ(woken(), Sleepers{Sleeper::Control}) << c.stop;
    }

    // Held back by the pointer on our window, and clicking again once it left.
    rv::rptMode = 1;
    rv::autoClicking = true;
    {
        std::lock_guard<std::mutex> lock(rv::ownWindowsLock);
        const int32_t rect[4] = {0, 0, 100, 100};
        std::copy(rect, rect + 4, rv::ownWindowRects[0]);
        rv::ownWindowCount = 1;
        rv::ownWindowsNoted = fake::now();
    }
    fake::setCursor(50, 50);
    rv::autoClickerPass();
    EXPECT_TRUE(rv::clickerWaiting);
    EXPECT_EQ(woken(), Sleepers{Sleeper::Control}) << "held back";
    rv::autoClickerPass();
    EXPECT_EQ(woken(), Sleepers{}) << "still held back";
    fake::setCursor(500, 500);
    rv::autoClickerPass();
    EXPECT_FALSE(rv::clickerWaiting);
    EXPECT_EQ(woken(), Sleepers{Sleeper::Control}) << "clicking again";
}

TEST_F(Wakes, ACapturedReassignmentWakesTheControlThreadWhichTellsTheCaptureLoop) {
    callMainBinding("reassignKey", "[\"auto\"]");
    EXPECT_EQ(fake::captureWakes(), 1);  // every key is grabbed now
    rv::onKeyEvent({121, true, false});
    EXPECT_EQ(woken(), Sleepers{Sleeper::Control});
    rv::controlPass();
    EXPECT_EQ(rv::hkAuto, 121);
    EXPECT_EQ(fake::captureWakes(), 2);  // the new hotkey, and no more grab of every key

    rv::reassignTarget = 2;
    rv::onMouseEvent({rv::WM_RBUTTONDOWN, 5, 5, 0, false});
    EXPECT_EQ(woken(), Sleepers{Sleeper::Control});
}

TEST_F(Wakes, ChangesToWhatTheCaptureLoopGrabsTellIt) {
    struct Case {
        const char* change;
        std::function<void()> make;
    };
    const Case cases[] = {
        {"hotkeys switched off", [] { rv::setAppSetting("hotkeysEnabled", "0"); }},
        {"pick armed", [] { callMainBinding("pickLocation", "[]"); }},
        {"hotkeys reset", [] { callMainBinding("resetHotkeys", "[]"); }},
        {"panel reassignment", [] { rv::handlePanelMessage("reassignKey|rec", 15); }},
        {"everything reset", [] { rv::resetEverything(); }},
    };
    for (const Case& c : cases) {
        fake::reset();
        fake::setExePath(folder() + "/ravelin");
        c.make();
        EXPECT_GE(fake::captureWakes(), 1) << c.change;
    }
}

TEST_F(Wakes, TheControlThreadWakesTheWorkerItSwitchesOnOrOff) {
    struct Case {
        std::atomic<bool>* request;
        Sleeper worker;
    };
    const Case cases[] = {
        {&rv::clickerToggleRequest, Sleeper::AutoClicker},
        {&rv::keySpamToggleRequest, Sleeper::KeySpammer},
        {&rv::playToggleRequest, Sleeper::Player},
    };
    for (const Case& c : cases) {
        for (int round = 0; round < 2; ++round) {  // on, then off
            c.request->exchange(true);
            rv::controlPass();
            EXPECT_EQ(woken(), Sleepers{c.worker}) << static_cast<int>(c.worker) << " round " << round;
        }
    }
    // A request dropped (play while recording) wakes nobody.
    rv::recording = true;
    rv::playToggleRequest = true;
    rv::controlPass();
    EXPECT_EQ(woken(), Sleepers{});
}

int pageTold = 0;

// Each pass tells the page once of what changed since the last one, whoever changed it, and never
// of the running figures alone, which the page reads on its own while something runs.
TEST_F(Wakes, TheControlThreadTellsThePageOfEachChangeOnce) {
    rv::setPageTeller([] { ++pageTold; });
    rv::controlPass();  // takes the state as it is now
    pageTold = 0;
    struct Case {
        const char* change;
        std::function<void()> make;
        int told;
    };
    const Case cases[] = {
        {"nothing", [] {}, 0},
        {"F6 switches the clicker on",
         [] {
             rv::onKeyEvent({117, true, false});
         },
         1},
        {"clicks counted", [] { rv::clickCount = 40, rv::playEventIndex = 3; }, 0},
        {"the clicker reached its count", [] { rv::autoClicking = false; }, 1},
        {"a panel changed the interval",
         [] {
             const std::string text = "updateSpammer|0,0,2,0,0,0,1,10,0";
             rv::handlePanelMessage(text.data(), text.size());
         },
         1},
        {"a pick set the point", [] { rv::fixedX = 640, rv::locMode = 1; }, 1},
        {"playback started", [] { rv::playing = true; }, 1},
        {"playback ended", [] { rv::playing = false; }, 1},
        {"a reassignment was armed", [] { rv::reassignTarget = 3; }, 1},
        {"the same value written again", [] { rv::hkAuto = rv::hkAuto.load(); }, 0},
        {"the playback speed", [] { rv::tspd = 2.5f; }, 1},
    };
    for (const Case& c : cases) {
        pageTold = 0;
        c.make();
        rv::controlPass();
        rv::controlPass();
        EXPECT_EQ(pageTold, c.told) << c.change;
    }
    rv::setPageTeller(nullptr);
    pageTold = 0;
    rv::autoClicking = true;
    rv::controlPass();  // no teller: nothing to call
    EXPECT_EQ(pageTold, 0);
}

int statusHanded = 0;

// While something runs, the page is handed the status twice a second, the first half a second after
// the start (the start itself was told as a change); never while idle. Passes that wakes bring in
// between do not change the pace.
TEST_F(Wakes, TheControlThreadHandsThePageTheStatusTwiceASecondWhileSomethingRuns) {
    rv::setFiguresHander([] { ++statusHanded; });
    // Passes for 2.5 s; with `wakeEveryMs`, woken that often rather than napping to the figures.
    const auto handedIn = [](int wakeEveryMs) {
        statusHanded = 0;
        const int64_t end = fake::now() + fake::kFrequency * 5 / 2;
        while (fake::now() < end) {
            if (wakeEveryMs > 0) rv::wake(Sleeper::Control);
            rv::controlPass();
            if (wakeEveryMs > 0) fake::advance(fake::kFrequency * wakeEveryMs / 1000);
        }
        return statusHanded;
    };
    EXPECT_EQ(handedIn(0), 0) << "idle";
    for (std::atomic<bool>* runs : {&rv::recording, &rv::playing, &rv::autoClicking, &rv::keySpamming}) {
        for (int wakeEveryMs : {0, 170}) {
            *runs = true;
            EXPECT_EQ(handedIn(wakeEveryMs), 4) << wakeEveryMs;
            *runs = false;
            EXPECT_EQ(handedIn(wakeEveryMs), 0) << wakeEveryMs;
        }
    }
    rv::setFiguresHander(nullptr);
    rv::autoClicking = true;
    EXPECT_EQ(handedIn(0), 0) << "no one to hand it to";
    rv::autoClicking = false;
}

TEST_F(Wakes, AResetWakesEveryWorkerSoThatNoWaitOutlivesItsFlag) {
    fake::setExePath(folder() + "/ravelin");
    rv::autoClicking = rv::keySpamming = rv::playing = true;
    rv::resetEverything();
    EXPECT_EQ(woken(),
              (Sleepers{Sleeper::Control, Sleeper::AutoClicker, Sleeper::KeySpammer, Sleeper::Player}));
}

TEST_F(Wakes, AWakeEndsTheNextNapAtOnceAndIsUsedUpByIt) {
    int64_t start = fake::now();
    rv::wake(Sleeper::Control);
    rv::wake(Sleeper::Control);  // two before a nap count as one
    EXPECT_TRUE(rv::nap(Sleeper::Control, 100));
    EXPECT_EQ(fake::now(), start);
    EXPECT_FALSE(rv::nap(Sleeper::Control, 100));
    EXPECT_NEAR(static_cast<double>(fake::now() - start) / fake::kFrequency, 0.1, 1e-9);

    // An idle worker naps until woken, and acts at once when it is.
    rv::autoClicking = true;
    rv::wake(Sleeper::AutoClicker);
    rv::autoClicking = false;
    start = fake::now();
    rv::autoClickerPass();  // the pending wake ends the idle nap at once
    EXPECT_EQ(fake::now(), start);
    rv::autoClickerPass();
    EXPECT_NEAR(static_cast<double>(fake::now() - start) / fake::kFrequency, rv::kWorkerNapMs / 1000.0, 1e-9);
}

TEST_F(Wakes, ANappingWaitEndsOnTimeEvenWhenTheNapEndsLate) {
    // Naps keep to the millisecond; one ending a millisecond or two late is absorbed by the last
    // stretch of fine steps.
    for (int64_t lateMs : {0, 1, 2}) {
        int64_t start = fake::now();
        bool first = true;
        fake::onSleep([&](int64_t) {
            if (first) fake::advance(lateMs * fake::kFrequency / 1000);
            first = false;
        });
        rv::polledWait(
            start, 0.100, [] { return true; }, Sleeper::AutoClicker);
        double waited = rv::elapsedSeconds(start, fake::now());
        EXPECT_GE(waited, 0.100) << lateMs;
        EXPECT_LT(waited, 0.10001) << lateMs;
    }

    EXPECT_EQ(rv::napMilliseconds(0.100), 97);
    EXPECT_EQ(rv::napMilliseconds(0.0215), 18);
    EXPECT_EQ(rv::napMilliseconds(0.0035), 1);
    EXPECT_EQ(rv::napMilliseconds(1e9), 86'400'000);
}

TEST_F(Wakes, AWaitNapsThroughAllButItsLastStretch) {
    // One long nap, then a step each millisecond of the margin and the closing sleep: a handful of
    // wake-ups instead of one each millisecond of the interval.
    for (double interval : {0.1, 1.0}) {
        int64_t start = fake::now();
        int wakeups = 0;
        rv::polledWait(
            start, interval, [&] { return ++wakeups > 0; }, Sleeper::KeySpammer);
        EXPECT_LE(wakeups, 7) << interval;
        EXPECT_GE(rv::elapsedSeconds(start, fake::now()), interval);
    }
}
