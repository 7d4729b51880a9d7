#include "state/session_file.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "state/fnv_hash.h"
#include "state/key_codes.h"
#include "state/numbers.h"
#include "state/preferences.h"
#include "state/profile_settings.h"
#include "state/save_problems.h"
#include "state/settings.h"
#include "state/state.h"
#include "state/text_file.h"
#include "state/utf8_text.h"
#include "state/wakes.h"

namespace rv {

namespace {

constexpr const char* kSettingsTag = "SETTINGS:";
constexpr const char* kCurrentTag = "CURRENT:";
constexpr const char* kProfileTag = "PROFILE:";
constexpr const char* kProfileSettingsTag = "PROFILESETTINGS:";
// The profile's settings kept by name. Older readers take the line for a bad event line and skip it.
constexpr const char* kProfileOptionsTag = "PROFILEOPTIONS:";

void appendInt(std::string& out, int64_t value) {
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void appendEventLine(std::string& out, const MacroEvent& event) {
    appendInt(out, event.kind);
    out += ',';
    out += formatG6(event.time);
    out += ',';
    appendInt(out, event.x);
    out += ',';
    appendInt(out, event.y);
    out += ',';
    appendInt(out, event.flags);
    out += ',';
    appendInt(out, event.vk);
    out += event.down ? ",1," : ",0,";
    appendInt(out, event.wheel);
    out += '\n';
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

// Hands out the lines of a text whose line ends are LF; a last line without one still counts, and
// nothing follows a final LF.
class LineReader {
  public:
    explicit LineReader(std::string_view text) : text_(text) {}
    bool next(std::string_view& line) {
        if (position_ >= text_.size()) return false;
        size_t end = text_.find('\n', position_);
        if (end == std::string_view::npos) end = text_.size();
        line = text_.substr(position_, end - position_);
        position_ = end + 1;
        return true;
    }

  private:
    std::string_view text_;
    size_t position_ = 0;
};

// An event line: the first eight comma-separated fields. A line with fewer than eight fields is
// skipped rather than padded with repeats of its last field, which would make up values that were
// never recorded.
bool parseEventLine(std::string_view line, MacroEvent& event) {
    std::array<std::string_view, 8> fields;
    size_t start = 0;
    for (std::string_view& field : fields) {
        if (start >= line.size()) return false;
        size_t comma = line.find(',', start);
        if (comma == std::string_view::npos) comma = line.size();
        field = line.substr(start, comma - start);
        start = comma + 1;
    }
    auto kind = parseInt32(fields[0]);
    auto time = parseDouble(fields[1]);
    auto x = parseInt32(fields[2]);
    auto y = parseInt32(fields[3]);
    auto flags = parseUInt32(fields[4]);
    auto vk = parseInt32(fields[5]);
    auto down = parseInt32(fields[6]);
    auto wheel = parseInt32(fields[7]);
    if (!kind || !time || !x || !y || !flags || !vk || !down || !wheel) return false;
    // A time that is not a finite number ("nan", "inf" in a hand-edited file) could never be reached
    // by playback: the line is skipped like any other bad line.
    if (!std::isfinite(*time)) return false;
    event = MacroEvent{*kind, *time, *x, *y, *flags, *vk, *down != 0, *wheel};
    return true;
}

// Saves are serialised from snapshot to rename, so that a later snapshot is never overwritten by an
// earlier one and the temporary file is never written by two threads. saveOwner lets a save started
// on a thread that is already saving (the crash handler after a fault inside a save) give up
// instead of waiting for itself.
std::mutex saveMutex;
std::atomic<std::thread::id> saveOwner{};

// What the last save wrote where (guarded by saveMutex), so that the autosave does not write the same
// text again every 5 s: each write is a new file and a rename, which disks and virus scanners pay for.
std::string lastSavedPath;
uint64_t lastSavedHash = 0;
size_t lastSavedSize = 0;
// And a fingerprint of the snapshot it was made from: a snapshot with the same fingerprint makes the
// same text, so a long session that did not change is not even formatted again (seconds for millions
// of events), at the close least of all.
uint64_t lastSavedSnapshot = 0;

uint64_t snapshotFingerprint(const std::string& settings, int32_t current, const std::vector<Profile>& copy) {
    uint64_t hash = fnvHash(settings);
    const auto mix = [&hash](uint64_t value) {
        hash = (hash ^ value) * 1099511628211ull;
        hash ^= hash >> 29;
    };
    mix(static_cast<uint32_t>(current));
    for (const Profile& profile : copy) {
        mix(fnvHash(profile.name));
        mix(fnvHash(profile.settingsText));
        mix(profile.events.size());
        for (const MacroEvent& event : profile.events) {
            uint64_t time = 0;
            std::memcpy(&time, &event.time, sizeof time);
            mix(time);
            mix(static_cast<uint32_t>(event.kind) | static_cast<uint64_t>(static_cast<uint32_t>(event.x))
                                                        << 32);
            mix(static_cast<uint32_t>(event.y) | static_cast<uint64_t>(event.flags) << 32);
            mix(static_cast<uint32_t>(event.vk) | static_cast<uint64_t>(static_cast<uint32_t>(event.wheel))
                                                      << 32);
            mix(event.down ? 1 : 0);
        }
    }
    return hash;
}

void noteLockHeld(int64_t ticks) {
    int64_t longest = sessionLockHeldMaxTicks.load();
    while (ticks > longest && !sessionLockHeldMaxTicks.compare_exchange_weak(longest, ticks)) {
    }
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

enum class LockWait { Skip, Wait };
// Whether a save writes a text the last save already wrote to the same file.
enum class Unchanged { Write, Skip };

std::unique_lock<std::mutex> lockProfiles(LockWait wait) {
    if (wait == LockWait::Wait) return std::unique_lock<std::mutex>(profilesLock);
    return std::unique_lock<std::mutex>(profilesLock, std::try_to_lock);
}

void saveSessionWith(LockWait wait, Unchanged unchanged);

// "YYYYMMDD-HHMMSS" of the current UTC time.
std::string utcStamp() {
    using namespace std::chrono;
    int64_t secondsNow = duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
    int64_t days = secondsNow / 86400, rest = secondsNow % 86400;
    if (rest < 0) rest += 86400, --days;
    // Days since 1970-01-01 to a civil date (proleptic Gregorian).
    days += 719468;
    int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    int64_t dayOfEra = days - era * 146097;
    int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    char stamp[128];
    std::snprintf(stamp, sizeof stamp, "%04lld%02lld%02lld-%02lld%02lld%02lld", static_cast<long long>(year),
                  static_cast<long long>(month), static_cast<long long>(day),
                  static_cast<long long>(rest / 3600), static_cast<long long>(rest / 60 % 60),
                  static_cast<long long>(rest % 60));
    return stamp;
}

// A session file that exists but could not be read, or is not a session file, may still be the only
// copy of a user's recordings: it is moved aside under a name that says so before anything can be
// saved over it. When even that fails, no save replaces it during this run.
void keepUnreadableSession() {
    if (!plat::pathExists(sessionPath)) return;
    std::string base = sessionPath + ".unreadable-" + utcStamp();
    std::string aside = base;
    for (int n = 2; plat::pathExists(aside) && n < 100; ++n) aside = base + "-" + std::to_string(n);
    if (plat::pathExists(aside) || !plat::moveFile(sessionPath, aside)) sessionSavesBlocked.store(true);
}

}  // namespace

std::string dataFolder() {
    auto local = plat::environment("LOCALAPPDATA");
    // Counted as Windows counts path lengths, not in bytes: a folder named in Japanese takes three
    // bytes a character.
    size_t length = local ? utf16Length(*local) : 0;
    std::string base = length >= 1 && length <= 259 ? *local : plat::defaultDataBase();
    return base + plat::kPathSeparator + "Tapforge";
}

void prepareSessionPath() {
    std::string folder = dataFolder();
    // With the folders above it, where they are missing (a LOCALAPPDATA that names a new folder):
    // otherwise no save could ever be written.
    for (size_t at = folder.find(plat::kPathSeparator, 1); at != std::string::npos;
         at = folder.find(plat::kPathSeparator, at + 1))
        plat::createDirectory(folder.substr(0, at));
    plat::createDirectory(folder);
    sessionPath = folder + plat::kPathSeparator + "session.mcr";
    if (plat::pathExists(sessionPath)) return;
    std::string old = besideExe("session.mcr");
    if (plat::pathExists(old)) plat::moveFile(old, sessionPath);
}

std::string settingsLine() {
    std::string line;
    for (size_t i = 0; i < sessionLineCount(); ++i) {
        if (i > 0) line += ',';
        appendStoredField(line, settingAt(i));
    }
    return line;
}

void applySettingsLine(std::string_view text) {
    applyStoredFields(splitFields(text, ','), sessionLineCount(), &settingAt, kSessionBlockEnds,
                      std::size(kSessionBlockEnds));
}

bool loadSession() {
    auto text = readTextFile(sessionPath);
    if (!text) {
        keepUnreadableSession();
        return false;
    }
    std::string_view content = *text;
    // Some editors save with a byte-order mark; the file is still ours.
    if (startsWith(content, kByteOrderMark)) content.remove_prefix(kByteOrderMark.size());
    LineReader lines(content);
    std::string_view line;
    if (!lines.next(line) || !startsWith(line, kSettingsTag)) {
        if (!content.empty()) keepUnreadableSession();
        return false;
    }
    applySettingsLine(line.substr(std::string_view(kSettingsTag).size()));

    int32_t index = 0;
    // The second line names the current profile; a file without that line (edited by hand) still
    // has its first profile there.
    bool held = lines.next(line);
    if (held && startsWith(line, kCurrentTag)) {
        index = parseInt32(line.substr(std::string_view(kCurrentTag).size())).value_or(0);
        held = false;
    }

    std::vector<Profile> loaded;
    while (std::exchange(held, false) || lines.next(line)) {
        if (startsWith(line, kProfileTag)) {
            loaded.push_back(Profile{std::string(line.substr(std::string_view(kProfileTag).size())), "", {}});
        } else if (startsWith(line, kProfileSettingsTag)) {
            // Options come only from their own line: a mark inside this one (a file edited by hand)
            // ends the fields, or saving would move what follows it onto an options line.
            if (!loaded.empty()) {
                std::string_view fields = line.substr(std::string_view(kProfileSettingsTag).size());
                loaded.back().settingsText = std::string(fields.substr(0, fields.find(kProfileOptionsMark)));
            }
        } else if (startsWith(line, kProfileOptionsTag)) {
            // Options belong to a settings text; a profile without one takes every default.
            if (!loaded.empty() && !loaded.back().settingsText.empty()) {
                loaded.back().settingsText += kProfileOptionsMark;
                loaded.back().settingsText += line.substr(std::string_view(kProfileOptionsTag).size());
            }
        } else if (!line.empty() && !loaded.empty()) {
            MacroEvent event;
            if (parseEventLine(line, event)) loaded.back().events.push_back(event);
        }
    }
    if (loaded.empty()) return false;

    std::string liveSettings = profileSettingsText();
    std::lock_guard<std::mutex> lock(profilesLock);
    profiles = std::move(loaded);
    currentProfile = index >= 0 && static_cast<size_t>(index) < profiles.size() ? index : 0;
    Profile& current = profiles[static_cast<size_t>(currentProfile)];
    if (current.settingsText.empty()) current.settingsText = std::move(liveSettings);
    return true;
}

bool loadSessionAtStart() {
    if (loadSession()) return true;
    std::lock_guard<std::mutex> lock(profilesLock);
    profiles.push_back(Profile{kDefaultProfileName, "", {}});
    return false;
}

void saveSession() {
    saveSessionWith(LockWait::Skip, Unchanged::Write);
}

void saveSessionAfterWorkers() {
    // Usually nothing changed since the save made just before the workers stopped: the file already
    // holds it, and a long session is not written a second time.
    saveSessionWith(LockWait::Wait, Unchanged::Skip);
}

namespace {

// The session file's name alone, as the page names it.
std::string sessionFileName() {
    const size_t cut = sessionPath.find_last_of("\\/");
    return cut == std::string::npos ? sessionPath : sessionPath.substr(cut + 1);
}

void saveSessionWith(LockWait wait, Unchanged unchanged) {
    if (saveOwner.load() == std::this_thread::get_id()) return;
    // A file the user made read-only, or one kept aside that could not be moved, is never replaced;
    // the first is said, since the changes then last only until the program closes.
    if (sessionSavesBlocked.load()) return;
    if (plat::isReadOnlyFile(sessionPath)) {
        noteReadOnly(sessionFileName());
        return;
    }
    std::lock_guard<std::mutex> serial(saveMutex);
    saveOwner.store(std::this_thread::get_id());
    struct OwnerReset {
        ~OwnerReset() { saveOwner.store(std::thread::id()); }
    } ownerReset;

    std::string text = kSettingsTag + settingsLine() + '\n';

    // The lock covers only the copy; the numbers of a long recording are formatted after it. A first
    // short look takes the sizes, so that the copy then goes into memory that is already allocated
    // and touched: page faults on a fresh block of tens of megabytes would otherwise triple the time
    // the lock is held.
    std::vector<size_t> sizes;
    {
        std::unique_lock<std::mutex> lock = lockProfiles(wait);
        if (!lock.owns_lock()) return;
        for (const Profile& profile : profiles) sizes.push_back(profile.events.size());
    }
    std::vector<Profile> copy(sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) copy[i].events.resize(sizes[i] + sizes[i] / 16 + 256);
    int32_t current = 0;
    {
        std::unique_lock<std::mutex> lock = lockProfiles(wait);
        if (!lock.owns_lock()) return;
        int64_t taken = plat::ticks();
        current = currentProfile;
        copy.resize(profiles.size());
        for (size_t i = 0; i < profiles.size(); ++i) {
            const Profile& from = profiles[i];
            Profile& to = copy[i];
            to.name = from.name;
            to.settingsText = from.settingsText;
            if (from.events.size() <= to.events.size()) {
                std::copy(from.events.begin(), from.events.end(), to.events.begin());
                to.events.resize(from.events.size());
            } else {
                to.events = from.events;
            }
        }
        noteLockHeld(plat::ticks() - taken);
    }

    if (sessionPath.empty()) return;
    const uint64_t snapshot = snapshotFingerprint(text, current, copy);
    if (unchanged == Unchanged::Skip && sessionPath == lastSavedPath && snapshot == lastSavedSnapshot) return;

    size_t eventCount = 0;
    for (const Profile& profile : copy) eventCount += profile.events.size();
    text.reserve(text.size() + 64 + copy.size() * 128 + eventCount * 40);
    text += kCurrentTag;
    appendInt(text, current);
    text += '\n';
    for (const Profile& profile : copy) {
        text += kProfileTag;
        text += profile.name;
        text += '\n';
        if (!profile.settingsText.empty()) {
            std::string_view settings = profile.settingsText;
            size_t mark = settings.find(kProfileOptionsMark);
            text += kProfileSettingsTag;
            text += settings.substr(0, mark);
            text += '\n';
            if (mark != std::string_view::npos) {
                text += kProfileOptionsTag;
                text += settings.substr(mark + 1);
                text += '\n';
            }
        }
        for (const MacroEvent& event : profile.events) appendEventLine(text, event);
    }
    copy.clear();
    copy.shrink_to_fit();

    if (sessionPath.empty()) return;
    const uint64_t hash = fnvHash(text);
    if (unchanged == Unchanged::Skip && sessionPath == lastSavedPath && hash == lastSavedHash &&
        text.size() == lastSavedSize)
        return;
    // Written beside the file and then swapped in, so the file is always a whole earlier save or the
    // whole new one, never a truncated mix.
    // A failed save (a full disk) keeps the changes in memory; the next save tries again, since the
    // file does not hold them.
    const bool written = replaceTextFile(sessionPath, text);
    if (written) {
        lastSavedPath = sessionPath;
        lastSavedHash = hash;
        lastSavedSize = text.size();
        lastSavedSnapshot = snapshot;
    }
    noteWritten(sessionFileName(), written);
}

}  // namespace

void autosaveThread() {
    const int64_t period = kAutosaveMs * plat::tickFrequency() / 1000;
    while (appRunning.load()) {
        // One nap to the next save rather than a poll: idle, the thread wakes only to save. A wake
        // that comes early (a reset) naps again for what is left.
        const int64_t due = plat::ticks() + period;
        for (int64_t left = period; left > 0 && appRunning.load(); left = due - plat::ticks())
            nap(Sleeper::Autosave,
                static_cast<int>((left * 1000 + plat::tickFrequency() - 1) / plat::tickFrequency()));
        if (!appRunning.load()) break;
        saveSessionWith(LockWait::Skip, Unchanged::Skip);
        savePendingPreferences();
    }
}

}  // namespace rv
