#pragma once
#include "platform/countdown_mark.h"

#include "platform/win32/win32_api.h"
#include "platform/win32/win32_object_window.h"

namespace dwellor::win32 {

// The ring beside the pointer: a layered popup that the mouse passes through
// (WS_EX_TRANSPARENT), never activated, with no place in the task bar or
// Alt+Tab, drawn with GDI on a colour key (no compositor needed). Shown many
// times a second, it moves and redraws only for a change.
class Win32CountdownMark final : public ICountdownMark, public ObjectWindow {
public:
    // `owner` keeps it above the owner's window.
    explicit Win32CountdownMark(HWND owner);

    void show(Point pointer, double filled, bool held) override;
    void hide() override;
    bool shown() const override { return hwnd_ && IsWindowVisible(hwnd_); }

    // Draws the ring of `size` pixels at (0, 0), filled clockwise from the
    // top to `filled`, with the held mark when `held`.
    static void paint(HDC dc, int size, double filled, bool held);
    // The sides of the ring and the reach of the pointer's image right and
    // down, at a DPI.
    static int sizeAt(UINT dpi) { return MulDiv(kSize, static_cast<int>(dpi), 96); }
    static int clearAt(UINT dpi) { return GetSystemMetricsForDpi(SM_CXCURSOR, dpi); }

    static constexpr const wchar_t* kClassName = L"DwellorCountdown";
    static constexpr DWORD kStyle = WS_POPUP;
    static constexpr DWORD kExStyle =
        WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOPMOST | WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW;
    static constexpr int kSize = 24;  // at 96 DPI
    // Dark rims with a light halo read on light and dark backgrounds alike.
    static constexpr COLORREF kKey = RGB(255, 0, 255), kHalo = RGB(255, 255, 255), kRim = RGB(0, 0, 0),
                              kTrack = RGB(96, 96, 96), kFill = RGB(255, 200, 0), kHeld = RGB(230, 30, 30);
    // The fill moves in steps of 3 degrees: finer is not seen at this size.
    static constexpr int kSteps = 120;

private:
    LRESULT handle(UINT m, WPARAM w, LPARAM l) override;

    // What is on screen.
    RECT at_{};
    int step_ = -1;
    bool held_ = false;
};

}  // namespace dwellor::win32
