// The program's own input comes back through the capture handlers marked injected, as both real
// platforms echo it; the decisions then leave it alone.
#include <thread>
#include <vector>

#include "capture/capture.h"
#include "engine/key_spammer.h"
#include "platform/input_codes.h"
#include "support/fresh_state.h"

namespace {

struct Seen {
    char kind;  // 'k' key, 'm' mouse, 'r' raw motion (injected: its absolute flag)
    uint32_t code;
    int32_t x, y;
    uint32_t data;
    bool down;  // keys
    bool injected;
    bool operator==(const Seen& other) const {
        return kind == other.kind && code == other.code && x == other.x && y == other.y &&
               data == other.data && down == other.down && injected == other.injected;
    }
};
std::vector<Seen> seen;

bool seeKey(const plat::KeyEvent& e) {
    seen.push_back({'k', static_cast<uint32_t>(e.vk), 0, 0, 0, e.down, e.injected});
    return false;
}
bool seeMouse(const plat::MouseEvent& e) {
    seen.push_back({'m', e.message, e.x, e.y, e.mouseData, false, e.injected});
    return false;
}
void seeMotion(const plat::RawMotion& m) {
    seen.push_back({'r', 0, m.dx, m.dy, 0, false, m.absolute});
}

// Runs `loop` on a thread of its own until the end of the scope, once the fake has its handlers.
class RunningLoop {
  public:
    explicit RunningLoop(void (*loop)()) : thread_(loop) {
        while (!fake::captureRunning()) std::this_thread::yield();
    }
    ~RunningLoop() {
        plat::stopCaptureLoop();
        thread_.join();
    }

  private:
    std::thread thread_;
};

class InjectedEcho : public FreshState {};

TEST_F(InjectedEcho, EveryInjectedActionReachesTheHandlersMarkedInjected) {
    seen.clear();
    // Nothing comes back while no capture loop runs.
    plat::injectKey(65, true);
    EXPECT_TRUE(seen.empty());
    {
        RunningLoop loop([] { plat::runCaptureLoop({&seeKey, &seeMouse, &seeMotion}); });
        plat::injectKey(65, true);
        plat::injectKey(65, false);
        plat::injectAbsoluteMove(300, 200);
        plat::injectMouse(rv::MOUSEEVENTF_LEFTDOWN | rv::MOUSEEVENTF_LEFTUP, 0);
        plat::injectMouse(rv::MOUSEEVENTF_XDOWN, 2);
        plat::injectMouse(rv::MOUSEEVENTF_WHEEL, -120);
        plat::injectRelativeMove(5, -3);
    }
    const std::vector<Seen> expected = {
        {'k', 65, 0, 0, 0, true, true},
        {'k', 65, 0, 0, 0, false, true},
        {'m', rv::WM_MOUSEMOVE, 300, 200, 0, false, true},
        {'m', rv::WM_LBUTTONDOWN, 300, 200, 0, false, true},
        {'m', rv::WM_LBUTTONUP, 300, 200, 0, false, true},
        {'m', rv::WM_XBUTTONDOWN, 300, 200, 2u << 16, false, true},
        {'m', rv::WM_MOUSEWHEEL, 300, 200, static_cast<uint32_t>(-120) << 16, false, true},
        {'m', rv::WM_MOUSEMOVE, 305, 197, 0, false, true},
        {'r', 0, 5, -3, 0, false, false},  // the device's motion, which is not absolute
    };
    ASSERT_EQ(seen.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_TRUE(seen[i] == expected[i]) << "event " << i;
}

TEST_F(InjectedEcho, TheKeySpammersOwnKeyIsNotTakenAsAHotkey) {
    rv::keySpamTarget = 119;  // F8, the record hotkey
    rv::hkRec = 119;
    rv::keySpamming = true;
    RunningLoop loop(&rv::captureThread);
    rv::keySpammerPass();
    ASSERT_EQ(fake::injected().size(), 2u);  // F8 pressed and released
    EXPECT_FALSE(rv::recordToggleRequest.load());
    // A real F8 still is the hotkey.
    EXPECT_TRUE(fake::feedKey({119, true, false}));
    EXPECT_TRUE(rv::recordToggleRequest.load());
}

}  // namespace
