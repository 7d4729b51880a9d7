#include "platform/covering.h"

#include <algorithm>

namespace plat {

namespace {

// The most uncovered pieces followed: each window above can split one piece into four, so a
// desktop's worth of windows stays far below it.
constexpr size_t kMostPieces = 4096;

bool empty(const Rect& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

// What of `piece` lies outside `cut`, as up to four rectangles appended to `out`.
void subtract(const Rect& piece, const Rect& cut, std::vector<Rect>& out) {
    const Rect inside = clipped(piece, cut);
    if (empty(inside)) {
        out.push_back(piece);
        return;
    }
    // The bands above and below the cut span the piece's width; those beside it only its height.
    if (inside.top > piece.top) out.push_back({piece.left, piece.top, piece.right, inside.top});
    if (inside.bottom < piece.bottom) out.push_back({piece.left, inside.bottom, piece.right, piece.bottom});
    if (inside.left > piece.left) out.push_back({piece.left, inside.top, inside.left, inside.bottom});
    if (inside.right < piece.right) out.push_back({inside.right, inside.top, piece.right, inside.bottom});
}

}  // namespace

Rect clipped(const Rect& area, const Rect& bounds) {
    Rect r{std::max(area.left, bounds.left), std::max(area.top, bounds.top),
           std::min(area.right, bounds.right), std::min(area.bottom, bounds.bottom)};
    if (empty(r)) return Rect{};
    return r;
}

bool rectCovered(const Rect& area, const std::vector<Rect>& over) {
    std::vector<Rect> left;
    if (!empty(area)) left.push_back(area);
    std::vector<Rect> next;
    for (const Rect& cut : over) {
        if (left.empty()) break;
        if (empty(cut)) continue;
        next.clear();
        for (const Rect& piece : left) subtract(piece, cut, next);
        if (next.size() > kMostPieces) return false;
        left.swap(next);
    }
    return left.empty();
}

}  // namespace plat
