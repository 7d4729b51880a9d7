// UTF-8 ⇄ UTF-16 at the Windows API edge.
#include "platform/win32/wide_text.h"

#include <windows.h>

#include <climits>

namespace plat {

std::wstring toWide(const std::string& utf8) {
    if (utf8.empty() || utf8.size() > static_cast<size_t>(INT_MAX)) return std::wstring();
    int length = static_cast<int>(utf8.size());
    // Without MB_ERR_INVALID_CHARS every invalid sequence becomes U+FFFD instead of failing the whole
    // text; a path with such bytes then names a file that does not exist, which callers handle.
    int wideLength = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
    if (wideLength <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), wideLength);
    return wide;
}

std::string toUtf8(const wchar_t* text, size_t length) {
    if (!text || length == 0 || length > static_cast<size_t>(INT_MAX)) return std::string();
    int wideLength = static_cast<int>(length);
    int utf8Length = WideCharToMultiByte(CP_UTF8, 0, text, wideLength, nullptr, 0, nullptr, nullptr);
    if (utf8Length <= 0) return std::string();
    std::string utf8(static_cast<size_t>(utf8Length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, wideLength, utf8.data(), utf8Length, nullptr, nullptr);
    return utf8;
}

std::string toUtf8(const std::wstring& text) {
    return toUtf8(text.data(), text.size());
}

bool hasNoNul(const std::string& text) {
    return text.find('\0') == std::string::npos;
}

bool widePath(const std::string& path, std::wstring& wide) {
    if (path.empty() || !hasNoNul(path)) return false;
    wide = toWide(path);
    return true;
}

}  // namespace plat
