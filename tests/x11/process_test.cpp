// What the Linux process set-up leaves in the environment for the window's browser engine; file sizes
// and folder listings.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/x11/render_node.h"

namespace {

// Settings for the browser engine that process set-up makes unless the user made them first.
TEST(ProcessSetup, BrowserEngineSettingsAreMadeUnlessTheUserSaidOtherwise) {
    for (const char* name : {"WEBKIT_DISABLE_COMPOSITING_MODE", "WEBKIT_DISABLE_MEMORY_PRESSURE_MONITOR"}) {
        unsetenv(name);
        plat::initProcess();
        ASSERT_NE(std::getenv(name), nullptr) << name;
        EXPECT_EQ(std::string(std::getenv(name)), "1") << name;

        setenv(name, "0", 1);
        plat::initProcess();
        EXPECT_EQ(std::string(std::getenv(name)), "0") << name;
    }
    EXPECT_EQ(std::string(std::getenv("GDK_BACKEND")), "x11");
}

// GTK draws the window with cairo only where OpenGL would be software: no render node.
TEST(ProcessSetup, CairoDrawsTheWindowOnlyWithoutAGpuRenderNode) {
    namespace fs = std::filesystem;
    const char* tmp = std::getenv("TMPDIR");
    const fs::path dri =
        fs::path(tmp && tmp[0] == '/' ? tmp : "/tmp") / ("dri-test-" + std::to_string(getpid()));
    fs::remove_all(dri);
    EXPECT_FALSE(plat::x11::hasRenderNode(dri.c_str()));  // no folder
    fs::create_directories(dri);
    std::ofstream(dri / "card0").put('x');
    EXPECT_FALSE(plat::x11::hasRenderNode(dri.c_str()));  // a display device alone
    std::ofstream(dri / "renderD128").put('x');
    EXPECT_TRUE(plat::x11::hasRenderNode(dri.c_str()));
    fs::remove_all(dri);

    unsetenv("GSK_RENDERER");
    plat::initProcess();
    const char* chosen = std::getenv("GSK_RENDERER");
    if (plat::x11::hasRenderNode("/dev/dri"))
        EXPECT_EQ(chosen, nullptr);
    else
        EXPECT_EQ(std::string(chosen ? chosen : ""), "cairo");
    setenv("GSK_RENDERER", "gl", 1);
    plat::initProcess();
    EXPECT_EQ(std::string(std::getenv("GSK_RENDERER")), "gl");
    unsetenv("GSK_RENDERER");
}

// The macro library lists its folder and looks at each file's size and time before reading it.
TEST(Files, FoldersAreListedWithTheirFilesSizesAndTimes) {
    char folderTemplate[] = "/tmp/ravelin-files-XXXXXX";
    ASSERT_NE(mkdtemp(folderTemplate), nullptr);
    const std::string folder = folderTemplate;
    const std::string name = "\xC3\xA9t\xC3\xA9 \xE6\x97\xA5.rvm";
    ASSERT_TRUE(plat::writeFile(folder + "/" + name, "12345"));
    ASSERT_TRUE(plat::createDirectory(folder + "/sub"));
    mkfifo((folder + "/pipe").c_str(), 0600);
    EXPECT_EQ(plat::listFiles(folder), std::vector<std::string>{name});
    plat::FileInfo info;
    ASSERT_TRUE(plat::fileInfo(folder + "/" + name, info));
    EXPECT_EQ(info.size, 5u);
    EXPECT_LT(std::llabs(info.modified - static_cast<int64_t>(std::time(nullptr))), 120);
    // Neither a folder nor a pipe is a file to read.
    EXPECT_FALSE(plat::fileInfo(folder + "/sub", info));
    EXPECT_FALSE(plat::fileInfo(folder + "/pipe", info));
    EXPECT_FALSE(plat::fileInfo(folder + "/none", info));
    EXPECT_TRUE(plat::listFiles(folder + "/none").empty());
    std::filesystem::remove_all(folder);
}

// Why a write failed is told apart: a full disk (the kernel's always-full device), a read-only file
// system, anything else; a write that succeeds clears it.
TEST(Files, AFailedWriteSaysWhy) {
    EXPECT_FALSE(plat::writeFile("/dev/full", "x"));
    EXPECT_EQ(plat::lastWriteFailure(), plat::WriteFailure::DiskFull);
    EXPECT_FALSE(plat::writeFile("/sys/ravelin-no-such-file", "x"));
    EXPECT_EQ(plat::lastWriteFailure(), plat::WriteFailure::NotAllowed);
    EXPECT_FALSE(plat::writeFile("/tmp/ravelin-no-such-folder-" + std::to_string(getpid()) + "/file", "x"));
    EXPECT_EQ(plat::lastWriteFailure(), plat::WriteFailure::Other);
    char folderTemplate[] = "/tmp/ravelin-files-XXXXXX";
    ASSERT_NE(mkdtemp(folderTemplate), nullptr);
    const std::string file = std::string(folderTemplate) + "/kept.txt";
    EXPECT_TRUE(plat::writeFile(file, "x"));
    EXPECT_EQ(plat::lastWriteFailure(), plat::WriteFailure::NoFailure);
    EXPECT_FALSE(plat::replaceFile(file + ".none", file));
    EXPECT_EQ(plat::lastWriteFailure(), plat::WriteFailure::Other);
    std::filesystem::remove_all(folderTemplate);
}

}  // namespace
