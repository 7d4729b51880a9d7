// The one rule for number texts everywhere (files, page arguments, pipe payloads, command lines),
// the field splitting that goes with it, and the locale-free number formats of the stored texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rv {

// Base 10: leading white space skipped, one optional sign, at least one digit, anything after the
// digits ignored ("12px" → 12, "1.9" → 1). No digits, or a value outside int32: nothing.
std::optional<int32_t> parseInt32(std::string_view text);

// The same rule for an unsigned 32-bit value; a leading "-" negates it modulo 2^32.
std::optional<uint32_t> parseUInt32(std::string_view text);

// A decimal floating-point number in the classic convention whatever the locale: leading white
// space skipped, optional sign, trailing characters ignored. Nothing when no number starts there.
std::optional<double> parseDouble(std::string_view text);

// The same, for a value that must fit a 32-bit float (finite and within its range).
std::optional<float> parseFloat(std::string_view text);

// Cuts `text` at every `separator`: an empty field between two separators counts, an empty field
// after a final separator does not, and an empty text has no fields ("a,,b" → a, "", b; "a,b," →
// a, b; "," → one empty field).
std::vector<std::string> splitFields(std::string_view text, char separator);

// Like printf("%.6g") in the classic locale: at most six significant digits, no trailing zeros,
// exponent form for very large or small values (1 → "1", 1234.5678 → "1234.57", 1234567 →
// "1.23457e+06").
std::string formatG6(double value);

}  // namespace rv
