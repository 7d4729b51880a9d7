// What the Linux process set-up leaves in the environment for the window's browser engine.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

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

}  // namespace
