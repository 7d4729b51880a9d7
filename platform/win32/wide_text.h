// Text at the edge of the Windows API: the program keeps every text in UTF-8 and calls the wide
// ("W") functions, converting here. Windows backend only.
#pragma once

#include <string>

namespace plat {

// UTF-8 to UTF-16 for a W function. An invalid byte sequence becomes U+FFFD; every byte counts,
// an embedded NUL included.
std::wstring toWide(const std::string& utf8);
// UTF-16 from a W function to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string toUtf8(const wchar_t* text, size_t length);
std::string toUtf8(const std::wstring& text);

// Whether the text can be handed to a W function that takes a NUL-terminated string: a text with
// an embedded NUL would otherwise name something else (the part before the NUL).
bool hasNoNul(const std::string& text);

// A path for a W function. A path with an embedded NUL is refused: the function would see only the
// part before it, a different file.
bool widePath(const std::string& path, std::wstring& wide);

}  // namespace plat
