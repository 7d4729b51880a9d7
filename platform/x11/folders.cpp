// Linux file sizes and folder listings.
#include <dirent.h>
#include <sys/stat.h>

#include "platform/platform.h"

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

}  // namespace plat
