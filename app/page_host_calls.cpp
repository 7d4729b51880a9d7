#include "app/page_host_calls.h"

#include <cstdio>

namespace rv {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string trimmed(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && isBlank(text[begin])) ++begin;
    while (end > begin && isBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

bool isNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$';
}

bool isFileNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

PageCallLine malformed(const std::string& why) {
    PageCallLine call;
    call.kind = PageCallLine::Kind::Malformed;
    call.arguments = why;
    return call;
}

}  // namespace

PageCallLine parsePageCallLine(const std::string& line) {
    const std::string text = trimmed(line);
    PageCallLine call;
    if (text.empty() || text[0] == '#') return call;
    if (text == "close") {
        call.kind = PageCallLine::Kind::Close;
        return call;
    }
    size_t nameEnd = 0;
    while (nameEnd < text.size() && !isBlank(text[nameEnd])) ++nameEnd;
    std::string name = text.substr(0, nameEnd);
    for (char c : name) {
        if (!isNameChar(c)) return malformed("not a function name: " + name);
    }
    std::string arguments = trimmed(text.substr(nameEnd));
    if (arguments.empty()) arguments = "[]";
    // The page's script always sends an array; anything else never reaches a binding.
    if (arguments.front() != '[' || arguments.back() != ']') {
        return malformed("the arguments of " + name + " are not a JSON array");
    }
    call.kind = PageCallLine::Kind::Call;
    call.name = std::move(name);
    call.arguments = std::move(arguments);
    return call;
}

bool takeLine(std::string& pending, std::string& line) {
    const size_t end = pending.find('\n');
    if (end == std::string::npos) return false;
    line = pending.substr(0, end);
    pending.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

std::string jsonStringLine(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (byte < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    out += '"';
    return out;
}

std::string pageCallError(const std::string& what) {
    std::string line = "error: ";
    for (char c : what) line += (c == '\n' || c == '\r') ? ' ' : c;
    return line;
}

std::string panelCallsName(const std::string& title) {
    const std::string prefix = "Ravelin (";
    std::string name = title;
    if (name.compare(0, prefix.size(), prefix) == 0 && name.size() > prefix.size() && name.back() == ')') {
        name = name.substr(prefix.size(), name.size() - prefix.size() - 1);
    }
    std::string kept;
    for (char c : name) {
        if (isFileNameChar(c)) kept += c;
    }
    return kept.empty() ? "Panel" : kept;
}

}  // namespace rv
