// The fake platform: environment and files (real files, in the folders the test chooses). Paths are
// UTF-8 on every platform, as the real backends take them.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "platform/fake/fake_state.h"
#include "platform/input_math.h"
#include "platform/platform.h"

namespace fake {

void setExePath(const std::string& path) {
    Lock lock(state().mutex);
    state().exePath = path;
}

void setEnvironment(const std::string& name, std::optional<std::string> value) {
    Lock lock(state().mutex);
    state().environment[name] = std::move(value);
}

void failWrites(int count, size_t keepBytes, plat::WriteFailure why) {
    Lock lock(state().mutex);
    state().failingWrites = count, state().failKeep = keepBytes, state().failWhy = why;
}

void setUnwritableFolder(std::optional<std::string> folder) {
    Lock lock(state().mutex);
    state().unwritableFolder = std::move(folder);
}

void setUnreadable(const std::string& path) {
    Lock lock(state().mutex);
    state().unreadable.insert(path);
}

}  // namespace fake

namespace plat {

std::string exePath() {
    Lock lock(fake::state().mutex);
    return fake::state().exePath;
}

std::optional<std::string> environment(const char* name) {
    Lock lock(fake::state().mutex);
    auto found = fake::state().environment.find(name);
    if (found == fake::state().environment.end()) return std::nullopt;
    return found->second;
}

std::string defaultDataBase() {
    return ".";
}

std::optional<std::string> configBase() {
    return environment("XDG_CONFIG_HOME");
}

namespace {

thread_local WriteFailure writeFailure = WriteFailure::NoFailure;

bool noteWrite(bool ok, WriteFailure why = WriteFailure::Other) {
    writeFailure = ok ? WriteFailure::NoFailure : why;
    return ok;
}

// Whether `path` names a file right inside the folder that setUnwritableFolder made unwritable.
bool inUnwritableFolder(const std::string& path) {
    Lock lock(fake::state().mutex);
    const auto& folder = fake::state().unwritableFolder;
    if (!folder) return false;
    std::error_code error;
    auto parent = std::filesystem::weakly_canonical(std::filesystem::u8path(path), error).parent_path();
    auto locked = std::filesystem::weakly_canonical(std::filesystem::u8path(*folder), error);
    return parent == locked;
}

}  // namespace

WriteFailure lastWriteFailure() {
    return writeFailure;
}

bool createDirectory(const std::string& path) {
    std::error_code error;
    return std::filesystem::create_directory(std::filesystem::u8path(path), error);
}

bool pathExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::u8path(path), error);
}

bool moveFile(const std::string& from, const std::string& to) {
    if (inUnwritableFolder(to)) return noteWrite(false, WriteFailure::NotAllowed);
    std::error_code error;
    std::filesystem::rename(std::filesystem::u8path(from), std::filesystem::u8path(to), error);
    return noteWrite(!error);
}

std::optional<std::string> readFile(const std::string& path) {
    {
        Lock lock(fake::state().mutex);
        if (fake::state().unreadable.count(path)) return std::nullopt;
    }
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool writeFile(const std::string& path, const std::string& bytes) {
    if (inUnwritableFolder(path)) return noteWrite(false, WriteFailure::NotAllowed);
    size_t keep = bytes.size();
    bool fail = false;
    WriteFailure why = WriteFailure::Other;
    {
        Lock lock(fake::state().mutex);
        if (fake::state().failingWrites > 0) {
            --fake::state().failingWrites;
            keep = std::min(keep, fake::state().failKeep);
            fail = true;
            why = fake::state().failWhy;
        }
    }
    std::ofstream out(std::filesystem::u8path(path), std::ios::binary | std::ios::trunc);
    if (!out) return noteWrite(false);
    out.write(bytes.data(), static_cast<std::streamsize>(keep));
    out.close();
    if (fail) return noteWrite(false, why);
    return noteWrite(static_cast<bool>(out));
}

bool replaceFile(const std::string& from, const std::string& to) {
    return moveFile(from, to);
}

bool isReadOnlyFile(const std::string& path) {
    std::error_code error;
    auto status = std::filesystem::status(std::filesystem::u8path(path), error);
    if (error || !std::filesystem::is_regular_file(status)) return false;
    using std::filesystem::perms;
    return (status.permissions() & (perms::owner_write | perms::group_write | perms::others_write)) ==
           perms::none;
}

bool removeFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::remove(std::filesystem::u8path(path), error);
}

std::string linkTarget(const std::string& path) {
    std::filesystem::path current = path;
    for (int hop = 0; hop < 40; ++hop) {
        std::error_code error;
        if (!std::filesystem::is_symlink(current, error)) return current.string();
        std::filesystem::path target = std::filesystem::read_symlink(current, error);
        if (error) return path;
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    return path;
}

}  // namespace plat
