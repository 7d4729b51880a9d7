#include "state/save_problems.h"

#include <filesystem>

#include "bridge/texts.h"
#include "state/preferences.h"
#include "state/session_file.h"
#include "support/fresh_state.h"

namespace {

namespace fs = std::filesystem;

const std::string kDiskFull =
    "Could not save: the disk is full — changes are kept in memory and saved when space is free";

class KeptFiles : public FreshState {
  protected:
    void SetUp() override {
        FreshState::SetUp();
        rv::prepareSessionPath();
        rv::profiles = {rv::Profile{"a", "", {}}};
    }
    void makeReadOnly(const std::string& name) const {
        fs::permissions(inFolder(name),
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    }
    void makeWritable(const std::string& name) const {
        fs::permissions(inFolder(name), fs::perms::owner_write, fs::perm_options::add);
    }
};

// Each preference file, changed the way the page changes it, and what it holds then.
struct PreferenceChange {
    const char* file;
    void (*change)();
    const char* written;
};

const PreferenceChange kChanges[] = {
    {"theme.txt", [] { rv::saveTheme("dark"); }, "dark"},
    {"playback.txt", [] { rv::savePlayRepeat(7); }, "7"},
    {"clickdelay.txt", [] { rv::saveClickStartDelay(3); }, "3"},
    {"appsettings.txt", [] { rv::applyAppSetting("alwaysOnTop", "1"); }, "alwaysOnTop=1\r\n"},
};

}  // namespace

TEST_F(KeptFiles, AFullDiskIsSaidTheFileStaysWholeAndTheNextSaveWritesTheChange) {
    rv::saveSession();
    const std::string good = readFile("Tapforge/session.mcr");
    EXPECT_EQ(rv::saveProblemText(), "");

    rv::profiles[0].name = "renamed";
    fake::failWrites(1, 5);
    rv::saveSession();
    EXPECT_EQ(readFile("Tapforge/session.mcr"), good);
    EXPECT_EQ(rv::saveProblemText(), kDiskFull);
    EXPECT_TRUE(rv::anyWriteFailing());
    EXPECT_NE(rv::statusText().find("\"saveProblem\":\"" + kDiskFull + "\""), std::string::npos);

    // What the autosave and the last save of a close do: the change is not taken as written.
    rv::saveSessionAfterWorkers();
    EXPECT_NE(readFile("Tapforge/session.mcr").find("PROFILE:renamed"), std::string::npos);
    EXPECT_EQ(rv::saveProblemText(), "");
    EXPECT_FALSE(rv::anyWriteFailing());
}

TEST_F(KeptFiles, OtherWriteFailuresNameTheFile) {
    fake::failWrites(1, 0, plat::WriteFailure::NotAllowed);
    rv::saveSession();
    EXPECT_EQ(rv::saveProblemText(),
              "Could not save session.mcr: writing there is not allowed — changes are "
              "kept in memory and saved when it can be written");
    fake::failWrites(1, 0, plat::WriteFailure::Other);
    rv::saveTheme("dark");
    EXPECT_NE(rv::saveProblemText().find("Could not save theme.txt — changes are kept in memory"),
              std::string::npos);
    EXPECT_EQ(rv::closeProblemText(false),
              "Could not save session.mcr, theme.txt — the last changes of this "
              "run are lost.");
}

TEST_F(KeptFiles, AReadOnlySessionIsLeftAloneAndSaid) {
    rv::saveSession();
    const std::string good = readFile("Tapforge/session.mcr");
    makeReadOnly("Tapforge/session.mcr");
    rv::profiles[0].name = "renamed";
    rv::saveSession();
    EXPECT_EQ(readFile("Tapforge/session.mcr"), good);
    EXPECT_EQ(rv::saveProblemText(),
              "session.mcr is read-only — the change cannot be kept and lasts only until the program closes");
    // Read-only is the user's choice, not a failure the close must try again.
    EXPECT_FALSE(rv::anyWriteFailing());
}

TEST_F(KeptFiles, PreferenceFilesFollowTheSessionFilesRule) {
    for (const PreferenceChange& c : kChanges) {
        SCOPED_TRACE(c.file);
        writeFile(c.file, "old");
        makeReadOnly(c.file);
        c.change();
        // Left alone, read-only still, and the page says the change is not kept.
        EXPECT_EQ(readFile(c.file), "old");
        EXPECT_EQ(fs::status(inFolder(c.file)).permissions() & fs::perms::owner_write, fs::perms::none);
        EXPECT_EQ(rv::keepFailure(c.file), rv::KeepFailure::ReadOnly);
        EXPECT_NE(rv::saveProblemText().find(std::string(c.file) + " is read-only"), std::string::npos);

        // Once the user lets it be written, the autosave keeps the change.
        makeWritable(c.file);
        rv::savePendingPreferences();
        EXPECT_NE(readFile(c.file).find(c.written), std::string::npos);
        EXPECT_EQ(rv::keepFailure(c.file), rv::KeepFailure::Kept);
    }
    EXPECT_EQ(rv::saveProblemText(), "");
}

TEST_F(KeptFiles, APreferenceWrittenOnAFullDiskKeepsItsOldValueUntilSpaceIsFree) {
    for (const PreferenceChange& c : kChanges) {
        SCOPED_TRACE(c.file);
        writeFile(c.file, "old");
        fake::failWrites(1, 0);
        c.change();
        EXPECT_EQ(readFile(c.file), "old");
        EXPECT_EQ(rv::saveProblemText(), kDiskFull);
        EXPECT_FALSE(fs::exists(inFolder(std::string(c.file) + ".tmp")));
        rv::savePendingPreferences();
        EXPECT_NE(readFile(c.file).find(c.written), std::string::npos);
        EXPECT_EQ(rv::saveProblemText(), "");
    }
}

TEST_F(KeptFiles, PreferencesGoWhereTheyCanBeWrittenAndFilesLeftBesideTheExecutableAreReadOnce) {
    writeFile("theme.txt", "dark");
    writeFile("playback.txt", "9");

    // A folder that can be written keeps them beside the executable.
    rv::choosePreferencesFolder();
    EXPECT_EQ(rv::preferencesFolder(), folder());

    // A read-only folder (installed for all users): the data folder, or the configuration folder
    // where the platform has one, with what was left beside the executable.
    fake::setUnwritableFolder(folder());
    rv::choosePreferencesFolder();
    EXPECT_EQ(rv::preferencesFolder(), folder() + "/Tapforge");
    EXPECT_EQ(rv::loadTheme(), "dark");
    EXPECT_EQ(rv::loadPlayRepeat(), 9);
    rv::saveTheme("light");
    EXPECT_EQ(readFile("Tapforge/theme.txt"), "light");
    EXPECT_EQ(readFile("theme.txt"), "dark");
    EXPECT_EQ(rv::saveProblemText(), "");

    // The next start reads the moved files, not the ones left behind.
    rv::resetPreferencesForTests();
    rv::choosePreferencesFolder();
    EXPECT_EQ(rv::loadTheme(), "light");

    fake::setEnvironment("XDG_CONFIG_HOME", folder() + "/config");
    fs::create_directories(inFolder("config"));
    rv::choosePreferencesFolder();
    EXPECT_EQ(rv::preferencesFolder(), folder() + "/config/Tapforge");
    EXPECT_EQ(readFile("config/Tapforge/theme.txt"), "dark");
    EXPECT_FALSE(fs::exists(inFolder(".ravelin-write-check")));
}
