// The page's calls with any argument text: the first byte picks the function, the rest is the
// argument text. No call fails badly, every non-empty result is one JSON text, and no call leaves a
// hotkey or the key-spam target with a code it may not hold.
#include <string>
#include <vector>

#include "app/app.h"
#include "app/main_bindings.h"
#include "app/main_window.h"
#include "app/webview.h"
#include "fuzz_support.h"
#include "platform/fake/fake_platform.h"
#include "state/state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    fuzz::freshState();
    {
        std::lock_guard<std::mutex> lock(rv::profilesLock);
        rv::profiles = {rv::Profile{rv::kDefaultProfileName, "", {rv::MacroEvent{}}},
                        rv::Profile{"b\"\\", "", {}}};
    }
    std::string error;
    rv::Webview view;
    if (!rv::Webview::loadLibrary(error) || !view.create()) return 0;
    fake::addWindow(rv::kMainWindowTitle, reinterpret_cast<void*>(0x10));
    fake::window(reinterpret_cast<void*>(0x10)).followsWebview = true;
    rv::hostView = &view;

    const std::vector<rv::MainBinding>& bindings = rv::mainBindings();
    // The rest of the input may hold several calls, one per line, each picking a function anew.
    std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    size_t pick = data[0];
    for (;;) {
        size_t end = rest.find('\n');
        std::string request(rest.substr(0, end));
        const rv::MainBinding& binding = bindings[pick % bindings.size()];
        std::string result = binding.call(request);
        fuzz::check(result.empty() || fuzz::isJson(result), binding.name);
        fuzz::check(fuzz::codesValid(), "hotkeys and the key-spam target hold valid codes");
        if (end == std::string_view::npos || end + 1 >= rest.size()) break;
        pick = static_cast<unsigned char>(rest[end + 1]);
        rest = rest.substr(end + 2);
    }
    rv::hostView = nullptr;
    view.destroy();
    return 0;
}
