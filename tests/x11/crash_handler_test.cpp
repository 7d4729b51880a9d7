// The crash handler with real signals, in forked processes: the save runs for every way of dying (a
// fault on any thread, a signal from outside, an exception nothing catches, abort), the process
// still dies of its signal, and it dies within two seconds even when the save cannot finish; a save
// cut short never leaves a truncated file.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/platform.h"

namespace {

std::string savedFile;
std::mutex heldByTheDyingThread;

std::string folder() {
    const char* tmp = std::getenv("RAVELIN_TEST_TMP");
    return tmp ? tmp : "/tmp";
}

// Saves the way the program does: a whole temporary file, then swapped in.
void save(const std::string& text) {
    plat::writeFile(savedFile + ".tmp", text);
    plat::replaceFile(savedFile + ".tmp", savedFile);
}
void saveNow() {
    save("saved");
}
void saveAfterALock() {
    plat::writeFile(savedFile + ".tmp", "sav");  // part-way, as a save cut short would be
    std::lock_guard<std::mutex> lock(heldByTheDyingThread);
    save("saved");
}
void saveSlowly() {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    save("saved");
}

// A real access fault: a store to a page with no access (not a null pointer, which the sanitizers would
// report and end the process themselves).
void fault() {
    static void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    *static_cast<volatile int*>(page) = 1;
}

[[noreturn]] void faultOnAWorker() {
    std::thread([] { fault(); }).join();
    std::_Exit(0);
}
[[noreturn]] void faultHoldingTheLock() {
    std::thread([] {
        heldByTheDyingThread.lock();
        fault();
    }).join();
    std::_Exit(0);
}
[[noreturn]] void throwOnAWorker() {
    std::thread([] { throw std::runtime_error("nobody catches this"); }).join();
    std::_Exit(0);
}
[[noreturn]] void callAbort() {
    std::abort();
}
[[noreturn]] void twoThreadsFault() {
    std::thread first([] { fault(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::thread([] { raise(SIGSEGV); }).join();
    first.join();
    std::_Exit(0);
}
[[noreturn]] void waitForASignal() {
    for (;;) pause();
}

struct Case {
    const char* what;
    void (*onCrash)();
    void (*die)();
    bool killedFromOutside;
    int signal;
    const char* fileAfter;  // the saved file's content afterwards
    int minMs, maxMs;       // from the crash to the process's end
};

TEST(CrashHandler, SavesOnEveryWayOfDyingAndTheProcessEndsWithinTwoSeconds) {
    const Case cases[] = {
        {"fault on a worker thread", &saveNow, &faultOnAWorker, false, SIGSEGV, "saved", 0, 2000},
        {"save stuck on a lock the dying thread holds", &saveAfterALock, &faultHoldingTheLock, false, SIGSEGV,
         "before", 700, 2000},
        {"exception nothing catches", &saveNow, &throwOnAWorker, false, SIGABRT, "saved", 0, 2000},
        {"abort", &saveNow, &callAbort, false, SIGABRT, "saved", 0, 2000},
        {"fault sent from outside", &saveNow, &waitForASignal, true, SIGSEGV, "saved", 0, 2000},
        {"a second thread dies during the save", &saveSlowly, &twoThreadsFault, false, SIGSEGV, "saved", 250,
         2000},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        savedFile = folder() + "/crash-save-" + std::to_string(getpid()) + "-" + std::to_string(index++);
        ASSERT_TRUE(plat::writeFile(savedFile, "before"));
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(ready[0]);
            plat::installCrashHandler(c.onCrash);
            (void)!write(ready[1], "r", 1);
            c.die();
        }
        close(ready[1]);
        char byte;
        ASSERT_EQ(read(ready[0], &byte, 1), 1);
        close(ready[0]);
        const auto crashed = std::chrono::steady_clock::now();
        if (c.killedFromOutside) kill(child, c.signal);

        int status = 0;
        pid_t ended = 0;
        while ((ended = waitpid(child, &status, WNOHANG)) == 0 &&
               std::chrono::steady_clock::now() - crashed < std::chrono::seconds(10)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - crashed)
                .count();
        if (ended == 0) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            FAIL() << "still running 10 s after the crash";
        }
        ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << status;
        EXPECT_EQ(WTERMSIG(status), c.signal);
        EXPECT_GE(ms, c.minMs);
        EXPECT_LE(ms, c.maxMs);
        EXPECT_EQ(plat::readFile(savedFile), std::string(c.fileAfter));
        plat::removeFile(savedFile);
        plat::removeFile(savedFile + ".tmp");
    }
}

}  // namespace
