// The small files beside the executable as any bytes: appsettings.txt, theme.txt, playback.txt and
// clickdelay.txt, cut from the input at zero bytes in that order. Reading them never fails badly, the
// numbers stay in their ranges, the theme reaches the page as one JSON text, and appsettings.txt once
// saved reads and saves again to the same bytes.
#include <string>
#include <string_view>

#include "bridge/json_text.h"
#include "fuzz_support.h"
#include "platform/platform.h"
#include "state/preferences.h"
#include "state/state.h"
#include "state/text_file.h"

namespace {

std::string appSettingsRoundTrip(const std::string& bytes) {
    fuzz::freshState();
    plat::writeFile(rv::besideExe("appsettings.txt"), bytes);
    rv::loadAppSettings();
    rv::saveAppSettings();
    return plat::readFile(rv::besideExe("appsettings.txt")).value_or("<no file>");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    std::string files[4];
    for (std::string& file : files) {
        size_t end = rest.find('\0');
        file = std::string(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }

    std::string saved = appSettingsRoundTrip(files[0]);
    fuzz::check(appSettingsRoundTrip(saved) == saved,
                "appsettings.txt saves, reads and saves the same bytes");

    fuzz::freshState();
    plat::writeFile(rv::besideExe("theme.txt"), files[1]);
    plat::writeFile(rv::besideExe("playback.txt"), files[2]);
    plat::writeFile(rv::besideExe("clickdelay.txt"), files[3]);
    fuzz::check(fuzz::isJson(rv::jsonString(rv::loadTheme())), "the theme is one JSON text for the page");
    int32_t passes = rv::loadPlayRepeat();
    fuzz::check(passes >= 0 && passes <= 1000000, "the repeat count is in its range");
    int32_t delay = rv::loadClickStartDelay();
    fuzz::check(delay >= 0 && delay <= rv::kLongestStartDelay, "the start delay is in its range");
    return 0;
}
