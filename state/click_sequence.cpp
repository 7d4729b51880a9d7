#include "state/click_sequence.h"

#include "state/state.h"

namespace rv {

namespace {

// An optional '-' and 1 to 10 digits, the whole field; within [low, high].
std::optional<int32_t> strictWhole(std::string_view text, int64_t low, int64_t high) {
    bool negative = !text.empty() && text[0] == '-';
    if (negative) text.remove_prefix(1);
    if (text.empty() || text.size() > 10) return std::nullopt;
    int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (negative) value = -value;
    if (value < low || value > high) return std::nullopt;
    return static_cast<int32_t>(value);
}

std::optional<SequencePoint> parsePoint(std::string_view text) {
    std::string_view fields[5];
    size_t count = 0;
    for (;;) {
        size_t colon = text.find(':');
        if (count == 5) return std::nullopt;
        fields[count++] = text.substr(0, colon);
        if (colon == std::string_view::npos) break;
        text.remove_prefix(colon + 1);
    }
    if (count != 5) return std::nullopt;
    auto x = strictWhole(fields[0], -kMaxSequenceCoordinate, kMaxSequenceCoordinate);
    auto y = strictWhole(fields[1], -kMaxSequenceCoordinate, kMaxSequenceCoordinate);
    auto button = strictWhole(fields[2], 0, 2);
    auto twice = strictWhole(fields[3], 0, 1);
    auto wait = strictWhole(fields[4], 0, kMaxSequenceWaitMs);
    if (!x || !y || !button || !twice || !wait) return std::nullopt;
    return SequencePoint{*x, *y, *button, *twice == 1, *wait};
}

// Calls `take` with each point's text; an empty text has none.
template <typename Take>
void eachPointText(std::string_view text, Take take) {
    while (!text.empty()) {
        size_t slash = text.find('/');
        take(text.substr(0, slash));
        if (slash == std::string_view::npos) break;
        text.remove_prefix(slash + 1);
        if (text.empty()) take(text);  // a final '/' leaves an empty, bad point
    }
}

}  // namespace

std::optional<std::vector<SequencePoint>> parseClickSequence(std::string_view text) {
    std::vector<SequencePoint> points;
    bool good = true;
    eachPointText(text, [&](std::string_view field) {
        auto point = good ? parsePoint(field) : std::nullopt;
        if (!point || points.size() == kMaxSequencePoints) {
            good = false;
            return;
        }
        points.push_back(*point);
    });
    if (!good) return std::nullopt;
    return points;
}

std::vector<SequencePoint> readClickSequence(std::string_view text) {
    std::vector<SequencePoint> points;
    eachPointText(text, [&](std::string_view field) {
        if (points.size() == kMaxSequencePoints) return;
        if (auto point = parsePoint(field)) points.push_back(*point);
    });
    return points;
}

std::string formatClickSequence(const std::vector<SequencePoint>& points) {
    std::string out;
    for (const SequencePoint& p : points) {
        if (!out.empty()) out += '/';
        out += std::to_string(p.x) + ':' + std::to_string(p.y) + ':' + std::to_string(p.button) +
               (p.doubleClick ? ":1:" : ":0:") + std::to_string(p.waitMs);
    }
    return out;
}

std::vector<SequencePoint> clickSequencePoints() {
    // The live text is always in its canonical form (every writer goes through the rules above).
    return readClickSequence(clickSequence.load());
}

bool appendSequencePoint(const SequencePoint& point) {
    std::lock_guard<std::mutex> lock(clickSequence.lock);
    std::vector<SequencePoint> points = readClickSequence(clickSequence.value);
    if (points.size() >= kMaxSequencePoints) return false;
    points.push_back(point);
    clickSequence.value = formatClickSequence(points);
    return true;
}

}  // namespace rv
