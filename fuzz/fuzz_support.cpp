#include "fuzz_support.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/fake/fake_platform.h"
#include "state/key_codes.h"
#include "state/state.h"

namespace fuzz {

namespace fs = std::filesystem;

const std::string& folder() {
    // Never destroyed, so that the clean-up at exit can still read it.
    static const std::string* path = [] {
        // In memory where the machine has it: the session target writes and renames files on every
        // input, and a disk-backed folder makes that its slowest part.
        std::error_code error;
        fs::path root = !std::getenv("TMPDIR") && fs::is_directory("/dev/shm", error)
                            ? fs::path("/dev/shm")
                            : fs::temp_directory_path();
        fs::path base = root / ("ravelin-fuzz-" + std::to_string(getpid()));
        fs::create_directories(base);
        // libFuzzer ends a run with exit(); a crash leaves the folder for a look at the files.
        std::atexit([] {
            std::error_code error;
            fs::remove_all(folder(), error);
        });
        return new std::string(base.string());
    }();
    return *path;
}

void freshState() {
    rv::resetStateForTests();
    fake::reset();
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder(), error)) fs::remove_all(entry.path(), error);
    fake::setExePath(folder() + "/ravelin");
    fake::setEnvironment("LOCALAPPDATA", folder());
    rv::counterFrequency = fake::kFrequency;
}

namespace {

struct JsonReader {
    std::string_view text;
    size_t at = 0;
    int depth = 0;

    void blanks() {
        while (at < text.size() &&
               (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' || text[at] == '\r'))
            ++at;
    }
    bool take(char c) {
        if (at < text.size() && text[at] == c) return ++at, true;
        return false;
    }
    bool word(std::string_view w) {
        if (text.substr(at, w.size()) != w) return false;
        at += w.size();
        return true;
    }
    bool digits() {
        size_t start = at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
        return at > start;
    }
    bool number() {
        take('-');
        if (!take('0') && !digits()) return false;
        if (take('.') && !digits()) return false;
        if (take('e') || take('E')) {
            if (!take('+')) take('-');
            if (!digits()) return false;
        }
        return true;
    }
    bool string() {
        if (!take('"')) return false;
        while (at < text.size()) {
            unsigned char c = static_cast<unsigned char>(text[at++]);
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c != '\\') continue;
            if (at >= text.size()) return false;
            char e = text[at++];
            if (e == 'u') {
                for (int i = 0; i < 4; ++i, ++at) {
                    if (at >= text.size() || !std::isxdigit(static_cast<unsigned char>(text[at])))
                        return false;
                }
            } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos) {
                return false;
            }
        }
        return false;
    }
    bool value() {
        if (++depth > 64) return false;
        blanks();
        bool ok = false;
        if (at >= text.size()) {
            ok = false;
        } else if (take('{')) {
            blanks();
            ok = take('}');
            while (!ok) {
                blanks();
                if (!string()) break;
                blanks();
                if (!take(':') || !value()) break;
                blanks();
                if (take('}'))
                    ok = true;
                else if (!take(','))
                    break;
            }
        } else if (take('[')) {
            blanks();
            ok = take(']');
            while (!ok) {
                if (!value()) break;
                blanks();
                if (take(']'))
                    ok = true;
                else if (!take(','))
                    break;
            }
        } else if (text[at] == '"') {
            ok = string();
        } else if (word("true") || word("false") || word("null")) {
            ok = true;
        } else {
            ok = number();
        }
        --depth;
        return ok;
    }
};

}  // namespace

bool isJson(std::string_view text) {
    JsonReader reader{text};
    if (!reader.value()) return false;
    reader.blanks();
    return reader.at == text.size();
}

bool codesValid() {
    // The keys spammed in turn: valid codes up to the first 0, nothing after it.
    bool ended = false;
    for (const std::atomic<int32_t>& key : rv::keySpamKeys) {
        const int32_t code = key.load();
        if (code == 0) {
            ended = true;
        } else if (ended || !rv::isKeySpamTargetCode(code)) {
            return false;
        }
    }
    return rv::isHotkeyCode(rv::hkRec) && rv::isHotkeyCode(rv::hkPlay) && rv::isHotkeyCode(rv::hkAuto) &&
           rv::isHotkeyCode(rv::hkKeySpam) && rv::isKeySpamTargetCode(rv::keySpamTarget);
}

void check(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

}  // namespace fuzz
