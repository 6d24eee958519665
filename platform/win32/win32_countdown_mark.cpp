#include "platform/win32/win32_countdown_mark.h"

#include "platform/screen_place.h"

#include <shellscalingapi.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace dwellor::win32 {

namespace {

int stepOf(double filled) {
    return static_cast<int>(std::lround(std::clamp(filled, 0.0, 1.0) * Win32CountdownMark::kSteps));
}

// A disc of `colour` inset by `inset` pixels from a square of `size`.
void disc(HDC dc, int size, int inset, COLORREF colour) {
    SetDCBrushColor(dc, colour);
    SetDCPenColor(dc, colour);
    Ellipse(dc, inset, inset, size - inset, size - inset);
}

}  // namespace

Win32CountdownMark::Win32CountdownMark(HWND owner) {
    if (!createWindow(kClassName, kExStyle, L"", kStyle, 0, 0, kSize, kSize, owner, false)) return;
    // The key colour is left out of the window: the pointer and the eye see
    // what is under it.
    SetLayeredWindowAttributes(hwnd_, kKey, 0, LWA_COLORKEY);
}

void Win32CountdownMark::paint(HDC dc, int size, double filled, bool held) {
    const int step = stepOf(filled);
    auto px = [size](int at24) { return MulDiv(at24, size, kSize); };
    const HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(DC_BRUSH));
    const HGDIOBJ oldPen = SelectObject(dc, GetStockObject(DC_PEN));
    SetDCBrushColor(dc, kKey);
    const RECT all{0, 0, size, size};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    // From the outside in: halo, rim, the track with the fill over it, rim,
    // halo, and the hole.
    disc(dc, size, 0, kHalo);
    disc(dc, size, px(1), kRim);
    disc(dc, size, px(2), kTrack);
    if (step >= kSteps) {
        disc(dc, size, px(2), kFill);
    } else if (step > 0) {
        // Clockwise from twelve o'clock; the radials only give directions,
        // so they are taken long, clear of rounding.
        const double angle = 2 * std::numbers::pi * step / kSteps;
        const int c = size / 2, reach = 100 * size;
        SetDCBrushColor(dc, kFill);
        SetDCPenColor(dc, kFill);
        const int oldDirection = SetArcDirection(dc, AD_CLOCKWISE);
        Pie(dc, px(2), px(2), size - px(2), size - px(2), c, c - reach,
            c + static_cast<int>(std::lround(reach * std::sin(angle))),
            c - static_cast<int>(std::lround(reach * std::cos(angle))));
        SetArcDirection(dc, oldDirection);
    }
    disc(dc, size, px(6), kRim);
    disc(dc, size, px(7), kHalo);
    disc(dc, size, px(8), kKey);
    if (held) {
        // A square over the hole: held is seen at a glance, also with no fill.
        SetDCBrushColor(dc, kHeld);
        SetDCPenColor(dc, kRim);
        Rectangle(dc, px(7), px(7), size - px(7), size - px(7));
    }
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
}

void Win32CountdownMark::show(Point pointer, double filled, bool held) {
    if (!hwnd_) return;
    const POINT p{pointer.x, pointer.y};
    const HMONITOR monitor = MonitorFromPoint(p, MONITOR_DEFAULTTONEAREST);
    UINT dpi = 96, dpiY = 96;
    if (FAILED(GetDpiForMonitor(monitor, MDT_EFFECTIVE_DPI, &dpi, &dpiY)) || dpi == 0) dpi = 96;
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    GetMonitorInfoW(monitor, &mi);
    const RECT& work = mi.rcWork;
    const Rect r = markPlace(pointer, {work.left, work.top, work.right - work.left, work.bottom - work.top},
                             sizeAt(dpi), clearAt(dpi));
    const RECT to{r.left, r.top, r.left + r.width, r.top + r.height};
    const int step = stepOf(filled);
    const bool visible = IsWindowVisible(hwnd_);
    const bool resized = to.right - to.left != at_.right - at_.left;
    const bool redraw = step != step_ || held != held_ || resized;
    step_ = step;
    held_ = held;
    if (!visible || !EqualRect(&to, &at_)) {
        at_ = to;
        if (redraw) InvalidateRect(hwnd_, nullptr, FALSE);  // drawn once, as it goes on screen
        // Put on top of the topmost band when it comes; only moved after.
        SetWindowPos(hwnd_, HWND_TOPMOST, r.left, r.top, r.width, r.height,
                     SWP_NOACTIVATE | SWP_SHOWWINDOW | (visible ? SWP_NOZORDER : 0) | (resized ? 0 : SWP_NOSIZE));
    } else if (redraw) {
        InvalidateRect(hwnd_, nullptr, FALSE);
    }
    if (redraw) UpdateWindow(hwnd_);
}

void Win32CountdownMark::hide() {
    if (hwnd_ && IsWindowVisible(hwnd_)) ShowWindow(hwnd_, SW_HIDE);
}

LRESULT Win32CountdownMark::handle(UINT m, WPARAM w, LPARAM l) {
    switch (m) {
        case WM_NCHITTEST: return HTTRANSPARENT;
        case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
        case WM_ERASEBKGND: return 1;  // all of it is painted: no flicker
        case WM_DPICHANGED: return 0;  // sized by show() for the pointer's monitor
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd_, &ps);
            const int size = at_.right - at_.left;
            // Drawn aside, then put on screen at once.
            HDC mem = CreateCompatibleDC(dc);
            HBITMAP bitmap = CreateCompatibleBitmap(dc, size, size);
            const HGDIOBJ old = SelectObject(mem, bitmap);
            paint(mem, size, static_cast<double>(step_) / kSteps, held_);
            BitBlt(dc, 0, 0, size, size, mem, 0, 0, SRCCOPY);
            SelectObject(mem, old);
            DeleteObject(bitmap);
            DeleteDC(mem);
            EndPaint(hwnd_, &ps);
            return 0;
        }
        default: break;
    }
    return ObjectWindow::handle(m, w, l);
}

}  // namespace dwellor::win32
