#include "state/numbers.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace rv {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Leading white space and one sign; returns the position of the first character after them.
size_t skipBlankAndSign(std::string_view text, bool& negative) {
    size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    return i;
}

// The magnitude of the digit run at `i`, saturated just above `limit`; nothing without digits.
std::optional<uint64_t> digitRun(std::string_view text, size_t i, uint64_t limit) {
    if (i >= text.size() || !isDigit(text[i])) return std::nullopt;
    uint64_t value = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
        if (value > limit) value = limit + 1;  // keeps reading the run, stays out of range
    }
    return value;
}

}  // namespace

std::optional<int32_t> parseInt32(std::string_view text) {
    bool negative = false;
    size_t i = skipBlankAndSign(text, negative);
    const uint64_t limit = negative ? 2147483648ull : 2147483647ull;
    auto magnitude = digitRun(text, i, limit);
    if (!magnitude || *magnitude > limit) return std::nullopt;
    int64_t value = negative ? -static_cast<int64_t>(*magnitude) : static_cast<int64_t>(*magnitude);
    return static_cast<int32_t>(value);
}

std::optional<uint32_t> parseUInt32(std::string_view text) {
    bool negative = false;
    size_t i = skipBlankAndSign(text, negative);
    const uint64_t limit = 4294967295ull;
    auto magnitude = digitRun(text, i, limit);
    if (!magnitude || *magnitude > limit) return std::nullopt;
    uint32_t value = static_cast<uint32_t>(*magnitude);
    return negative ? static_cast<uint32_t>(0u - value) : value;
}

std::optional<double> parseDouble(std::string_view text) {
    bool negative = false;
    size_t i = skipBlankAndSign(text, negative);
    if (i >= text.size()) return std::nullopt;
    // from_chars reads the classic format only (no locale), which is what stored texts use.
    double value = 0;
    auto [end, error] = std::from_chars(text.data() + i, text.data() + text.size(), value,
                                        std::chars_format::general);
    if (error == std::errc::invalid_argument) return std::nullopt;
    if (error == std::errc::result_out_of_range) {
        // Too large gives ±infinity like strtod would; too small underflows to zero.
        std::string_view digits = text.substr(i, static_cast<size_t>(end - (text.data() + i)));
        bool tiny = digits.find("e-") != std::string_view::npos || digits.find("E-") != std::string_view::npos;
        value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
    }
    return negative ? -value : value;
}

std::optional<float> parseFloat(std::string_view text) {
    auto value = parseDouble(text);
    if (!value || !std::isfinite(*value)) return std::nullopt;
    if (std::fabs(*value) > static_cast<double>(std::numeric_limits<float>::max())) return std::nullopt;
    return static_cast<float>(*value);
}

std::vector<std::string> splitFields(std::string_view text, char separator) {
    std::vector<std::string> fields;
    size_t start = 0;
    while (start < text.size()) {
        size_t cut = text.find(separator, start);
        if (cut == std::string_view::npos) {
            fields.emplace_back(text.substr(start));
            break;
        }
        fields.emplace_back(text.substr(start, cut - start));
        start = cut + 1;
    }
    return fields;
}

std::string formatG6(double value) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    return std::string(buffer, result.ptr);
}

}  // namespace rv
