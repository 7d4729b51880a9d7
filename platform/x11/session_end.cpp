// The end of the user's session on Linux: SIGTERM (the session manager, systemd, kill) and SIGHUP
// (the terminal or the session gone). The handler only writes the signal's number to a pipe; a thread
// of its own reads it and runs the program's handler outside signal context.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include "platform/platform.h"

namespace plat {

namespace {

int wakePipe[2] = {-1, -1};
std::atomic<void (*)()> ending{nullptr};

void onEndSignal(int signal) {
    const int saved = errno;
    const char number = static_cast<char>(signal);
    [[maybe_unused]] ssize_t written = write(wakePipe[1], &number, 1);
    errno = saved;
}

void endingThread() {
    for (;;) {
        char number = 0;
        const ssize_t got = read(wakePipe[0], &number, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got != 1) return;
        if (auto handler = ending.load()) {
            handler();
        } else {
            // Nobody to tell: the signal's own default action, as without the handler.
            struct sigaction action {};
            action.sa_handler = SIG_DFL;
            sigaction(number, &action, nullptr);
            raise(number);
        }
    }
}

}  // namespace

void watchSessionEnd(void (*handler)()) {
    ending = handler;
    static const bool installed = [] {
        if (pipe2(wakePipe, O_CLOEXEC) != 0) return false;
        std::thread(&endingThread).detach();
        struct sigaction action {};
        action.sa_handler = &onEndSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &action, nullptr);
        sigaction(SIGHUP, &action, nullptr);
        return true;
    }();
    (void)installed;
}

}  // namespace plat
