// Linux panel processes: started with posix_spawn, watched and reaped with waitpid. A process handed
// back while it still runs is reaped by a small thread of its own, so none is ever left as a zombie.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/x11/spawn.h"

extern char** environ;

namespace plat::x11 {
namespace {

constexpr int kKillAfterMs = 1000;  // a process asked to end that is still there then is killed

struct Process {
    pid_t pid = -1;
    bool ended = false;       // reaped: the pid is no longer ours
    bool terminated = false;  // SIGTERM sent
    timespec terminatedAt{};
};

// The command-line text cut at every blank; empty pieces stay, so that joining the arguments with
// blanks gives back the exact text. An empty text gives no argument.
std::vector<std::string> splitAtBlanks(const std::string& text) {
    std::vector<std::string> pieces;
    if (text.empty()) return pieces;
    size_t start = 0;
    for (;;) {
        const size_t blank = text.find(' ', start);
        pieces.push_back(text.substr(start, blank - start));
        if (blank == std::string::npos) return pieces;
        start = blank + 1;
    }
}

// Reaps the process if it has ended. ECHILD means it is no child of ours any more: it has ended and
// was reaped elsewhere.
ProcessStatus check(Process& process) {
    if (process.ended) return ProcessStatus::Ended;
    int status = 0;
    pid_t result;
    do {
        result = waitpid(process.pid, &status, WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == 0) return ProcessStatus::Running;
    if (result == process.pid || errno == ECHILD) {
        process.ended = true;
        return ProcessStatus::Ended;
    }
    return ProcessStatus::Unknown;
}

bool reapIfEnded(Process& process) {
    return check(process) == ProcessStatus::Ended;
}

int64_t millisecondsSince(const timespec& then) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (static_cast<int64_t>(now.tv_sec) - then.tv_sec) * 1000 + (now.tv_nsec - then.tv_nsec) / 1000000;
}

// Waits for a process that was handed back while still running: one asked to end gets SIGKILL when it
// is still there a second after SIGTERM; any other is simply waited for.
void reapLater(Process* process) {
    plat::nameThread("panel reaper");
    if (process->terminated) {
        while (!reapIfEnded(*process) && millisecondsSince(process->terminatedAt) < kKillAfterMs) {
            const timespec pause{0, 10 * 1000 * 1000};
            nanosleep(&pause, nullptr);
        }
        if (!process->ended) kill(process->pid, SIGKILL);
    }
    while (!process->ended) {
        int status = 0;
        const pid_t result = waitpid(process->pid, &status, 0);
        if (result == process->pid || (result < 0 && errno != EINTR)) process->ended = true;
    }
    delete process;
}

}  // namespace
}  // namespace plat::x11

namespace plat {

pid_t x11::spawnChild(const char* program, char* const argv[], bool searchPath) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (posix_spawn_file_actions_init(&actions) != 0) return -1;
    if (posix_spawnattr_init(&attributes) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return -1;
    }
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int error = searchPath ? posix_spawnp(&pid, program, &actions, &attributes, argv, environ)
                                 : posix_spawn(&pid, program, &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

ProcessHandle startProcess(const std::string& executable, const std::string& arguments) {
    std::vector<std::string> args = x11::splitAtBlanks(arguments);
    args.insert(args.begin(), executable);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    const pid_t pid = x11::spawnChild(executable.c_str(), argv.data(), false);
    if (pid < 0) return nullptr;
    auto* process = new x11::Process;
    process->pid = pid;
    return process;
}

ProcessStatus processStatus(ProcessHandle handle) {
    return handle ? x11::check(*static_cast<x11::Process*>(handle)) : ProcessStatus::Unknown;
}

void terminateProcess(ProcessHandle handle) {
    if (!handle) return;
    auto* process = static_cast<x11::Process*>(handle);
    // A reaped pid may already belong to another process: only a live or unreaped child is signalled.
    if (x11::reapIfEnded(*process)) return;
    kill(process->pid, SIGTERM);
    if (!process->terminated) {
        process->terminated = true;
        clock_gettime(CLOCK_MONOTONIC, &process->terminatedAt);
    }
}

void closeProcess(ProcessHandle handle) {
    if (!handle) return;
    auto* process = static_cast<x11::Process*>(handle);
    if (x11::reapIfEnded(*process)) {
        delete process;
        return;
    }
    try {
        std::thread(&x11::reapLater, process).detach();
    } catch (const std::system_error&) {
        // No thread to spare: the process is left to be reaped when this one ends.
        delete process;
    }
}

}  // namespace plat
