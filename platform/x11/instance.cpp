// Linux: the one main instance of a user holds an exclusive lock on a file in the runtime folder
// ($XDG_RUNTIME_DIR, else /tmp with the user id in the name) until it ends; the kernel lets go of the
// lock when the process ends, however it ends, so a crash never locks the user out.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/platform.h"

namespace plat {

namespace {

std::string lockPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/') return std::string(runtime) + "/TapmillMain.lock";
    return "/tmp/TapmillMain-" + std::to_string(getuid()) + ".lock";
}

int heldLock = -1;  // open for the life of the process; close-on-exec, so panels never inherit it

}  // namespace

bool claimMainInstance() {
    if (heldLock >= 0) return true;
    // Never through a link, and only a file of this user's: a file planted in /tmp by someone else
    // must not keep the program from starting (it then runs unguarded).
    const int fd = open(lockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return true;
    struct stat info {};
    if (fstat(fd, &info) != 0 || info.st_uid != getuid() || !S_ISREG(info.st_mode)) {
        close(fd);
        return true;
    }
    int result;
    while ((result = flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (result == 0) {
        heldLock = fd;
        return true;
    }
    const bool heldElsewhere = errno == EWOULDBLOCK;
    close(fd);
    return !heldElsewhere;
}

}  // namespace plat
