#include "app/app.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <utility>

#include "app/version.h"
#include "bridge/texts.h"
#include "state/save_problems.h"
#include "state/session_file.h"
#include "state/wakes.h"
#include "support/fresh_state.h"

namespace {

class MainInstance : public FreshState {
  protected:
    void SetUp() override {
        FreshState::SetUp();
        fake::setRealSleep(true);
        writeFile("ui/index.html", "<html>\r\n<body>page</body>\r\n</html>\r\n");
    }
};

}  // namespace

TEST(ModeChoice, ChildAnywhereInTheCommandLineStartsAPanel) {
    EXPECT_FALSE(rv::isPanelCommandLine(""));
    EXPECT_FALSE(rv::isPanelCommandLine("--Child"));
    EXPECT_FALSE(rv::isPanelCommandLine("--chil d"));
    EXPECT_TRUE(rv::isPanelCommandLine("--child"));
    EXPECT_TRUE(rv::isPanelCommandLine("--child Settings|settings-panel|800|300|dark"));
    EXPECT_TRUE(rv::isPanelCommandLine("x--childish"));
    EXPECT_TRUE(rv::isPanelCommandLine("\"a --child b\""));
}

TEST_F(MainInstance, VersionIsPrintedAloneAndNothingStarts) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(rv::ravelinMain("--version"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Ravelin " + std::to_string(RAVELIN_VERSION_MAJOR) +
                                                          "." + std::to_string(RAVELIN_VERSION_MINOR) + "." +
                                                          std::to_string(RAVELIN_VERSION_PATCH) + "\n");
    EXPECT_TRUE(fake::calls().empty());
    EXPECT_TRUE(fake::webview().bound.empty());

    // Only the whole command line asks for the version; anything else is a normal start.
    fake::addWindow(rv::kMainWindowTitle, reinterpret_cast<void*>(0x1));
    testing::internal::CaptureStdout();
    EXPECT_EQ(rv::ravelinMain("--version x"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(fake::webview().bound.empty());
}

TEST_F(MainInstance, PageIsLoadedFromBesideTheExecutableWithLineEndsAsLf) {
    EXPECT_EQ(rv::pagePath(), folder() + "/ui/index.html");
    EXPECT_EQ(rv::loadPage(rv::pagePath()), "<html>\n<body>page</body>\n</html>\n");
    writeFile("ui/index.html", "");
    EXPECT_EQ(rv::loadPage(rv::pagePath()), "");
    EXPECT_EQ(rv::loadPage(inFolder("ui/missing.html")), std::nullopt);
}

TEST_F(MainInstance, StartsWithTheDefaultProfileAndShowsThePageInTheTitledWindow) {
    size_t profilesDuringRun = 0;
    std::string nameDuringRun;
    fake::addWindow(rv::kMainWindowTitle, reinterpret_cast<void*>(0x1));
    fake::webview().onRun = [&] {
        std::lock_guard<std::mutex> lock(rv::profilesLock);
        profilesDuringRun = rv::profiles.size();
        nameDuringRun = rv::profiles.empty() ? "" : rv::profiles[0].name;
    };

    EXPECT_EQ(rv::ravelinMain(""), 0);

    const fake::WebviewState& view = fake::webview();
    EXPECT_TRUE(view.created);
    EXPECT_TRUE(view.destroyed);
    EXPECT_EQ(view.title, "Ravelin (Veltra Edition)");
    EXPECT_EQ(view.width, 420);
    EXPECT_EQ(view.height, 560);
    EXPECT_EQ(view.hint, 0);
    EXPECT_EQ(view.html, "<html>\n<body>page</body>\n</html>\n");
    EXPECT_EQ(profilesDuringRun, 1u);
    EXPECT_EQ(nameDuringRun, "Default Tracking Profile");
    EXPECT_TRUE(rv::profiles[0].events.empty());
    EXPECT_TRUE(fake::errorBoxes().empty());
    EXPECT_FALSE(rv::appRunning);

    // The page's functions are bound in their fixed registration order, then our own openPanel.
    const std::vector<std::string> order = {
        "resizeWindow",       "updateSpammer",      "toggleSpammer",
        "updateKeySpam",      "toggleKeySpam",      "pickLocation",
        "getAppSettings",     "setAppSetting",      "resetHotkeys",
        "getTrackerStatus",   "resetEverything",    "clearProfile",
        "addProfile",         "deleteProfile",      "switchProfile",
        "getProfiles",        "getSettings",        "reassignKey",
        "openPanel",          "getTheme",           "setTheme",
        "updateTracker",      "toggleRecord",       "togglePlay",
        "getPlayRepeat",      "setPlayRepeat",      "getVersion",
        "renameProfile",      "deleteProfileAt",    "getReplacedRecording",
        "restoreRecording",   "getReassignRefusal", "getClickerWaiting",
        "getClickStartDelay", "setClickStartDelay", "closePanel",
        "chooseMacroFile",    "getMacroFileChoice", "pickSequence",
        "changeSettings",     "getMacroJob",        "playSteps",
        "keyPressedInPage",   "listMacros",         "saveMacro",
        "loadMacro",          "renameMacro",        "duplicateMacro",
        "deleteMacro",        "importMacro",        "exportMacro",
        "openMacroFolder",    "readRecording",      "saveRecording"};
    EXPECT_EQ(view.bound, order);

    std::vector<std::string> calls = fake::calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "forceForeground"), calls.end());
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "setWindowIcon"), 1);
    // Nothing ran: the system timer was left alone.
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "raiseTimerResolution"), 0);
    EXPECT_EQ(rv::counterFrequency, fake::kFrequency);
}

// The session here is read-only, so that no save of this run replaces the temporary file either.
TEST_F(MainInstance, ATemporaryFileLeftByAKilledSaveIsRemovedAtStart) {
    const std::string data = folder() + "/data";
    std::filesystem::remove_all(data);
    std::filesystem::create_directories(data + "/Tapforge");
    fake::setEnvironment("LOCALAPPDATA", data);
    const std::string session = data + "/Tapforge/session.mcr";
    std::ofstream(session) << "SETTINGS:0\r\nCURRENT:0\r\nPROFILE:Kept\r\n";
    std::filesystem::permissions(session, std::filesystem::perms::owner_read);
    std::ofstream(session + ".tmp") << std::string(1 << 20, 'x');

    EXPECT_EQ(rv::ravelinMain(""), 0);

    EXPECT_FALSE(std::filesystem::exists(session + ".tmp"));
    EXPECT_TRUE(std::filesystem::exists(session));
    std::filesystem::permissions(session, std::filesystem::perms::owner_all);
    std::filesystem::remove_all(data);
}

// Sign-out or shutdown while the window is open: before the system's message is answered (after
// which Windows may end the process), the last change is saved, the window's place noted, and every
// worker stopped (hooks and the timer let go); the window loop is then asked to end, and the normal
// end after it changes nothing more.
TEST_F(MainInstance, SessionEndSavesAndLetsGoBeforeItReturns) {
    fake::addWindow(rv::kMainWindowTitle, reinterpret_cast<void*>(0x1));
    fake::window(reinterpret_cast<void*>(0x1)).rect = plat::Rect{200, 100, 620, 660};
    std::string savedAtEnd;
    bool running = true, handled = false;
    fake::webview().onRun = [&] {
        rv::sms = 333;
        rv::autoClicking = true;  // holds the timer resolution once the control thread sees it
        for (int i = 0; i < 200 && fake::injected().empty(); ++i) plat::sleepMs(10);
        handled = fake::endSession();
        running = rv::appRunning.load() || fake::captureRunning() || fake::pipeServerRunning();
        savedAtEnd = std::filesystem::exists(rv::sessionPath) ? readFile(rv::sessionPath) : "";
    };
    EXPECT_EQ(rv::ravelinMain(""), 0);
    EXPECT_TRUE(handled);
    EXPECT_FALSE(running);
    EXPECT_EQ(savedAtEnd.rfind("SETTINGS:0,0,0,333,", 0), 0u) << savedAtEnd;
    EXPECT_EQ(readFile(rv::sessionPath), savedAtEnd);
    EXPECT_NE(readFile("appsettings.txt").find("200"), std::string::npos);
    std::vector<std::string> calls = fake::calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "raiseTimerResolution"),
              std::count(calls.begin(), calls.end(), "restoreTimerResolution"));
    EXPECT_FALSE(fake::endSession());  // nothing is left to call once the run has ended
}

// A close while saves fail (a full disk): the close saves once more; still failing, the first close
// keeps the window and says so in the page, the second goes, and the lost changes are said again
// when the last save fails too. Once space is free, a close saves and goes at once.
TEST_F(MainInstance, ACloseWhileSavesFailTriesOnceMoreAndSaysSoBeforeTheWindowGoes) {
    fake::addWindow(rv::kMainWindowTitle, reinterpret_cast<void*>(0x1));
    bool quietClose = false, firstClose = true, secondClose = false;
    std::string shown;
    fake::webview().onRun = [&] {
        bool (*mayClose)() = fake::webview().mayClose;
        ASSERT_NE(mayClose, nullptr);
        quietClose = mayClose();
        fake::failWrites(1000, 0);
        rv::sms = 333;
        rv::saveSession();
        firstClose = mayClose();
        shown = rv::saveProblemText();
        secondClose = mayClose();
    };
    EXPECT_EQ(rv::ravelinMain(""), 0);
    fake::failWrites(0, 0);
    EXPECT_TRUE(quietClose);
    EXPECT_FALSE(firstClose);
    EXPECT_TRUE(secondClose);
    EXPECT_EQ(shown,
              "Could not save: the disk is full — the last changes are lost if the program closes now. "
              "Free some space, then close again: the program tries once more and then quits either way.");
    // Each said in a box too: the refused close over the window, the loss after it.
    const auto boxes = fake::errorBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].second, shown);
    EXPECT_EQ(boxes[1].second, "Could not save: the disk is full — the last changes of this run are lost.");

    rv::resetStateForTests();
    fake::reset();
    fake::setExePath(folder() + "/ravelin");
    fake::setEnvironment("LOCALAPPDATA", folder());
    fake::addWindow(rv::kMainWindowTitle, reinterpret_cast<void*>(0x1));
    bool closed = false;
    fake::webview().onRun = [&] {
        fake::failWrites(1000, 0);
        rv::sms = 444;
        rv::saveSession();
        fake::failWrites(0, 0);
        closed = fake::webview().mayClose();
    };
    EXPECT_EQ(rv::ravelinMain(""), 0);
    EXPECT_TRUE(closed);
    EXPECT_EQ(readFile("Tapforge/session.mcr").rfind("SETTINGS:0,0,0,444,", 0), 0u);
    EXPECT_TRUE(fake::errorBoxes().empty());
}

TEST_F(MainInstance, StartUpRegistersThisExecutableOrShowsThatNothingIsRegistered) {
    // Asked for, but the system refuses it: the preference follows what is registered.
    writeFile("appsettings.txt", "launchOnStartup=1\r\n");
    fake::failRegistration(true);
    EXPECT_EQ(rv::ravelinMain(""), 0);
    EXPECT_EQ(fake::startupRegistration(), std::nullopt);
    EXPECT_FALSE(rv::launchOnStartup);

    rv::resetStateForTests();
    fake::failRegistration(false);
    EXPECT_EQ(rv::ravelinMain(""), 0);
    EXPECT_EQ(fake::startupRegistration(), "\"" + folder() + "/ravelin\"");
    EXPECT_TRUE(rv::launchOnStartup);
}

TEST_F(MainInstance, MissingPageIsReportedAndTheRunGoesOnWithAnEmptyWindow) {
    std::filesystem::remove_all(inFolder("ui"));
    bool ran = false;
    fake::webview().onRun = [&] { ran = true; };

    EXPECT_EQ(rv::ravelinMain(""), 0);

    ASSERT_EQ(fake::errorBoxes().size(), 1u);
    EXPECT_EQ(fake::errorBoxes()[0].first, "UI Error");
    EXPECT_EQ(fake::errorBoxes()[0].second, "Failed to read:\n" + folder() + "/ui/index.html");
    EXPECT_TRUE(ran);
    EXPECT_EQ(fake::webview().html, "");
}

TEST_F(MainInstance, NoBrowserMeansAnErrorAndExitCodeOneWithNothingWritten) {
    fake::webview().createFails = true;
    EXPECT_EQ(rv::ravelinMain(""), 1);
    ASSERT_EQ(fake::errorBoxes().size(), 1u);
    EXPECT_EQ(fake::errorBoxes()[0].second, "No browser.");
    EXPECT_FALSE(std::filesystem::exists(inFolder("appsettings.txt")));
    EXPECT_FALSE(std::filesystem::exists(inFolder("status.txt")));
    EXPECT_FALSE(std::filesystem::exists(inFolder("theme.txt")));
    std::vector<std::string> calls = fake::calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "raiseTimerResolution"), 0);

    fake::reset();
    fake::setExePath(folder() + "/ravelin");
    fake::setEnvironment("LOCALAPPDATA", folder());
    fake::webview().libraryPresent = false;
    fake::webview().libraryProblem = {plat::LibraryProblem::Kind::DependencyMissing, "MSVCP140.dll"};
    EXPECT_EQ(rv::ravelinMain(""), 1);
    ASSERT_EQ(fake::errorBoxes().size(), 1u);
    EXPECT_NE(fake::errorBoxes()[0].second.find("fake-webview"), std::string::npos);
    EXPECT_NE(fake::errorBoxes()[0].second.find("It needs MSVCP140.dll"), std::string::npos);
}

TEST_F(MainInstance, PanelModeShowsThePageInItsOwnWindow) {
    // What the panel's bindings send to the main instance: the stripped arguments, or nothing.
    std::vector<std::string> results;
    fake::webview().onRun = [&results] {
        for (auto [name, request] : {std::pair{"updateSpammer", "[0,0,1,500,0,0,1,10,0]"},
                                     {"toggleSpammer", "[1]"},
                                     {"updateKeySpam", "[\"0\",1,2,3,0,7]"},
                                     {"toggleKeySpam", "[]"},
                                     {"reassignKey", "[\"rec\"]"},
                                     {"updateTracker", "[1,0,1,0,1,\"2.5\",1,100]"}}) {
            results.push_back(fake::callBinding(name, request));
        }
    };
    EXPECT_EQ(rv::ravelinMain("--child"), 0);
    EXPECT_EQ(results, std::vector<std::string>(6, ""));
    // Started without the settings in use, the panel asks for them before its first edit; nobody
    // answers here, so the groups go as they are.
    EXPECT_EQ(fake::sentMessages(),
              (std::vector<std::string>{"getSettings|", "updateSpammer|0,0,1,500,0,0,1,10,0",
                                        "toggleSpammer|", "updateKeySpam|0,1,2,3,0,7", "toggleKeySpam|",
                                        "reassignKey|rec", "updateTracker|1,0,1,0,1,2.5,1,100"}));
    EXPECT_EQ(fake::webview().title, "Ravelin (Panel)");
    EXPECT_EQ(fake::webview().width, 450);
    EXPECT_EQ(fake::webview().height, 400);
    const std::string& html = fake::webview().html;
    EXPECT_EQ(html.rfind("<html>\n<body>page<script>", 0), 0u) << html;
    EXPECT_NE(html.find("applyTheme('modern-blue')"), std::string::npos);
    EXPECT_EQ(html.substr(html.size() - 16), "</body>\n</html>\n");
    EXPECT_EQ(fake::webview().bound,
              (std::vector<std::string>{
                  "updateSpammer",      "toggleSpammer",      "updateKeySpam",      "toggleKeySpam",
                  "reassignKey",        "changeSettings",     "updateTracker",      "resizeWindow",
                  "beginWindowDrag",    "closeThisWindow",    "getSettings",        "getTrackerStatus",
                  "getClickStartDelay", "getPlayRepeat",      "getReassignRefusal", "getReplacedRecording",
                  "restoreRecording",   "setClickStartDelay", "setPlayRepeat",      "pickLocation",
                  "togglePlay",         "toggleRecord",       "listMacros",         "saveMacro",
                  "loadMacro",          "renameMacro",        "duplicateMacro",     "deleteMacro",
                  "importMacro",        "exportMacro",        "openMacroFolder",    "getMacroJob",
                  "chooseMacroFile",    "getMacroFileChoice"}));

    std::filesystem::remove_all(inFolder("ui"));
    fake::reset();
    fake::setExePath(folder() + "/ravelin");
    EXPECT_EQ(rv::ravelinMain("--child"), 0);
    EXPECT_EQ(fake::webview().html, "<h2>Error loading UI in child process</h2>");
    EXPECT_TRUE(fake::errorBoxes().empty());
}

TEST_F(MainInstance, EveryWorkerThreadIsNamedAndTheTimeCriticalOnesRaised) {
    fake::setScheduling({plat::SchedulingKind::Nice, -5});
    EXPECT_EQ(rv::ravelinMain(""), 0);
    std::vector<std::string> names = fake::threadNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"auto-clicker", "autosave", "capture", "control",
                                               "key spammer", "macro files", "macro player", "pipe server"}));
    std::vector<std::string> raised = fake::raisedThreads();
    std::sort(raised.begin(), raised.end());
    EXPECT_EQ(raised, (std::vector<std::string>{"auto-clicker", "capture", "control", "key spammer",
                                                "macro player"}));
    EXPECT_EQ(rv::schedulingText(), "nice -5");
}

// A hotkey's effect reaches the page through a script the window thread runs, not only through the
// page's next poll; changes that come close together are told once.
TEST_F(MainInstance, TheRunningProgramTellsThePageWhatTheHotkeysChanged) {
    fake::addWindow(rv::kMainWindowTitle, reinterpret_cast<void*>(0x1));
    fake::webview().onRun = [] {
        plat::sleepMs(150);  // the control thread has taken the state as it was
        rv::raiseRequest(rv::clickerToggleRequest);
        rv::raiseRequest(rv::keySpamToggleRequest);
        plat::sleepMs(300);
    };
    EXPECT_EQ(rv::ravelinMain(""), 0);
    // The figures handed over while the clicker runs (timed by the control thread) are not counted.
    const std::vector<std::string>& scripts = fake::webview().scripts;
    EXPECT_EQ(std::count(scripts.begin(), scripts.end(),
                         "window.ravelinStatusChanged && window.ravelinStatusChanged()"),
              1);
    for (const std::string& script : scripts) {
        EXPECT_TRUE(script.rfind("window.ravelinStatusChanged", 0) == 0 ||
                    script.rfind("window.ravelinStatus && window.ravelinStatus(", 0) == 0)
            << script;
    }
    // The open panels are told too.
    EXPECT_GE(fake::pipeNotices(), 1);
    EXPECT_TRUE(rv::autoClicking && rv::keySpamming);
}

// While the clicker runs, the main page is handed the status twice a second as long as its window
// shows. A minimized or covered window's page is handed nothing and told once that it is unseen (so
// that it reads nothing itself); the figures come again once the window shows. Our windows are
// still noted for the clicker.
TEST_F(MainInstance, OnlyAShownMainWindowIsHandedTheFiguresWhileTheClickerRuns) {
    using Change = void (*)(plat::WindowHandle);
    const struct {
        const char* what;
        Change hide, show;
    } cases[] = {
        {"shown", nullptr, nullptr},
        {"minimized", [](plat::WindowHandle w) { plat::showWindow(w, plat::Show::Minimize); },
         [](plat::WindowHandle w) { plat::showWindow(w, plat::Show::Restore); }},
        {"covered", [](plat::WindowHandle w) { fake::setCovered(w, true); },
         [](plat::WindowHandle w) { fake::setCovered(w, false); }},
    };
    const auto count = [](const char* start) {
        const std::vector<std::string>& scripts = fake::webview().scripts;
        return static_cast<size_t>(
            std::count_if(scripts.begin(), scripts.end(),
                          [start](const std::string& script) { return script.rfind(start, 0) == 0; }));
    };
    const char* const handedScript = "window.ravelinStatus && window.ravelinStatus({";
    const char* const unseenScript = "window.ravelinUnseen && window.ravelinUnseen()";
    // The window loop runs what falls due until `done` (at most 6 s: a slow control thread under Wine
    // takes its passes late), then for `more` milliseconds on.
    const auto loopUntil = [](const std::function<bool()>& done, int more) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(6);
        auto until = limit;
        for (bool seen = false; std::chrono::steady_clock::now() < until;) {
            plat::sleepMs(50);
            fake::runDispatched();
            if (!seen && done()) {
                seen = true;
                until = std::min(limit, std::chrono::steady_clock::now() + std::chrono::milliseconds(more));
            }
        }
    };
    bool first = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (!std::exchange(first, false)) {  // a fresh program
            TearDown();
            SetUp();
        }
        const auto window = reinterpret_cast<plat::WindowHandle>(0x1);
        fake::addWindow(rv::kMainWindowTitle, window);
        // Away from the pointer, which the clicker would otherwise wait to leave our window.
        fake::window(window).rect = {800, 300, 1220, 860};
        size_t handedHidden = 0, unseenHidden = 0;
        fake::webview().onRun = [&] {
            if (c.hide) c.hide(window);
            rv::raiseRequest(rv::clickerToggleRequest);
            // Long enough for a few hand-overs to fall due.
            loopUntil([&] { return count(handedScript) + count(unseenScript) > 0; }, 1500);
            handedHidden = count(handedScript);
            unseenHidden = count(unseenScript);
            if (c.show) c.show(window);
            loopUntil([&] { return count(handedScript) > handedHidden; }, 0);
            rv::raiseRequest(rv::clickerToggleRequest);
            plat::sleepMs(50);
        };
        EXPECT_EQ(rv::ravelinMain(""), 0);
        if (c.hide) {
            EXPECT_EQ(handedHidden, 0u);
            EXPECT_EQ(unseenHidden, 1u);
        } else {
            EXPECT_GE(handedHidden, 1u);
            EXPECT_EQ(unseenHidden, 0u);
        }
        EXPECT_GE(count(handedScript) - handedHidden, 1u);  // shown (again): the figures come
        EXPECT_EQ(count(unseenScript), unseenHidden);
        EXPECT_NE(rv::ownWindowsNoted, 0);
    }
}

TEST_F(MainInstance, SecondMainInstanceBringsTheFirstForwardAndLeavesWithoutWriting) {
    struct Case {
        const char* what;
        bool windowShown, minimized;
        const char* expectedShow;  // the window operation before the foreground, if any
    };
    const Case cases[] = {
        {"shown", true, false, nullptr},
        {"minimized", true, true, "restore"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake::reset();
        fake::setRealSleep(true);
        fake::setExePath(folder() + "/ravelin");
        fake::setEnvironment("LOCALAPPDATA", folder() + "/data");
        std::filesystem::remove_all(folder() + "/data");
        void* first = reinterpret_cast<void*>(0x7);
        if (c.windowShown) {
            fake::addWindow(rv::kMainWindowTitle, first);
            fake::window(first).minimized = c.minimized;
        }
        fake::holdMainInstanceElsewhere(-1);

        EXPECT_EQ(rv::ravelinMain(""), 0);

        EXPECT_FALSE(fake::webview().created);
        EXPECT_TRUE(fake::errorBoxes().empty());
        EXPECT_FALSE(std::filesystem::exists(folder() + "/data"));
        EXPECT_FALSE(std::filesystem::exists(inFolder("appsettings.txt")));
        EXPECT_FALSE(std::filesystem::exists(inFolder("status.txt")));
        EXPECT_FALSE(fake::startupRegistration().has_value());
        std::vector<std::string> calls = fake::calls();
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "raiseTimerResolution"), 0);
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "forceForeground"), c.windowShown ? 1 : 0);
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "restore"), c.expectedShow ? 1 : 0);
        if (c.windowShown) {
            EXPECT_FALSE(fake::window(first).minimized);
        }
        EXPECT_EQ(fake::mainInstanceClaims(), 1);
    }
}

// Something not ours under the claim's name: the user is told, the program does not run unguarded,
// writes nothing and does not wait for a window that no instance of ours will show.
TEST_F(MainInstance, AClaimBlockedBySomethingNotOursIsSaidAndNothingRuns) {
    fake::setEnvironment("LOCALAPPDATA", folder() + "/data");
    std::filesystem::remove_all(folder() + "/data");
    fake::blockMainInstance("the lock is a folder");

    EXPECT_EQ(rv::ravelinMain(""), 1);

    EXPECT_FALSE(fake::webview().created);
    ASSERT_EQ(fake::errorBoxes().size(), 1u);
    EXPECT_EQ(fake::errorBoxes()[0].second, "the lock is a folder");
    EXPECT_EQ(fake::mainInstanceClaims(), 1);
    EXPECT_FALSE(std::filesystem::exists(folder() + "/data"));
    EXPECT_FALSE(std::filesystem::exists(inFolder("appsettings.txt")));
}

TEST_F(MainInstance, ClaimThatComesFreeWhileLookingMakesThisTheMainInstance) {
    // The first instance is ending: its window is gone and it lets go after a few looks, or only after
    // a long save (here 30 s of looks); this start then runs as the main instance.
    for (int looks : {3, 300}) {
        SCOPED_TRACE(looks);
        fake::reset();
        rv::resetStateForTests();
        fake::setExePath(folder() + "/ravelin");
        fake::setEnvironment("LOCALAPPDATA", folder() + "/data");
        fake::holdMainInstanceElsewhere(looks);
        EXPECT_EQ(rv::ravelinMain(""), 0);
        EXPECT_TRUE(fake::webview().created);
        EXPECT_EQ(fake::mainInstanceClaims(), looks + 1);
    }
}
