#include "state/session_file.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include "app/app.h"
#include "bridge/profiles.h"
#include "state/numbers.h"
#include "state/preferences.h"
#include "state/profile_settings.h"
#include "state/wakes.h"
#include "support/fresh_state.h"

namespace {

const char* const kDefaultSettings =
    "0,0,0,100,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,0,117,0,0,0,100,1,10,120,32";

class SessionFile : public FreshState {
  protected:
    void SetUp() override {
        FreshState::SetUp();
        rv::prepareSessionPath();
    }
    static std::string sessionFile() { return "Tapforge/session.mcr"; }
    // Writes `lines` (LF line ends) as the session file with CR LF line ends.
    void writeSession(const std::string& lines) const {
        std::string bytes;
        for (char c : lines) bytes += c == '\n' ? std::string("\r\n") : std::string(1, c);
        writeFile(sessionFile(), bytes);
    }
    // Loads the file into a fresh state (so nothing left over from a save can pass for loaded data).
    static bool reload() {
        std::string path = rv::sessionPath;
        rv::resetStateForTests();
        rv::sessionPath = path;
        return rv::loadSession();
    }
    // The profile list in one line: current index, then name[settings]{events} per profile.
    static std::string profilesSummary() {
        std::lock_guard<std::mutex> lock(rv::profilesLock);
        std::string out = std::to_string(rv::currentProfile);
        for (const rv::Profile& p : rv::profiles) {
            out += "|" + p.name + "[" + p.settingsText + "]{";
            for (const rv::MacroEvent& e : p.events) {
                out += std::to_string(e.kind) + " " + rv::formatG6(e.time) + " " + std::to_string(e.x) + " " +
                       std::to_string(e.y) + " " + std::to_string(e.flags) + " " + std::to_string(e.vk) +
                       " " + (e.down ? "d" : "u") + " " + std::to_string(e.wheel) + ";";
            }
            out += "}";
        }
        return out;
    }
};

rv::MacroEvent event(int32_t kind, double time, int32_t x, int32_t y, uint32_t flags, int32_t vk, bool down,
                     int32_t wheel) {
    return rv::MacroEvent{kind, time, x, y, flags, vk, down, wheel};
}

}  // namespace

TEST_F(SessionFile, FreshStateSavesExactlyThreeCrLfLines) {
    rv::profiles = {rv::Profile{rv::kDefaultProfileName, "", {}}};
    rv::saveSession();
    EXPECT_EQ(readFile(sessionFile()), std::string("SETTINGS:") + kDefaultSettings +
                                           "\r\nCURRENT:0\r\nPROFILE:Default Tracking Profile\r\n");
    EXPECT_FALSE(std::filesystem::exists(inFolder(sessionFile() + ".tmp")));
}

std::string repeat(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

TEST_F(SessionFile, DataFolderComesFromLocalAppDataWhenItsLengthIsUsable) {
    EXPECT_EQ(rv::sessionPath, folder() + "/Tapforge/session.mcr");
    EXPECT_TRUE(std::filesystem::is_directory(inFolder("Tapforge")));
    struct Case {
        std::optional<std::string> value;
        std::string folder;
    };
    const Case cases[] = {
        {std::string("/data"), "/data/Tapforge"},
        {std::string(259, 'a'), std::string(259, 'a') + "/Tapforge"},
        {std::string(260, 'a'), "./Tapforge"},
        // 259 Japanese characters are 777 bytes but still a usable folder; 260 are not.
        {repeat("\xE6\x97\xA5", 259), repeat("\xE6\x97\xA5", 259) + "/Tapforge"},
        {repeat("\xE6\x97\xA5", 260), "./Tapforge"},
        {std::string(), "./Tapforge"},
        {std::nullopt, "./Tapforge"},
    };
    for (const Case& c : cases) {
        fake::setEnvironment("LOCALAPPDATA", c.value);
        EXPECT_EQ(rv::dataFolder(), c.folder) << c.value.value_or("(unset)").size();
    }
    // A folder that is not there yet is made, with the folders above it.
    fake::setEnvironment("LOCALAPPDATA", folder() + "/not/yet");
    rv::prepareSessionPath();
    rv::saveSession();
    EXPECT_TRUE(std::filesystem::is_regular_file(inFolder("not/yet/Tapforge/session.mcr")));
}

TEST_F(SessionFile, AFileBesideTheExecutableMovesIntoTheDataFolderOnlyWhenNoneIsThere) {
    std::filesystem::create_directories(inFolder("local"));
    fake::setEnvironment("LOCALAPPDATA", inFolder("local"));
    writeFile("session.mcr", "SETTINGS:1\r\nCURRENT:0\r\nPROFILE:old\r\n");
    rv::prepareSessionPath();
    EXPECT_EQ(rv::sessionPath, folder() + "/local/Tapforge/session.mcr");
    EXPECT_FALSE(std::filesystem::exists(inFolder("session.mcr")));
    EXPECT_EQ(readFile("local/Tapforge/session.mcr"), "SETTINGS:1\r\nCURRENT:0\r\nPROFILE:old\r\n");
    EXPECT_TRUE(rv::loadSession());
    EXPECT_EQ(rv::profiles[0].name, "old");

    writeFile("session.mcr", "other");
    rv::prepareSessionPath();
    EXPECT_EQ(readFile("session.mcr"), "other");
    EXPECT_EQ(readFile("local/Tapforge/session.mcr"), "SETTINGS:1\r\nCURRENT:0\r\nPROFILE:old\r\n");
}

TEST_F(SessionFile, SettingsProfilesAndEventsSurviveASaveAndLoad) {
    rv::sh = 1, rv::sm = -2, rv::ss = 3, rv::sms = 40, rv::sbtn = 2, rv::stype = 1, rv::rptMode = 0;
    rv::rptTimes = 7, rv::locMode = 1, rv::fixedX = -1920, rv::fixedY = 1079;
    rv::tmv = false, rv::tclk = false, rv::tscr = false, rv::tkey = false, rv::trel = true;
    rv::tspd = 0.5f, rv::tloop = true, rv::tloopMs = 0;
    rv::hkRec = 5, rv::hkPlay = 6, rv::hkAuto = 4, rv::hkKeySpam = 2, rv::keySpamTarget = 65;
    rv::ksh = 9, rv::ksm = 8, rv::kss = 7, rv::ksms = 6, rv::ksRptMode = 0, rv::ksRptTimes = 2147483647;
    std::string settings = rv::settingsLine();
    EXPECT_EQ(settings, "1,-2,3,40,2,1,0,7,1,-1920,1079,0,0,0,0,1,0.5,1,0,5,6,0,4,9,8,7,6,0,2147483647,2,65");

    rv::profiles = {
        rv::Profile{"a,b \"c\" \\d",
                    "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18",
                    {event(0, 0, 10, 20, 0, 0, false, 0), event(2, 0.016, -5, 7, 0x0080, 6, false, 0),
                     event(3, 1.5, 0, 0, 0, 165, true, 0), event(4, 999.999, 0, 0, 0, 0, false, -240),
                     event(1, 1234.57, -3, 4, 4294967295u, 0, false, 0)}},
        rv::Profile{"", "", {}},
        rv::Profile{"PROFILE:inner", "", {event(3, 2, 0, 0, 0, 32, false, 0)}},
    };
    rv::currentProfile = 2;
    rv::saveSession();
    std::string saved = profilesSummary();

    ASSERT_TRUE(reload());
    EXPECT_EQ(rv::settingsLine(), settings);
    // The current profile had no settings text: the load gives it the live settings.
    EXPECT_EQ(profilesSummary(), saved.substr(0, saved.rfind("[]")) + "[" + rv::profileSettingsText() + "]" +
                                     saved.substr(saved.rfind("[]") + 2));
    EXPECT_EQ(rv::profiles[0].name, "a,b \"c\" \\d");
    EXPECT_EQ(rv::profiles[0].events[4].flags, 4294967295u);

    // From then on a load and a save give the same file byte for byte.
    rv::saveSession();
    std::string bytes = readFile(sessionFile());
    ASSERT_TRUE(reload());
    rv::saveSession();
    EXPECT_EQ(readFile(sessionFile()), bytes);
}

TEST_F(SessionFile, TrackerValuesFromThePageSurviveASaveAndLoad) {
    rv::profiles = {rv::Profile{rv::kDefaultProfileName, "", {}}};
    EXPECT_EQ(callMainBinding("updateTracker", "[0,1,0,1,1,\"2.5\",1,750]"), "");
    rv::saveSession();
    ASSERT_TRUE(reload());
    EXPECT_EQ(rv::settingsLine(),
              "0,0,0,100,0,0,1,10,0,0,0,0,1,0,1,1,2.5,1,750,119,118,0,117,0,0,0,100,1,10,120,32");
}

TEST_F(SessionFile, TimesKeepSixSignificantDigits) {
    rv::profiles = {rv::Profile{
        "p", "", {event(0, 1234.5678, 0, 0, 0, 0, false, 0), event(0, 1234567.5, 0, 0, 0, 0, false, 0)}}};
    rv::saveSession();
    EXPECT_NE(readFile(sessionFile()).find("\r\n0,1234.57,0,0,0,0,0,0\r\n0,1.23457e+06,0,0,0,0,0,0\r\n"),
              std::string::npos);
    ASSERT_TRUE(reload());
    EXPECT_EQ(rv::profiles[0].events[0].time, 1234.57);
    EXPECT_EQ(rv::profiles[0].events[1].time, 1234570.0);
}

TEST_F(SessionFile, SettingsLineBlocksStopAtTheirFirstBadField) {
    struct Case {
        const char* line;
        const char* after;  // settingsLine() once applied to the defaults
    };
    const Case cases[] = {
        // 23 fields: the layout without the key-spam values; those keep their defaults.
        {"1,2,3,4,1,1,0,5,1,6,7,0,0,0,0,1,2,1,9,65,66,0,67",
         "1,2,3,4,1,1,0,5,1,6,7,0,0,0,0,1,2,1,9,65,66,0,67,0,0,0,100,1,10,120,32"},
        // 22 fields: ignored.
        {"1,2,3,4,1,1,0,5,1,6,7,0,0,0,0,1,2,1,9,65,66,0", kDefaultSettings},
        // Switches are true only for "1"; "true" reads false and never stops the block.
        {"0,0,0,100,0,0,1,10,0,0,0,true,2,1,x,0,1,0,500,119,118,0,117",
         "0,0,0,100,0,0,1,10,0,0,0,0,0,1,0,0,1,0,500,119,118,0,117,0,0,0,100,1,10,120,32"},
        // A bad index 3 stops the first block; a full second block still applies.
        {"1,2,3,abc,1,1,0,5,1,6,7,0,0,0,0,1,2,1,9,65,66,0,67,4,3,2,1,0,5,68,69",
         "1,2,3,100,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,0,117,4,3,2,1,0,5,68,69"},
        // Index 21 is never read; index 16 is a float that must fit one.
        {"0,0,0,100,0,0,1,10,0,0,0,1,1,1,1,0,1e39,1,9,1,2,junk,3",
         "0,0,0,100,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,0,117,0,0,0,100,1,10,120,32"},
        {"0,0,0,100,0,0,1,10,0,0,0,1,1,1,1,0, 2.25x,0,500,119,118,junk,117",
         "0,0,0,100,0,0,1,10,0,0,0,1,1,1,1,0,2.25,0,500,119,118,0,117,0,0,0,100,1,10,120,32"},
        // A bad field in the second block keeps the fields before it; fields after 30 are ignored.
        {"0,0,0,100,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,0,117,1,2,,4,5,6,7,8,99",
         "0,0,0,100,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,0,117,1,2,0,100,1,10,120,32"},
        {"0,0,0,100,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,0,117,1,2,3,4,5,6,7,8,99",
         "0,0,0,100,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,0,117,1,2,3,4,5,6,7,8"},
        // 30 fields: the second block needs all 31.
        {"0,0,0,100,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,0,117,1,2,3,4,5,6,7", kDefaultSettings},
    };
    for (const Case& c : cases) {
        rv::resetStateForTests();
        rv::applySettingsLine(c.line);
        EXPECT_EQ(rv::settingsLine(), c.after) << c.line;
    }
}

TEST_F(SessionFile, ReaderRulesForTheFirstLines) {
    struct Case {
        const char* name;
        std::string file;
        bool loaded;
        std::string settings;  // settingsLine() afterwards
    };
    const std::string good = std::string("SETTINGS:") + kDefaultSettings;
    const std::string changed =
        "1,0,0,100,0,0,1,10,0,0,0,1,1,1,1,0,1,0,500,119,118,0,117,0,0,0,100,1,10,120,32";
    const Case cases[] = {
        {"byte-order mark (skipped)", "\xEF\xBB\xBFSETTINGS:" + changed + "\nCURRENT:0\nPROFILE:a\n", true,
         changed},
        {"empty file", "", false, kDefaultSettings},
        {"no settings tag", "PROFILE:a\n", false, kDefaultSettings},
        {"lower-case tag", "settings:" + changed + "\nCURRENT:0\nPROFILE:a\n", false, kDefaultSettings},
        {"settings but no profile", "SETTINGS:" + changed + "\nCURRENT:0\n", false, changed},
        {"LF line ends, no final line end", "SETTINGS:" + changed + "\nCURRENT:0\nPROFILE:a", true, changed},
        {"short settings line still loads profiles", "SETTINGS:1,2\nCURRENT:0\nPROFILE:a\n", true,
         kDefaultSettings},
        {"good", good + "\nCURRENT:0\nPROFILE:a\n", true, kDefaultSettings},
    };
    for (const Case& c : cases) {
        rv::resetStateForTests();
        rv::prepareSessionPath();
        writeFile(sessionFile(), c.file);
        EXPECT_EQ(rv::loadSession(), c.loaded) << c.name;
        EXPECT_EQ(rv::settingsLine(), c.settings) << c.name;
        EXPECT_EQ(rv::profiles.size(), c.loaded ? 1u : 0u) << c.name;
    }
    std::filesystem::remove(inFolder(sessionFile()));
    EXPECT_FALSE(rv::loadSession());
}

TEST_F(SessionFile, ReaderRulesForProfilesAndEvents) {
    struct Case {
        const char* name;
        std::string body;     // the lines after the settings line
        std::string summary;  // profilesSummary() afterwards; "" when nothing loads
    };
    const std::string live = "[0,0,0,100,0,0,1,10,0,0,0,0,0,0,100,1,10,32]";
    const std::string kept = "[1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18]";
    const Case cases[] = {
        {"second line is a profile line (no current line): kept",
         "PROFILE:first\n1,0,0,0,0,0,0,0\nPROFILE:b\nPROFILE:c\n",
         "0|first" + live + "{1 0 0 0 0 0 u 0;}|b[]{}|c[]{}"},
        {"current index out of range", "CURRENT:7\nPROFILE:a\nPROFILE:b\n", "0|a" + live + "{}|b[]{}"},
        {"negative current index", "CURRENT:-1\nPROFILE:a\nPROFILE:b\n", "0|a" + live + "{}|b[]{}"},
        {"current index with junk after it", "CURRENT:1x\nPROFILE:a\nPROFILE:b\n", "1|a[]{}|b" + live + "{}"},
        {"current index not a number", "CURRENT:x\nPROFILE:a\nPROFILE:b\n", "0|a" + live + "{}|b[]{}"},
        {"four profiles", "CURRENT:3\nPROFILE:a\nPROFILE:b\nPROFILE:c\nPROFILE:d\n",
         "3|a[]{}|b[]{}|c[]{}|d" + live + "{}"},
        {"kept settings text, later one wins, none before a profile",
         "CURRENT:0\nPROFILESETTINGS:9\nPROFILE:a\nPROFILESETTINGS:x\nPROFILESETTINGS:" +
             kept.substr(1, kept.size() - 2) + "\n",
         "0|a" + kept + "{}"},
        {"an options mark inside the settings line ends its fields",
         "CURRENT:0\nPROFILE:a\nPROFILESETTINGS:" + kept.substr(1, kept.size() - 2) + ";clickPressMs=5\n",
         "0|a" + kept + "{}"},
        {"empty name and empty lines", "CURRENT:0\nPROFILE:\n\n3,1,0,0,0,65,1,0\n\n",
         "0|" + live + "{3 1 0 0 0 65 d 0;}"},
        {"events before any profile are ignored", "CURRENT:0\n3,1,0,0,0,65,1,0\nPROFILE:a\n",
         "0|a" + live + "{}"},
        {"bad event lines are skipped, the others load",
         "CURRENT:0\nPROFILE:a\n0,0.5,1,2,0,0,0,0\n0,0.6,1x,2,0,0,0,0\n0,0.7,a,2,0,0,0,0\n"
         "0,0.8,1,2,0,0,0\n0,0.9,1,2,0,0,0,\n2,1,3,4,-1,5,2,0,extra\n 4,1.25, -1,+2,0,0,0,-120\n"
         "0,x,1,2,0,0,0,0\n0,1,1,2,0,0,0,3000000000\n",
         "0|a" + live +
             "{0 0.5 1 2 0 0 u 0;0 0.6 1 2 0 0 u 0;2 1 3 4 4294967295 5 d 0;4 1.25 -1 2 0 0 u -120;}"},
        {"a name that looks like a tag stays a name", "CURRENT:0\nPROFILE:PROFILE:x\nPROFILE:CURRENT:1\n",
         "0|PROFILE:x" + live + "{}|CURRENT:1[]{}"},
    };
    for (const Case& c : cases) {
        rv::resetStateForTests();
        rv::prepareSessionPath();
        writeSession(std::string("SETTINGS:") + kDefaultSettings + "\n" + c.body);
        EXPECT_EQ(rv::loadSession(), !c.summary.empty()) << c.name;
        EXPECT_EQ(profilesSummary(), c.summary.empty() ? "0" : c.summary) << c.name;
    }
}

TEST_F(SessionFile, ASaveIsSkippedWhileTheProfileLockIsBusy) {
    rv::profiles = {rv::Profile{"a", "", {}}};
    rv::saveSession();
    std::string before = readFile(sessionFile());
    rv::profiles[0].name = "b";
    {
        std::lock_guard<std::mutex> lock(rv::profilesLock);
        std::thread(&rv::saveSession).join();
    }
    EXPECT_EQ(readFile(sessionFile()), before);
    rv::saveSession();
    EXPECT_NE(readFile(sessionFile()).find("PROFILE:b\r\n"), std::string::npos);
}

TEST_F(SessionFile, AFailedWriteAtAnyPointLeavesTheLastGoodFileLoadable) {
    std::vector<rv::MacroEvent> events;
    for (int i = 0; i < 2000; ++i) events.push_back(event(0, i * 0.01, i, -i, 0, 0, false, 0));
    rv::profiles = {rv::Profile{"a", "", events}, rv::Profile{"b", "", events}};
    rv::saveSession();
    const std::string good = readFile(sessionFile());
    ASSERT_GT(good.size(), 40000u);
    ASSERT_TRUE(reload());
    const std::string goodSummary = profilesSummary();

    rv::profiles[1].events.clear();
    rv::profiles.push_back(rv::Profile{"c", "", {}});
    for (size_t keep :
         {size_t{0}, size_t{1}, size_t{9}, size_t{60}, good.size() / 2, good.size() - 1, good.size() + 100}) {
        fake::failWrites(1, keep);
        rv::saveSession();
        EXPECT_EQ(readFile(sessionFile()), good) << keep;
        EXPECT_FALSE(std::filesystem::exists(inFolder(sessionFile() + ".tmp"))) << keep;
    }
    std::vector<rv::Profile> newer = rv::profiles;
    ASSERT_TRUE(reload());
    EXPECT_EQ(profilesSummary(), goodSummary);

    // The next save that succeeds replaces it.
    rv::profiles = newer;
    rv::saveSession();
    ASSERT_TRUE(reload());
    EXPECT_EQ(rv::profiles.size(), 3u);
    EXPECT_TRUE(rv::profiles[1].events.empty());
}

TEST_F(SessionFile, ConcurrentSavesEachWriteAWholeFile) {
    // Each state has both profiles with the same number of events; a file mixing two saves would not.
    auto whole = [](const std::string& bytes) {
        std::vector<size_t> counts;
        size_t start = 0;
        while (start < bytes.size()) {
            size_t end = bytes.find("\r\n", start);
            if (end == std::string::npos) return false;
            std::string line = bytes.substr(start, end - start);
            if (line.rfind("PROFILE:", 0) == 0) {
                counts.push_back(0);
            } else if (!counts.empty()) {
                if (line.size() < 15) return false;
                ++counts.back();
            }
            start = end + 2;
        }
        return counts.size() == 2 && counts[0] == counts[1] && counts[0] % 500 == 0;
    };
    auto state = [](int n) {
        std::vector<rv::MacroEvent> events(static_cast<size_t>(n * 500), event(0, 1, n, n, 0, 0, false, 0));
        return std::vector<rv::Profile>{{"x", "", events}, {"y", "", events}};
    };
    rv::profiles = state(1);
    std::atomic<bool> stop{false};
    std::vector<std::thread> savers;
    for (int t = 0; t < 3; ++t) {
        savers.emplace_back([&] {
            while (!stop) rv::saveSession();
        });
    }
    for (int n = 2; n < 30; ++n) {
        std::vector<rv::Profile> next = state(n);
        {
            std::lock_guard<std::mutex> lock(rv::profilesLock);
            rv::profiles = std::move(next);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        // Windows refuses to open a file for a moment while it is being replaced: read again then.
        std::string bytes = readFile(sessionFile());
        for (int retry = 0; bytes.empty() && retry < 1000; ++retry) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            bytes = readFile(sessionFile());
        }
        EXPECT_TRUE(whole(bytes)) << n;
    }
    stop = true;
    for (std::thread& saver : savers) saver.join();
    rv::saveSession();
    ASSERT_TRUE(reload());
    ASSERT_EQ(rv::profiles.size(), 2u);
    EXPECT_EQ(rv::profiles[0].events.size(), 29u * 500);
    EXPECT_EQ(rv::profiles[1].events.size(), 29u * 500);
}

TEST_F(SessionFile, AutosaveSavesEveryFiveSecondsAndNotAfterShutdown) {
    rv::profiles = {rv::Profile{"a", "", {}}};
    const int64_t perMs = fake::kFrequency / 1000;
    const int64_t start = plat::ticks();
    std::vector<int64_t> savedAt;  // virtual milliseconds after the start at which a save was found
    int64_t naps = 0;
    fake::onSleep([&](int64_t now) {
        ++naps;
        const int64_t ms = (now - start) / perMs;
        if (std::filesystem::exists(inFolder(sessionFile()))) {
            savedAt.push_back(ms);
            std::filesystem::remove(inFolder(sessionFile()));
        }
        if (ms % 1000 == 0) rv::profiles[0].name = "a" + std::to_string(ms);  // something to save
        if (ms == 7000) rv::wake(rv::Sleeper::Autosave);                      // an early wake: no early save
        if (ms == 13000) {
            rv::appRunning = false;
            rv::wake(rv::Sleeper::Autosave);
        }
    });
    rv::autosaveThread();
    EXPECT_EQ(savedAt, (std::vector<int64_t>{5001, 10001}));
    EXPECT_LE(naps, 13001);  // it ended with the shutdown's wake
    EXPECT_FALSE(std::filesystem::exists(inFolder(sessionFile())));
}

// Rewriting the same text every 5 s would cost a new file and a rename each time for nothing; a
// save asked for outside the autosave (shutdown, a crash) always writes.
TEST_F(SessionFile, AutosaveLeavesTheFileAloneWhileTheSessionIsWhatItLastWrote) {
    rv::profiles = {rv::Profile{"a", "", {}}};
    const int64_t perMs = fake::kFrequency / 1000;
    const int64_t start = plat::ticks();
    std::vector<std::string> seen;  // the file at 6, 11 and 16 s
    fake::onSleep([&](int64_t now) {
        const int64_t ms = (now - start) / perMs;
        if (ms == 6000 || ms == 11000 || ms == 16000) {
            seen.push_back(readFile(sessionFile()).substr(0, 6));
            writeSession("marker");  // shows whether the next autosave wrote over it
        }
        if (ms == 12000) rv::profiles[0].name = "b";
        if (ms == 17000) {
            rv::appRunning = false;
            rv::wake(rv::Sleeper::Autosave);
        }
    });
    rv::autosaveThread();
    EXPECT_EQ(seen, (std::vector<std::string>{"SETTIN", "marker", "SETTIN"}));

    rv::saveSession();
    EXPECT_EQ(readFile(sessionFile()).substr(0, 6), "SETTIN");
}

TEST_F(SessionFile, TheMainInstanceLoadsAtStartAndSavesAfterANormalRunOnly) {
    fake::setRealSleep(true);
    writeFile("ui/index.html", "<html></html>");
    writeFile("appsettings.txt", "launchOnStartup=1\r\n");
    writeFile("theme.txt", "dark\r\n");
    plat::setStartupRegistration(true, "/old/place/ravelin");  // an earlier install
    writeSession(std::string("SETTINGS:") + kDefaultSettings +
                 "\nCURRENT:1\nPROFILE:a\nPROFILE:b\n0,1,2,3,0,0,0,0\n");
    std::string duringRun;
    fake::webview().onRun = [&] {
        duringRun = profilesSummary() + " " + rv::theme + " " + fake::startupRegistration().value_or("none");
        rv::addProfile("c");
    };
    EXPECT_EQ(rv::ravelinMain(""), 0);
    EXPECT_EQ(duringRun, "1|a[]{}|b[0,0,0,100,0,0,1,10,0,0,0,0,0,0,100,1,10,32]{0 1 2 3 0 0 u 0;} dark \"" +
                             folder() + "/ravelin\"");
    ASSERT_TRUE(reload());
    EXPECT_EQ(rv::profiles.size(), 3u);
    EXPECT_EQ(rv::currentProfile, 2);

    // No session: the default profile; an error exit saves nothing.
    std::filesystem::remove(inFolder(sessionFile()));
    rv::resetStateForTests();
    fake::reset();
    fake::setRealSleep(true);
    fake::setExePath(folder() + "/ravelin");
    fake::setEnvironment("LOCALAPPDATA", folder());
    fake::webview().createFails = true;
    EXPECT_EQ(rv::ravelinMain(""), 1);
    EXPECT_EQ(profilesSummary(), "0|Default Tracking Profile[]{}");
    EXPECT_FALSE(std::filesystem::exists(inFolder(sessionFile())));
    EXPECT_EQ(fake::startupRegistration(), "\"" + folder() + "/ravelin\"");
}

namespace {

// The files in the data folder, by name, with their bytes.
std::map<std::string, std::string> dataFiles(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder + "/Tapforge")) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        files[entry.path().filename().string()] = bytes.str();
    }
    return files;
}

}  // namespace

TEST_F(SessionFile, AFileThatFailsToLoadIsKeptAsideAndNeverSavedOver) {
    std::string recording = std::string("SETTINGS:") + kDefaultSettings + "\r\nCURRENT:0\r\nPROFILE:mine\r\n";
    for (int i = 0; i < 1000; ++i) recording += "3," + std::to_string(i) + ",0,0,0,65,1,0\r\n";
    struct Case {
        const char* what;
        std::string bytes;
        bool unreadable;
        bool loads;
        bool keptAside;
    };
    const Case cases[] = {
        {"byte-order mark", "\xEF\xBB\xBF" + recording, false, true, false},
        {"cannot be read", recording, true, false, true},
        {"not a session file", "hello\r\n" + recording, false, false, true},
        {"a mark and then no settings line", "\xEF\xBB\xBFPROFILE:x\r\n", false, false, true},
        {"empty: nothing to keep", "", false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(inFolder("Tapforge"));
        rv::resetStateForTests();
        fake::reset();
        fake::setExePath(folder() + "/ravelin");
        fake::setEnvironment("LOCALAPPDATA", folder());
        rv::prepareSessionPath();
        writeFile(sessionFile(), c.bytes);
        if (c.unreadable) fake::setUnreadable(rv::sessionPath);

        EXPECT_EQ(rv::loadSession(), c.loads);
        if (c.loads) {
            EXPECT_EQ(rv::profiles.at(0).events.size(), 1000u);
        } else {
            rv::profiles = {rv::Profile{rv::kDefaultProfileName, "", {}}};
        }
        rv::saveSession();

        std::map<std::string, std::string> files = dataFiles(folder());
        ASSERT_EQ(files.size(), c.keptAside ? 2u : 1u);
        auto aside = files.begin();  // "session.mcr" sorts before "session.mcr.unreadable-…"
        if (c.keptAside) {
            ++aside;
            EXPECT_EQ(aside->first.rfind("session.mcr.unreadable-", 0), 0u) << aside->first;
            EXPECT_EQ(aside->first.size(), std::string("session.mcr.unreadable-20261207-123456").size());
            EXPECT_EQ(aside->second, c.bytes);
        }
        // The file saved now is a whole session again.
        EXPECT_EQ(files["session.mcr"].rfind("SETTINGS:", 0), 0u);
        EXPECT_EQ(files["session.mcr"].find("PROFILE:mine") != std::string::npos, c.loads);
    }
}

TEST_F(SessionFile, AReadOnlySessionFileIsNeverReplaced) {
    namespace fs = std::filesystem;
    std::string bytes = std::string("SETTINGS:") + kDefaultSettings + "\r\nCURRENT:0\r\nPROFILE:kept\r\n";
    writeSession(std::string("SETTINGS:") + kDefaultSettings + "\nCURRENT:0\nPROFILE:kept\n");
    fs::permissions(rv::sessionPath, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    ASSERT_TRUE(rv::loadSession());
    rv::profiles[0].name = "changed";
    rv::saveSession();
    rv::saveSessionAfterWorkers();
    EXPECT_EQ(readFile(sessionFile()), bytes);
    EXPECT_FALSE(fs::exists(rv::sessionPath + ".tmp"));

    fs::permissions(rv::sessionPath, fs::perms::owner_write, fs::perm_options::add);  // writable again
    rv::saveSession();
    EXPECT_NE(readFile(sessionFile()).find("PROFILE:changed"), std::string::npos);
}

// The close saves before the workers stop and again after: the second writes only what changed in
// between (a long session would otherwise be written twice on every close).
TEST_F(SessionFile, TheSaveAfterTheWorkersWritesOnlyWhatChangedSinceTheLastSave) {
    writeSession(std::string("SETTINGS:") + kDefaultSettings + "\nCURRENT:0\nPROFILE:kept\n");
    ASSERT_TRUE(rv::loadSession());
    rv::saveSession();
    // Stands for the file as the first save left it: a second write would replace it.
    writeFile(sessionFile(), "written once");
    rv::saveSessionAfterWorkers();
    EXPECT_EQ(readFile(sessionFile()), "written once");

    rv::profiles[0].name = "changed";
    rv::saveSessionAfterWorkers();
    EXPECT_NE(readFile(sessionFile()).find("PROFILE:changed"), std::string::npos);
}

TEST_F(SessionFile, AChangeMadeJustBeforeTheCloseIsSavedEvenWhileTheLockIsHeld) {
    fake::setRealSleep(true);
    writeFile("ui/index.html", "<html></html>");
    std::thread holder;
    fake::webview().onRun = [&] {
        rv::addProfile("late");
        // The player or a panel message holds the lock at the moment the window closes.
        std::atomic<bool> taken{false};
        holder = std::thread([&taken] {
            std::lock_guard<std::mutex> lock(rv::profilesLock);
            taken = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        });
        while (!taken) std::this_thread::yield();
    };
    EXPECT_EQ(rv::ravelinMain(""), 0);
    holder.join();
    ASSERT_TRUE(reload());
    ASSERT_EQ(rv::profiles.size(), 2u);
    EXPECT_EQ(rv::profiles[1].name, "late");
}

// The settings kept by name: a profile's that differ from their default go on its options line, which
// an older reader skips as a bad event line; the shared ones go into appsettings.txt. Defaults write
// nothing, so files stay as they were.
TEST_F(SessionFile, SettingsKeptByNameTravelWithTheirProfileOrInAppSettings) {
    rv::profiles = {rv::Profile{"options", "", {}}};
    const std::string plain = rv::profileSettingsText();
    rv::clickPressMs = 0, rv::clickIntervalMaxMs = 250, rv::keySpamLimitSeconds = 90;
    rv::refreshProfileSettings();
    const std::string withOptions = rv::profileSettingsText();
    EXPECT_EQ(withOptions, plain + ";clickPressMs=0,clickIntervalMaxMs=250,keySpamLimitSeconds=90");
    rv::profiles.push_back(rv::Profile{"plain", plain, {event(3, 1, 0, 0, 0, 65, true, 0)}});
    rv::saveSession();
    const std::string bytes = readFile(sessionFile());
    EXPECT_NE(bytes.find("PROFILESETTINGS:" + plain +
                         "\r\nPROFILEOPTIONS:clickPressMs=0,clickIntervalMaxMs=250,keySpamLimitSeconds=90\r\n"
                         "PROFILE:plain\r\nPROFILESETTINGS:" +
                         plain + "\r\n3,"),
              std::string::npos)
        << bytes;

    ASSERT_TRUE(reload());
    EXPECT_EQ(rv::profiles[0].settingsText, withOptions);
    rv::switchProfile("1");  // a profile without options takes every default
    EXPECT_EQ(rv::clickPressMs, rv::kAutomaticPress);
    EXPECT_EQ(rv::keySpamLimitSeconds, 0);
    rv::switchProfile("0");
    EXPECT_EQ(rv::clickIntervalMaxMs, 250);
    EXPECT_EQ(rv::clickPressMs, 0);
    rv::saveSession();
    EXPECT_EQ(readFile(sessionFile()), bytes);

    // Values out of range or unknown names on the line are passed over.
    rv::applyProfileSettingsText(plain + ";clickPressMs=-7,clickJitterPx=5,sms=1,nonsense,keySpamPressMs=12");
    EXPECT_EQ(rv::clickPressMs, rv::kAutomaticPress);
    EXPECT_EQ(rv::clickJitterPx, 5);
    EXPECT_EQ(rv::sms, 100);
    EXPECT_EQ(rv::keySpamPressMs, 12);

    rv::saveAppSettings();
    const std::string prefs = readFile("appsettings.txt");
    rv::failSafe = false, rv::clickActivation = rv::kHold, rv::hkStopAll = 19;
    // A hotkey's modifiers go beside the preferences; its key stays where older versions read it.
    rv::hkAutoModifiers = 1 | 4;
    rv::saveAppSettings();
    EXPECT_EQ(readFile("appsettings.txt"),
              prefs + "clickActivation=1\r\nhkStopAll=19\r\nfailSafe=0\r\nhkAutoModifiers=5\r\n");
    rv::resetStateForTests();
    rv::loadAppSettings();
    EXPECT_FALSE(rv::failSafe);
    EXPECT_EQ(rv::clickActivation, rv::kHold);
    EXPECT_EQ(rv::hkStopAll, 19);
    EXPECT_EQ(rv::hkAutoModifiers, 5);
}
