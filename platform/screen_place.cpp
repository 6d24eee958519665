#include "platform/screen_place.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

namespace dwellor {

namespace {

int clamp(int v, int lo, int size, int limit) { return std::max(lo, std::min(v, lo + limit - size)); }

// How far apart two ranges are; 0 when they meet.
std::int64_t gap(std::int64_t a0, std::int64_t a1, std::int64_t b0, std::int64_t b1) {
    return std::max<std::int64_t>({0, b0 - a1, a0 - b1});
}

}  // namespace

bool within(const Rect& r, const Rect& screen) {
    return r.left >= screen.left && r.top >= screen.top && r.left + r.width <= screen.left + screen.width &&
           r.top + r.height <= screen.top + screen.height;
}

Rect markPlace(Point p, Rect screen, int size, int clear) {
    const int g = std::max(4, size / 4);
    // Above and right first, where the pointer's image never reaches; right
    // and down only past the image.
    const std::array<Rect, 4> tries{{
        {p.x + g, p.y - g - size, size, size},
        {p.x - g - size, p.y - g - size, size, size},
        {p.x - g - size, p.y + g, size, size},
        {p.x + clear + g, p.y + g, size, size},
    }};
    for (const Rect& r : tries)
        if (within(r, screen)) return r;
    Rect r = tries[0];
    r.left = clamp(r.left, screen.left, size, screen.width);
    r.top = clamp(r.top, screen.top, size, screen.height);
    return r;
}

Point keepOnScreen(Rect frame, const std::vector<Rect>& screens) {
    // The title bar, enough of it to take hold of.
    constexpr int kGrip = 32;
    const std::int64_t x0 = frame.left, y0 = frame.top, x1 = x0 + frame.width, y1 = y0 + std::min(frame.height, kGrip);
    const Rect* nearest = nullptr;
    std::int64_t best = std::numeric_limits<std::int64_t>::max();
    for (const Rect& s : screens) {
        const std::int64_t sx1 = std::int64_t{s.left} + s.width, sy1 = std::int64_t{s.top} + s.height;
        const std::int64_t across = std::min(x1, sx1) - std::max<std::int64_t>(x0, s.left);
        if (y0 >= s.top && y1 <= sy1 && across >= std::min(frame.width, kGrip * 2)) return {frame.left, frame.top};
        const std::int64_t d = gap(x0, x1, s.left, sx1) + gap(y0, y1, s.top, sy1);
        if (d < best) best = d, nearest = &s;
    }
    if (!nearest) return {frame.left, frame.top};
    return {clamp(frame.left, nearest->left, frame.width, nearest->width),
            clamp(frame.top, nearest->top, frame.height, nearest->height)};
}

}  // namespace dwellor
