// Linux side of ravelin-cli: arguments, the runtime folder under cron, the main instance's lock looked
// at without taking it, and a detached start of the main program.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/x11/main_lock.h"

extern char** environ;

namespace plat {

void prepareClientProcess() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/') return;
    // cron and some service managers start commands without the variable; the desktop's instance
    // has its pipe and lock in the user's runtime folder, which systemd makes here.
    const std::string folder = "/run/user/" + std::to_string(getuid());
    struct stat info {};
    if (stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == getuid())
        setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
}

std::vector<std::string> commandLineWords(int argc, char** argv) {
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) words.emplace_back(argv[i]);
    return words;
}

bool mainInstanceRunning() {
    const int fd = open(x11::mainLockPath().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return false;
    // A shared lock is refused while the main instance holds its exclusive one. Held for this moment
    // only: an instance starting meanwhile finds its claim taken and looks again a little later.
    int result;
    while ((result = flock(fd, LOCK_SH | LOCK_NB)) != 0 && errno == EINTR) {
    }
    const bool held = result != 0 && errno == EWOULDBLOCK;
    close(fd);
    return held;
}

bool startMainProgram(const std::string& executable, const std::string& arguments) {
    std::vector<std::string> args = {executable};
    if (!arguments.empty()) args.push_back(arguments);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (posix_spawn_file_actions_init(&actions) != 0) return false;
    if (posix_spawnattr_init(&attributes) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return false;
    }
    // Nothing of the caller's is held open: a cron job or a key binding that runs the client ends
    // when the client does, not when the program it started does.
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, executable.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    // Not waited for: once the client ends, the program is the init process's child.
    return error == 0;
}

std::string absolutePath(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    std::vector<char> folder(4096);
    for (;;) {
        if (getcwd(folder.data(), folder.size())) break;
        if (errno != ERANGE || folder.size() > (1u << 20)) return "";
        folder.resize(folder.size() * 2);
    }
    std::string base(folder.data());
    return base + (base == "/" ? "" : "/") + path;
}

}  // namespace plat
