#include "support/fresh_state.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "app/main_bindings.h"
#include "bridge/display_session.h"
#include "state/preferences.h"

namespace fs = std::filesystem;

std::string callMainBinding(const char* name, const std::string& request) {
    for (const rv::MainBinding& binding : rv::mainBindings()) {
        if (std::string(binding.name) == name) return binding.call(request);
    }
    return "<missing>";
}

void FreshState::SetUp() {
    rv::resetStateForTests();
    rv::clearSessionNotice();
    rv::forgetDisplaySession();
    // Preference files beside this test's executable path, not in a folder an earlier test chose.
    rv::resetPreferencesForTests();
    fake::reset();
    std::random_device seed;
    fs::path base =
        fs::temp_directory_path() / ("ravelin-unit-" + std::to_string(seed()) + std::to_string(seed()));
    fs::create_directories(base);
    folder_ = base.generic_string();
    fake::setExePath(folder_ + "/ravelin");
    // The data folder (session file) goes into the test's folder too, never the working directory.
    fake::setEnvironment("LOCALAPPDATA", folder_);
}

void FreshState::TearDown() {
    std::error_code error;
    fs::remove_all(folder_, error);
    fake::reset();
    rv::resetStateForTests();
    rv::clearSessionNotice();
    rv::forgetDisplaySession();
}

void FreshState::writeFile(const std::string& name, const std::string& bytes) const {
    fs::path path = fs::path(folder_) / name;
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string FreshState::readFile(const std::string& name) const {
    std::ifstream in(fs::path(folder_) / name, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}
