// The number rules on any text: integers read back from their own decimal text, decimals are read
// with at most one sign, and the field cut loses no character.
#include <cmath>
#include <string>

#include "fuzz_support.h"
#include "state/numbers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);

    if (auto value = rv::parseInt32(text)) {
        fuzz::check(rv::parseInt32(std::to_string(*value)) == value, "an integer reads back from its text");
    }
    if (auto value = rv::parseUInt32(text)) {
        fuzz::check(rv::parseUInt32(std::to_string(*value)) == value, "an unsigned value reads back");
    }
    if (auto value = rv::parseDouble(text)) {
        fuzz::check(!std::isnan(*value), "no decimal text reads as not-a-number");
        if (std::isfinite(*value)) {
            auto again = rv::parseDouble(rv::formatG6(*value));
            fuzz::check(again && std::isfinite(*again), "a decimal's six-digit text reads back as a number");
        }
        size_t first = text.find_first_not_of(" \t\n\v\f\r");
        std::string_view rest = text.substr(first);
        fuzz::check(
            !(rest.size() > 1 && (rest[0] == '-' || rest[0] == '+') && (rest[1] == '-' || rest[1] == '+')),
            "one sign at most");
    }
    if (auto value = rv::parseFloat(text)) fuzz::check(std::isfinite(*value), "a float is finite");

    std::vector<std::string> fields = rv::splitFields(text, ',');
    std::string joined;
    for (size_t i = 0; i < fields.size(); ++i) joined += (i ? "," : "") + fields[i];
    bool trailing = !text.empty() && text.back() == ',';
    fuzz::check(joined + (trailing ? "," : "") == text, "the fields joined again give the text");
    return 0;
}
