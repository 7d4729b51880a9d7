// What the Linux process set-up leaves in the environment for the window's browser engine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/platform.h"

namespace {

TEST(ProcessSetup, PagePaintedWithoutCompositingUnlessTheUserSaidOtherwise) {
    unsetenv("WEBKIT_DISABLE_COMPOSITING_MODE");
    plat::initProcess();
    ASSERT_NE(std::getenv("WEBKIT_DISABLE_COMPOSITING_MODE"), nullptr);
    EXPECT_EQ(std::string(std::getenv("WEBKIT_DISABLE_COMPOSITING_MODE")), "1");
    EXPECT_EQ(std::string(std::getenv("GDK_BACKEND")), "x11");

    setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "0", 1);
    plat::initProcess();
    EXPECT_EQ(std::string(std::getenv("WEBKIT_DISABLE_COMPOSITING_MODE")), "0");
}

}  // namespace
