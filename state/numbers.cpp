#include "state/numbers.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace rv {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

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

// The power of ten of the first non-zero digit of a decimal number text (digits, an optional point
// and digits, an optional exponent): 2 for "123", -3 for "0.00123", 0 for "1e0", -1 for "10e-2".
// Saturates far beyond any double's range, so only its sign and size matter. 0 when all digits are 0.
int64_t decimalOrder(std::string_view number) {
    constexpr int64_t kFar = int64_t{1} << 40;
    size_t i = 0;
    int64_t integerDigits = 0;  // after the leading zeros
    int64_t zerosAfterPoint = 0;
    bool nonZero = false;
    for (; i < number.size() && isDigit(number[i]); ++i) {
        if (number[i] != '0') nonZero = true;
        if (nonZero && integerDigits < kFar) ++integerDigits;
    }
    if (!nonZero && i < number.size() && number[i] == '.') {
        for (++i; i < number.size() && isDigit(number[i]); ++i) {
            if (number[i] != '0') {
                nonZero = true;
                break;
            }
            if (zerosAfterPoint < kFar) ++zerosAfterPoint;
        }
    }
    if (!nonZero) return 0;
    int64_t order = integerDigits > 0 ? integerDigits - 1 : -(zerosAfterPoint + 1);
    size_t e = number.find_first_of("eE", i);
    if (e == std::string_view::npos) return order;
    bool negativeExponent = false;
    size_t digits = e + 1;
    if (digits < number.size() && (number[digits] == '+' || number[digits] == '-')) {
        negativeExponent = number[digits] == '-';
        ++digits;
    }
    int64_t exponent = 0;
    for (; digits < number.size() && isDigit(number[digits]); ++digits) {
        if (exponent < kFar) exponent = exponent * 10 + (number[digits] - '0');
    }
    return order + (negativeExponent ? -exponent : exponent);
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
    // A digit, or a point and a digit, must follow the one sign: from_chars alone would take a second
    // "-" ("--5") and the words inf and nan.
    bool digitFirst = i < text.size() && isDigit(text[i]);
    bool pointFirst = i + 1 < text.size() && text[i] == '.' && isDigit(text[i + 1]);
    if (!digitFirst && !pointFirst) return std::nullopt;
    // from_chars reads the classic format only (no locale), which is what stored texts use.
    double value = 0;
    auto [end, error] =
        std::from_chars(text.data() + i, text.data() + text.size(), value, std::chars_format::general);
    if (error == std::errc::invalid_argument) return std::nullopt;
    if (error == std::errc::result_out_of_range) {
        // Too large gives infinity like strtod would; too small underflows to zero.
        std::string_view number = text.substr(i, static_cast<size_t>(end - (text.data() + i)));
        value = decimalOrder(number) < 0 ? 0.0 : std::numeric_limits<double>::infinity();
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
