// The Linux start-up registration: the autostart entry Tapforge.desktop, written into a private
// config folder.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/platform.h"

namespace {

namespace fs = std::filesystem;

class X11Registration : public ::testing::Test {
  protected:
    void SetUp() override {
        char folder[] = "/tmp/ravelin-autostart-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        base_ = folder;
        const char* home = getenv("HOME");
        const char* config = getenv("XDG_CONFIG_HOME");
        savedHome_ = home ? home : "";
        savedConfig_ = config ? config : "";
        hadConfig_ = config != nullptr;
        setenv("HOME", (base_ + "/home").c_str(), 1);
        fs::create_directories(base_ + "/home");
    }
    void TearDown() override {
        setenv("HOME", savedHome_.c_str(), 1);
        if (hadConfig_) {
            setenv("XDG_CONFIG_HOME", savedConfig_.c_str(), 1);
        } else {
            unsetenv("XDG_CONFIG_HOME");
        }
        fs::remove_all(base_);
    }
    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
    std::string base_, savedHome_, savedConfig_;
    bool hadConfig_ = false;
};

}  // namespace

TEST_F(X11Registration, OnWritesADesktopEntryWithTheQuotedPathAndOffRemovesIt) {
    setenv("XDG_CONFIG_HOME", (base_ + "/config").c_str(), 1);
    const std::string entry = base_ + "/config/autostart/Tapforge.desktop";
    EXPECT_TRUE(plat::setStartupRegistration(true, "/opt/My Apps/ravelin"));
    EXPECT_EQ(read(entry),
              "[Desktop Entry]\nType=Application\nName=Ravelin\nExec=\"/opt/My Apps/ravelin\"\n");

    // Quoting inside the argument, then the string escapes of the file itself; '%' is not a field code.
    plat::setStartupRegistration(true, "/a \"b\" `c` $d \\e 100%");
    EXPECT_EQ(read(entry),
              "[Desktop Entry]\nType=Application\nName=Ravelin\n"
              "Exec=\"/a \\\\\"b\\\\\" \\\\`c\\\\` \\\\$d \\\\\\\\e 100%%\"\n");

    EXPECT_FALSE(plat::setStartupRegistration(false, "/opt/My Apps/ravelin"));
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_TRUE(fs::is_directory(base_ + "/config/autostart"));
    EXPECT_FALSE(plat::setStartupRegistration(false, "/opt/My Apps/ravelin"));  // already gone
    EXPECT_FALSE(fs::exists(entry));
}

TEST_F(X11Registration, AnEntryThatCannotBeWrittenOrRemovedIsReportedAsItIs) {
    setenv("XDG_CONFIG_HOME", (base_ + "/config").c_str(), 1);
    fs::create_directories(base_ + "/config");
    std::ofstream(base_ + "/config/autostart") << "a file where the folder belongs";
    EXPECT_FALSE(plat::setStartupRegistration(true, "/usr/bin/ravelin"));

    // An entry that cannot be removed (a folder of that name) still counts as registered.
    fs::remove(base_ + "/config/autostart");
    fs::create_directories(base_ + "/config/autostart/Tapforge.desktop/inside");
    EXPECT_TRUE(plat::setStartupRegistration(false, "/usr/bin/ravelin"));
}

TEST_F(X11Registration, WithoutAnAbsoluteConfigHomeTheEntryGoesUnderHome) {
    for (const char* config : {"", "relative/config"}) {
        setenv("XDG_CONFIG_HOME", config, 1);
        plat::setStartupRegistration(true, "/usr/bin/ravelin");
        EXPECT_TRUE(fs::exists(base_ + "/home/.config/autostart/Tapforge.desktop")) << config;
        plat::setStartupRegistration(false, "/usr/bin/ravelin");
        EXPECT_FALSE(fs::exists(base_ + "/home/.config/autostart/Tapforge.desktop")) << config;
    }
    EXPECT_FALSE(fs::exists("relative"));
}
