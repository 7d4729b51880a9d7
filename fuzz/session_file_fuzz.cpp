// The session file as any bytes on disk: a start never fails badly and leaves valid codes, and once
// the program has saved it, the file is stable: a start from the save saves the same bytes again.
//
// A start that loads nothing makes a profile without settings of its own, and the next start gives
// the current profile the settings in use (a fresh start's file is three lines, the one after it
// four); from a save of a loaded session on, every start and save must give the same bytes.
#include <string>

#include "fuzz_support.h"
#include "platform/platform.h"
#include "state/session_file.h"
#include "state/state.h"

namespace {

// Writes `bytes` as the session file of a fresh state, starts as the program does, saves, and returns
// the bytes written; `loaded` tells whether the start loaded the file.
std::string startAndSave(const std::string& bytes, bool& loaded) {
    fuzz::freshState();
    rv::prepareSessionPath();
    plat::writeFile(rv::sessionPath, bytes);
    loaded = rv::loadSessionAtStart();
    fuzz::check(fuzz::codesValid(), "hotkeys and the key-spam target hold valid codes after a start");
    rv::saveSession();
    return plat::readFile(rv::sessionPath).value_or("<no file>");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    bool loaded = false, loadedAgain = false;
    std::string first = startAndSave(std::string(reinterpret_cast<const char*>(data), size), loaded);
    std::string second = startAndSave(first, loadedAgain);
    fuzz::check(loadedAgain, "a saved session loads");
    if (loaded) {
        fuzz::check(first == second, "a loaded session saves, starts and saves again to the same bytes");
    } else {
        std::string third = startAndSave(second, loadedAgain);
        fuzz::check(second == third, "a session saved after a start from it saves the same bytes");
    }
    return 0;
}
