// The session file kept elsewhere through a symbolic link (a synced folder): saves replace the file
// the link leads to and leave the link in place, on the real file system in folders of the test's own.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>

#include "state/session_file.h"
#include "state/state.h"
#include "state/text_file.h"

namespace {

namespace fs = std::filesystem;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class SessionLink : public testing::Test {
  protected:
    void SetUp() override {
        rv::resetStateForTests();
        const char* base = std::getenv("RAVELIN_TEST_TMP");
        std::string folder = std::string(base ? base : "/tmp") + "/session-link-XXXXXX";
        ASSERT_NE(mkdtemp(folder.data()), nullptr);
        root_ = folder;
        fs::create_directories(root_ / "data");
        fs::create_directories(root_ / "synced" / "deeper");
        rv::sessionPath = (root_ / "data" / "session.mcr").string();
    }
    void TearDown() override {
        std::error_code error;
        fs::remove_all(root_, error);
        rv::resetStateForTests();
    }

    // Saves a session whose only profile is named `name`; what the next load then finds.
    static std::string saveAndLoadName(const std::string& name) {
        {
            std::lock_guard<std::mutex> lock(rv::profilesLock);
            rv::profiles = {rv::Profile{name, "", {rv::MacroEvent{3, 0.25, 0, 0, 0, 66, true, 0}}}};
            rv::currentProfile = 0;
        }
        rv::saveSessionAfterWorkers();
        const std::string path = rv::sessionPath;
        rv::resetStateForTests();
        rv::sessionPath = path;
        if (!rv::loadSession()) return "";
        std::lock_guard<std::mutex> lock(rv::profilesLock);
        return rv::profiles.empty() ? "" : rv::profiles[0].name;
    }

    fs::path root_;
};

TEST_F(SessionLink, SavesGoToTheLinksTargetAndTheLinkStays) {
    struct Case {
        const char* what;
        fs::path target;  // where the saves must land
        fs::path link;    // what session.mcr links to
        bool targetExists;
    };
    const Case cases[] = {
        {"absolute link", root_ / "synced" / "session.mcr", root_ / "synced" / "session.mcr", true},
        {"relative link", root_ / "synced" / "session.mcr", "../synced/session.mcr", true},
        {"dangling link", root_ / "synced" / "new.mcr", root_ / "synced" / "new.mcr", false},
        {"link to a link", root_ / "synced" / "deeper" / "real.mcr", root_ / "synced" / "hop.mcr", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path session = rv::sessionPath;
        std::error_code error;
        fs::remove(session, error);
        fs::remove(c.target, error);
        fs::remove(root_ / "synced" / "hop.mcr", error);
        if (c.link == root_ / "synced" / "hop.mcr") fs::create_symlink("deeper/real.mcr", c.link);
        if (c.targetExists) std::ofstream(c.target) << "SETTINGS:0\r\nCURRENT:0\r\nPROFILE:Before\r\n";
        fs::create_symlink(c.link, session);

        EXPECT_EQ(saveAndLoadName("First"), "First");
        EXPECT_EQ(saveAndLoadName("Second"), "Second");

        EXPECT_TRUE(fs::is_symlink(session));
        EXPECT_EQ(fs::read_symlink(session), c.link);
        EXPECT_NE(readAll(c.target).find("\r\nPROFILE:Second\r\n"), std::string::npos);
        // No temporary file is left in either folder.
        EXPECT_FALSE(fs::exists(c.target.string() + ".tmp"));
        EXPECT_FALSE(fs::exists(session.string() + ".tmp"));
    }
}

// A save cut short by a killed process leaves its temporary file beside the file it was to replace;
// the next start removes it, beside a linked file's target too.
TEST_F(SessionLink, ATemporaryFileLeftByAKilledSaveIsRemoved) {
    const fs::path target = root_ / "synced" / "session.mcr";
    std::ofstream(target) << "SETTINGS:0\r\n";
    fs::create_symlink(target, rv::sessionPath);
    std::ofstream(target.string() + ".tmp") << std::string(1 << 20, 'x');
    std::ofstream(rv::sessionPath + ".tmp") << "left by an older version";

    rv::removeLeftTemporary(rv::sessionPath);

    EXPECT_FALSE(fs::exists(target.string() + ".tmp"));
    EXPECT_FALSE(fs::exists(rv::sessionPath + ".tmp"));
    EXPECT_EQ(readAll(target), "SETTINGS:0\r\n");
    EXPECT_TRUE(fs::is_symlink(rv::sessionPath));
}

}  // namespace
