// A target window in a process of its own (tests/x11/event_target.cpp) that reports, line by line,
// the keys and buttons that reach it. Include it after gtest.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "x11/x11_test_support.h"

namespace x11test {

// The target program sits beside this test program in the build folder.
inline std::string targetPath() {
    std::string self = plat::exePath();
    return self.substr(0, self.rfind('/') + 1) + "event_target";
}

class TargetWindow {
  public:
    static constexpr int kLeft = 100, kTop = 100, kWidth = 400, kHeight = 300;

    TargetWindow() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        std::vector<std::string> args = {targetPath(), "Ravelin Input Target"};
        for (int number : {kLeft, kTop, kWidth, kHeight}) args.push_back(std::to_string(number));
        process_.spawn(args, fds[1]);
        close(fds[1]);
        out_ = fds[0];
    }
    ~TargetWindow() {
        process_.end(SIGTERM);
        if (out_ >= 0) close(out_);
    }

    // The next line the target printed, or nothing when none came within the time.
    std::optional<std::string> nextLine(int timeoutMs = 2000) {
        for (;;) {
            size_t end = buffer_.find('\n');
            if (end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return line;
            }
            pollfd readable{out_, POLLIN, 0};
            if (poll(&readable, 1, timeoutMs) <= 0) return std::nullopt;
            char chunk[512];
            ssize_t n = read(out_, chunk, sizeof chunk);
            if (n <= 0) return std::nullopt;
            buffer_.append(chunk, static_cast<size_t>(n));
        }
    }

    // Whether the target came up and holds the focus.
    bool ready() { return process_.started() && nextLine(5000) == std::optional<std::string>("ready"); }

  private:
    Child process_;
    int out_ = -1;
    std::string buffer_;
};

}  // namespace x11test
