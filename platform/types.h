#pragma once
#include <cstdint>
#include <functional>

namespace dwellor {

// A 16-bit Boolean as handed between procedures: true is -1, false is 0.
using VBool = std::int16_t;
inline constexpr VBool kTrue = -1;
inline constexpr VBool kFalse = 0;
inline constexpr VBool toVBool(bool b) { return b ? kTrue : kFalse; }

// 32-bit handles: windows (the tray owner) and icon images.
using Handle = std::uint32_t;

// Colours are 0x00BBGGRR.
using Colour = std::uint32_t;
inline constexpr Colour kRed = 0x0000FF;
inline constexpr Colour kBlack = 0x000000;

struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// Pixels, relative to the window's client area.
struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

using Handler = std::function<void()>;

}  // namespace dwellor
