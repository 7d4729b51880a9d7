// Click sequences: the auto-clicker's third location mode, a list of points clicked one after another,
// each with its own button, single or double click, and a wait after it.
//
// The list is kept as a compact text, the value of the profile setting `clickSequence`: points joined
// by '/', each "X:Y:BUTTON:DOUBLE:WAIT" (screen pixels; button 0 left, 1 right, 2 middle; double 0 or
// 1; the wait after the point in milliseconds), e.g. "100:200:0:0:500/640:480:1:1:250". It holds no
// ',' ';' '=' '"' or brackets, so it passes through the profile options line, the page's and the
// panels' changeSettings and the pipe as it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rv {

struct SequencePoint {
    int32_t x = 0;
    int32_t y = 0;
    int32_t button = 0;  // 0 left, 1 right, 2 middle
    bool doubleClick = false;
    int32_t waitMs = 0;  // after this point's click
    bool operator==(const SequencePoint& other) const {
        return x == other.x && y == other.y && button == other.button && doubleClick == other.doubleClick &&
               waitMs == other.waitMs;
    }
};

inline constexpr size_t kMaxSequencePoints = 32;
inline constexpr int32_t kMaxSequenceCoordinate = 1000000;  // either way, so a jitter cannot overflow
inline constexpr int32_t kMaxSequenceWaitMs = 86400000;     // a day
inline constexpr int32_t kDefaultSequenceWaitMs = 100;      // a point picked on screen

// A text as the page and the pipe send it: every point whole and within its limits, at most
// kMaxSequencePoints of them; nothing otherwise. The empty text is the empty list.
std::optional<std::vector<SequencePoint>> parseClickSequence(std::string_view text);

// A stored text: the points that are whole and within their limits, the first kMaxSequencePoints of
// them; the others are passed over, so one damaged point does not lose the rest.
std::vector<SequencePoint> readClickSequence(std::string_view text);

std::string formatClickSequence(const std::vector<SequencePoint>& points);

// The live list (the setting's value) and its change, for the worker and the on-screen pick.
std::vector<SequencePoint> clickSequencePoints();
// Adds a point at the end; false when the list is full.
bool appendSequencePoint(const SequencePoint& point);

}  // namespace rv
