// Panel processes: started with their arguments, watched, terminated, and never left as zombies.
#include <gtest/gtest.h>

#include <errno.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/platform.h"
#include "x11/x11_test_support.h"

namespace {

using x11test::eventually;

std::string folder() {
    const char* tmp = std::getenv("RAVELIN_TEST_TMP");
    return tmp ? tmp : "/tmp";
}

std::string readAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A shell script in the test's folder; its output file is `<name>.out`.
std::string script(const std::string& name, const std::string& body) {
    const std::string path = folder() + "/" + name + ".sh";
    std::ofstream(path) << body;
    return path;
}

// Gone for good: not even a zombie that still answers to its pid.
bool reaped(pid_t pid) {
    return kill(pid, 0) != 0 && errno == ESRCH;
}

pid_t pidFrom(const std::string& path) {
    std::string text;
    eventually([&] { return !(text = readAll(path)).empty() && text.back() == '\n'; });
    return static_cast<pid_t>(std::atoi(text.c_str()));
}

TEST(X11Processes, ArgumentsAreTheTextCutAtEveryBlankAndStdinIsEmpty) {
    const std::string out = folder() + "/arguments.out";
    const std::string path = script("arguments",
                                    "{ echo \"$#\"; for a in \"$@\"; do echo \"[$a]\"; done;"
                                    " readlink /proc/$$/fd/0; } > " +
                                        out + ".part; mv " + out + ".part " + out + "\n");
    plat::ProcessHandle process =
        plat::startProcess("/bin/sh", path + " --child Auto  Clicker|x|800|300|dark ");
    ASSERT_NE(process, nullptr);
    ASSERT_TRUE(eventually([&] { return plat::processStatus(process) == plat::ProcessStatus::Ended; }));
    EXPECT_EQ(readAll(out), "5\n[--child]\n[Auto]\n[]\n[Clicker|x|800|300|dark]\n[]\n/dev/null\n");
    plat::closeProcess(process);
}

TEST(X11Processes, StatusFollowsTheProcessUntilItEnds) {
    const std::string gate = folder() + "/gate";
    const std::string path = script("gate", "while [ ! -e " + gate + " ]; do sleep 0.02; done; exit 3\n");
    plat::ProcessHandle process = plat::startProcess("/bin/sh", path);
    ASSERT_NE(process, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(plat::processStatus(process), plat::ProcessStatus::Running);
    std::ofstream(gate) << "open";
    ASSERT_TRUE(eventually([&] { return plat::processStatus(process) == plat::ProcessStatus::Ended; }));
    EXPECT_EQ(plat::processStatus(process), plat::ProcessStatus::Ended);  // and stays so
    plat::closeProcess(process);

    EXPECT_EQ(plat::startProcess(folder() + "/no such program", ""), nullptr);
    EXPECT_EQ(plat::processStatus(nullptr), plat::ProcessStatus::Unknown);
    plat::terminateProcess(nullptr);
    plat::closeProcess(nullptr);
}

TEST(X11Processes, TerminatedProcessesEndAndLeaveNoZombie) {
    const std::string pidFile = folder() + "/sleeper.pid";
    const std::string path = script("sleeper", "echo $$ > " + pidFile + "; exec sleep 30\n");
    plat::ProcessHandle process = plat::startProcess("/bin/sh", path);
    ASSERT_NE(process, nullptr);
    const pid_t pid = pidFrom(pidFile);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(plat::processStatus(process), plat::ProcessStatus::Running);
    plat::terminateProcess(process);
    EXPECT_TRUE(eventually([&] { return plat::processStatus(process) == plat::ProcessStatus::Ended; }, 2));
    plat::closeProcess(process);
    EXPECT_TRUE(reaped(pid));
}

TEST(X11Processes, ProcessesHandedBackWhileRunningAreStillReaped) {
    // Closed while running, without a terminate: left to end by itself, then reaped.
    const std::string pidFile = folder() + "/short.pid";
    plat::ProcessHandle process =
        plat::startProcess("/bin/sh", script("short", "echo $$ > " + pidFile + "; exec sleep 0.3\n"));
    ASSERT_NE(process, nullptr);
    const pid_t shortPid = pidFrom(pidFile);
    plat::closeProcess(process);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(reaped(shortPid)) << "a running process was killed";
    EXPECT_TRUE(eventually([&] { return reaped(shortPid); }, 3));

    // Terminated and closed at once, as at shutdown, by a process that ignores SIGTERM: killed a
    // moment later and reaped.
    const std::string stubbornFile = folder() + "/stubborn.pid";
    process = plat::startProcess(
        "/bin/sh", script("stubborn", "trap '' TERM; echo $$ > " + stubbornFile + "; exec sleep 30\n"));
    ASSERT_NE(process, nullptr);
    const pid_t stubborn = pidFrom(stubbornFile);
    plat::terminateProcess(process);
    plat::closeProcess(process);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(reaped(stubborn));
    EXPECT_TRUE(eventually([&] { return reaped(stubborn); }, 3));
}

}  // namespace

TEST(X11Files, ReplaceSwapsInContentAndReadOnlyMeansNoWriteBitAtAll) {
    const std::string file = folder() + "/session.mcr", fresh = folder() + "/session.mcr.tmp";
    unlink(file.c_str());
    EXPECT_FALSE(plat::isReadOnlyFile(file));  // missing
    EXPECT_FALSE(plat::isReadOnlyFile(folder()));
    ASSERT_TRUE(plat::writeFile(file, "old"));
    ASSERT_TRUE(plat::writeFile(fresh, "new"));
    EXPECT_FALSE(plat::isReadOnlyFile(file));
    EXPECT_TRUE(plat::replaceFile(fresh, file));
    EXPECT_EQ(plat::readFile(file), "new");
    EXPECT_FALSE(plat::pathExists(fresh));
    EXPECT_FALSE(plat::replaceFile(fresh, file));  // nothing to swap in

    chmod(file.c_str(), 0400);
    EXPECT_TRUE(plat::isReadOnlyFile(file));
    chmod(file.c_str(), 0600);
    EXPECT_FALSE(plat::isReadOnlyFile(file));
    unlink(file.c_str());
}
