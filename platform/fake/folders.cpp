// The fake platform: file sizes and folder listings (real files, in the folders the test chooses).
#include <chrono>
#include <filesystem>

#include "platform/fake/fake_state.h"
#include "platform/platform.h"

namespace plat {

bool fileInfo(const std::string& path, FileInfo& info) {
    std::error_code error;
    std::filesystem::path file = std::filesystem::u8path(path);
    if (!std::filesystem::is_regular_file(file, error)) return false;
    auto size = std::filesystem::file_size(file, error);
    if (error) return false;
    auto changed = std::filesystem::last_write_time(file, error);
    if (error) return false;
    // The file clock's epoch is the library's own: measured from now on both clocks.
    auto system =
        std::chrono::system_clock::now() + std::chrono::duration_cast<std::chrono::system_clock::duration>(
                                               changed - std::filesystem::file_time_type::clock::now());
    info.size = size;
    info.modified = std::chrono::duration_cast<std::chrono::seconds>(system.time_since_epoch()).count();
    return true;
}

std::vector<std::string> listFiles(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(std::filesystem::u8path(folder), error), end;
         !error && entry != end; entry.increment(error)) {
        std::error_code kind;
        if (entry->is_regular_file(kind)) names.push_back(entry->path().filename().u8string());
    }
    return names;
}

bool openInFileManager(const std::string& folder) {
    Lock lock(fake::state().mutex);
    fake::state().calls.push_back("openInFileManager " + folder);
    return true;
}

}  // namespace plat
