// Linux: the one main instance of a user holds an exclusive lock on a file in the runtime folder
// ($XDG_RUNTIME_DIR, else /tmp with the user id in the name) until it ends; the kernel lets go of the
// lock when the process ends, however it ends, so a crash never locks the user out.
//
// Whatever else is found under the lock's name (a link, a folder, a file of another user) is never
// locked through: it is removed and a lock file of ours made in its place, or, when it cannot be
// removed, the program refuses to start, since a lock that is not ours guards nothing.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/x11/main_lock.h"

namespace plat {

namespace {

int heldLock = -1;  // open for the life of the process; close-on-exec, so panels never inherit it
std::string claimProblem;

std::string folderOf(const std::string& path) {
    const size_t cut = path.find_last_of('/');
    return cut == 0 ? "/" : path.substr(0, cut);
}

// What is at `path` instead of a lock file of ours, in words.
std::string describe(const struct stat& info) {
    if (S_ISLNK(info.st_mode)) return "a symbolic link";
    if (S_ISDIR(info.st_mode)) return "a folder";
    if (info.st_uid != getuid()) return "a file of another user (uid " + std::to_string(info.st_uid) + ")";
    return "a special file";
}

// Two starts that find the same odd thing must not both replace it (the second would remove the
// first one's fresh lock file): the inspection and the replacement are done under a lock on the
// folder, held only that long. A folder that cannot be locked in a second is gone on without.
class FolderLock {
  public:
    explicit FolderLock(const std::string& folder)
        : fd_(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_ < 0) return;
        for (int waited = 0; waited < 1000; waited += 5) {
            if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
            if (errno != EWOULDBLOCK && errno != EINTR) return;
            usleep(5000);
        }
    }
    ~FolderLock() {
        if (fd_ >= 0) close(fd_);  // closing lets go of the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

  private:
    int fd_;
};

enum class Found { Ours, Odd, Unknown };

// Opens the lock file when it is a regular file of this user's, never through a link.
Found openLock(const std::string& path, int& fd) {
    fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0)
        return errno == ELOOP || errno == EISDIR || errno == EACCES || errno == EPERM || errno == ENXIO ||
                       errno == EOPNOTSUPP
                   ? Found::Odd
                   : Found::Unknown;
    struct stat info {};
    if (fstat(fd, &info) == 0 && info.st_uid == getuid() && S_ISREG(info.st_mode)) return Found::Ours;
    close(fd);
    fd = -1;
    return Found::Odd;
}

}  // namespace

bool claimMainInstance() {
    if (heldLock >= 0) return true;
    claimProblem.clear();
    const std::string path = x11::mainLockPath();
    FolderLock serial(folderOf(path));
    int fd = -1;
    Found found = openLock(path, fd);
    if (found == Found::Odd) {
        struct stat info {};
        if (lstat(path.c_str(), &info) != 0) {
            found = Found::Unknown;  // nothing there: the folder refused the new file
        } else {
            const std::string what = describe(info);
            const bool removed = S_ISDIR(info.st_mode) ? rmdir(path.c_str()) == 0 : unlink(path.c_str()) == 0;
            if (!removed) {
                claimProblem = "Ravelin cannot make sure that it runs only once: " + path + " is " + what +
                               " and cannot be removed (" + std::strerror(errno) +
                               "). Remove it and start Ravelin again.";
                return false;
            }
            std::fprintf(stderr, "Ravelin: %s was %s, not our lock file; replaced it.\n", path.c_str(),
                         what.c_str());
            std::fflush(stderr);
            found = openLock(path, fd);
        }
        if (found == Found::Odd) {
            claimProblem = "Ravelin cannot make sure that it runs only once: " + path +
                           " is not a file of this user's and keeps coming back. Remove it and start "
                           "Ravelin again.";
            return false;
        }
    }
    // Any other failure (no runtime folder, a read-only one) cannot tell, and the program runs.
    if (found == Found::Unknown) return true;
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

std::string mainInstanceProblem() {
    return claimProblem;
}

}  // namespace plat
