// Linux file sizes and folder listings.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "platform/platform.h"
#include "platform/x11/spawn.h"

namespace plat {

bool fileInfo(const std::string& path, FileInfo& info) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
    info.size = static_cast<uint64_t>(status.st_size);
    info.modified = static_cast<int64_t>(status.st_mtime);
    return true;
}

std::vector<std::string> listFiles(const std::string& folder) {
    std::vector<std::string> names;
    DIR* entries = opendir(folder.c_str());
    if (!entries) return names;
    while (dirent* entry = readdir(entries)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        FileInfo info;
        if (fileInfo(folder + "/" + name, info)) names.push_back(name);
    }
    closedir(entries);
    return names;
}

bool openInFileManager(const std::string& folder) {
    std::string program = "xdg-open", path = folder;
    char* argv[] = {program.data(), path.data(), nullptr};
    const pid_t pid = x11::spawnChild("xdg-open", argv, true);
    if (pid < 0) return false;
    // xdg-open ends once it has handed the folder on; reaped so it leaves no zombie behind.
    std::thread([pid] {
        int status = 0;
        waitpid(pid, &status, 0);
    }).detach();
    return true;
}

}  // namespace plat
