// A profile's settings text as any text: applying it never fails badly, leaves valid codes, and the
// text of the values it set applies again to the same values.
#include <string>

#include "fuzz_support.h"
#include "state/profile_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::freshState();
    rv::applyProfileSettingsText(std::string_view(reinterpret_cast<const char*>(data), size));
    fuzz::check(fuzz::codesValid(), "the key-spam target holds a valid code");
    std::string text = rv::profileSettingsText();
    rv::profileDefaults();
    rv::applyProfileSettingsText(text);
    fuzz::check(rv::profileSettingsText() == text, "the settings text applies back to the same values");
    return 0;
}
