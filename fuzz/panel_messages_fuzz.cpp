// A panel message as any bytes from the pipe: answered, applied or ignored, never failing badly; a
// reply is one JSON text, and no message leaves a hotkey or the key-spam target with a code it may
// not hold.
#include "bridge/panel_messages.h"
#include "bridge/panel_sync.h"
#include "fuzz_support.h"
#include "state/state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::freshState();
    rv::resetPanelSyncForTests();
    rv::profiles = {rv::Profile{rv::kDefaultProfileName, "", {}}};
    std::string reply = rv::servePanelMessage(reinterpret_cast<const char*>(data), size);
    fuzz::check(reply.empty() || fuzz::isJson(reply), "a reply is one JSON text");
    fuzz::check(fuzz::codesValid(), "hotkeys and the key-spam target hold valid codes");
    return 0;
}
