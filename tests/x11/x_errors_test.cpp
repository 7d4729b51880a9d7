// The X error trap: which errors it drops, and which still reach the process-wide handler.
// GoogleTest comes before the X11 headers, whose macros (None, Bool) would break it.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <atomic>
#include <thread>

#include "platform/x11/x_errors.h"
#include "x11/x11_test_support.h"

namespace {

using plat::x11::ErrorTrap;

// Errors that reached the process-wide handler (whose default would end the process).
std::atomic<int> reported{0};

int countError(Display*, XErrorEvent*) {
    ++reported;
    return 0;
}

// Counts, for the test's length, the errors that reach the process-wide handler.
class X11ErrorTrap : public testing::Test {
  protected:
    void SetUp() override {
        reported = 0;
        previous_ = XSetErrorHandler(&countError);
    }
    void TearDown() override { XSetErrorHandler(previous_); }

  private:
    XErrorHandler previous_ = nullptr;
};

// A request that fails (BadWindow), answered before this returns.
void failOn(Display* display) {
    const Window gone = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    XDestroyWindow(display, gone);
    XMapWindow(display, gone);
    XSync(display, False);
}

TEST_F(X11ErrorTrap, ATrapDropsItsConnectionsErrorsReadOnItsOwnThreadOnly) {
    x11test::Client trapped, other;
    ASSERT_NE(trapped.display(), nullptr);
    ASSERT_NE(other.display(), nullptr);
    {
        ErrorTrap trap(trapped.display());
        plat::x11::clearTrappedError();
        failOn(trapped.display());
        EXPECT_EQ(reported, 0);
        EXPECT_EQ(plat::x11::lastTrappedError(), BadWindow);

        failOn(other.display());
        EXPECT_EQ(reported, 1) << "another connection";
        std::thread([&] { failOn(trapped.display()); }).join();
        EXPECT_EQ(reported, 2) << "the trapped connection, read on a thread without a trap";

        { ErrorTrap nested(trapped.display()); }
        failOn(trapped.display());
        EXPECT_EQ(reported, 2) << "a nested trap closed the outer one";
    }
    failOn(trapped.display());
    EXPECT_EQ(reported, 3) << "after the trap";
}

TEST_F(X11ErrorTrap, AConnectionSetUpOnOneThreadIsTrappedOnAnother) {
    // As the main window's watch does: its connection is set up on the caller's thread and read on a
    // thread of its own.
    x11test::Client client;
    ASSERT_NE(client.display(), nullptr);
    {
        ErrorTrap trap(client.display());
        failOn(client.display());
    }
    std::thread([&] {
        {
            ErrorTrap trap(client.display());
            failOn(client.display());
        }
        failOn(client.display());
    }).join();
    EXPECT_EQ(reported, 1);
}

TEST_F(X11ErrorTrap, ANewConnectionIsTrappedWhereAClosedOneWas) {
    // A closed connection's memory (and so its address) is commonly the next one's.
    for (int i = 0; i < 4; ++i) {
        Display* display = XOpenDisplay(nullptr);
        ASSERT_NE(display, nullptr);
        {
            ErrorTrap trap(display);
            failOn(display);
        }
        XCloseDisplay(display);
    }
    EXPECT_EQ(reported, 0);
}

}  // namespace
