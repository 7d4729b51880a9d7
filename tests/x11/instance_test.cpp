// The one main instance: claims made by processes of their own against whatever is found under the
// lock's name in a runtime folder of the test's own.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "platform/platform.h"
#include "x11/x11_test_support.h"

namespace {

// A process of its own that claims the main instance and holds what it got until this ends.
class Claimant {
  public:
    enum Result { Failed = -1, HeldElsewhere = 0, Claimed = 1, Refused = 2 };

    Claimant() {
        if (pipe(told_) != 0 || pipe(hold_) != 0) return;
        child_.fork([this] {
            close(told_[0]);
            close(hold_[1]);
            const char result = plat::claimMainInstance()             ? '1'
                                : plat::mainInstanceProblem().empty() ? '0'
                                                                      : '2';
            if (write(told_[1], &result, 1) != 1) _exit(3);
            char byte;
            while (read(hold_[0], &byte, 1) > 0) {
            }
        });
        close(told_[1]);
        close(hold_[0]);
        char result = 0;
        if (read(told_[0], &result, 1) == 1) result_ = static_cast<Result>(result - '0');
    }
    ~Claimant() {
        close(hold_[1]);
        close(told_[0]);
        child_.end(SIGKILL);
    }
    Claimant(const Claimant&) = delete;
    Claimant& operator=(const Claimant&) = delete;

    Result result() const { return result_; }

  private:
    int told_[2] = {-1, -1};
    int hold_[2] = {-1, -1};
    Result result_ = Failed;
    x11test::Child child_;
};

std::string readAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path) << text;
}

// Whatever a case plants at the lock's path, in a fresh runtime folder: the first claim made after it
// is `first`, and while that one holds, a second is never the main instance too.
TEST(X11Instance, WhatIsNotOurLockFileIsReplacedOrRefusedAndNeverLetsTwoRun) {
    const char* base = std::getenv("RAVELIN_TEST_TMP");
    const std::string root = std::string(base ? base : "/tmp") + "/instance-XXXXXX";
    std::string folder = root;
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    const char* savedRuntime = std::getenv("XDG_RUNTIME_DIR");
    const std::string runtimeBefore = savedRuntime ? savedRuntime : "";

    struct Case {
        const char* what;
        std::function<void(const std::string& lock, const std::string& here)> plant;
        Claimant::Result first;
    };
    const Case cases[] = {
        {"nothing", [](const std::string&, const std::string&) {}, Claimant::Claimed},
        {"an empty folder", [](const std::string& lock, const std::string&) { mkdir(lock.c_str(), 0700); },
         Claimant::Claimed},
        {"a link to a file of the user's",
         [](const std::string& lock, const std::string& here) {
             writeText(here + "/precious", "keep me");
             ASSERT_EQ(symlink((here + "/precious").c_str(), lock.c_str()), 0);
         },
         Claimant::Claimed},
        {"a dangling link",
         [](const std::string& lock, const std::string& here) {
             ASSERT_EQ(symlink((here + "/nowhere").c_str(), lock.c_str()), 0);
         },
         Claimant::Claimed},
        {"a file of another user",
         [](const std::string& lock, const std::string&) {
             writeText(lock, "");
             // Only root can give a file away; otherwise the case is the user's own file.
             if (chown(lock.c_str(), 65534, 65534) != 0) return;
         },
         Claimant::Claimed},
        {"a folder with a file in it",
         [](const std::string& lock, const std::string&) {
             mkdir(lock.c_str(), 0700);
             writeText(lock + "/inside", "keep me");
         },
         Claimant::Refused},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string runtime = folder + "/run" + std::to_string(n++);
        ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        const std::string lock = runtime + "/TapmillMain.lock";
        c.plant(lock, folder);
        {
            Claimant first;
            EXPECT_EQ(first.result(), c.first);
            Claimant second;
            EXPECT_EQ(second.result(), c.first == Claimant::Claimed ? Claimant::HeldElsewhere : c.first);
        }
        struct stat info {};
        if (c.first == Claimant::Claimed) {
            ASSERT_EQ(lstat(lock.c_str(), &info), 0);
            EXPECT_TRUE(S_ISREG(info.st_mode));
            EXPECT_EQ(info.st_uid, getuid());
            // Once the holder has ended, the next start is the main instance.
            Claimant after;
            EXPECT_EQ(after.result(), Claimant::Claimed);
        } else {
            EXPECT_EQ(readAll(lock + "/inside"), "keep me");
        }
    }
    // A link's target is never written through nor removed.
    EXPECT_EQ(readAll(folder + "/precious"), "keep me");

    if (savedRuntime)
        setenv("XDG_RUNTIME_DIR", runtimeBefore.c_str(), 1);
    else
        unsetenv("XDG_RUNTIME_DIR");
    std::filesystem::remove_all(folder);
}

}  // namespace
