#include "platform/win32/win32_prompt.h"

#include "platform/win32/win32_text.h"

#include <algorithm>

namespace dwellor::win32 {

namespace {
constexpr UINT kAnswerMessage = WM_APP + 3;
constexpr int kYesId = 100, kNoId = 101;
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
}  // namespace

Win32Prompt::Win32Prompt(HWND owner) {
    createWindow(kClassName, WS_EX_TOPMOST | WS_EX_DLGMODALFRAME, L"", kStyle, 0, 0, 0, 0, owner, true);
    yes_ = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0, hwnd_,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(kYesId)), GetModuleHandleW(nullptr), nullptr);
    no_ = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0, hwnd_,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(kNoId)), GetModuleHandleW(nullptr), nullptr);
}

Win32Prompt::~Win32Prompt() {
    destroyWindow();  // before the font its buttons draw with
    if (font_) DeleteObject(font_);
}

void Win32Prompt::layout() {
    const int dpi = static_cast<int>(GetDpiForWindow(hwnd_) ? GetDpiForWindow(hwnd_) : 96);
    auto s = [dpi](int px) { return MulDiv(px, dpi, 96); };
    if (font_) DeleteObject(font_);
    NONCLIENTMETRICSW m{};
    m.cbSize = sizeof m;
    SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof m, &m, 0, static_cast<UINT>(dpi));
    m.lfMessageFont.lfHeight = -s(16);
    m.lfMessageFont.lfWeight = FW_BOLD;
    font_ = CreateFontIndirectW(&m.lfMessageFont);
    SetWindowPos(yes_, nullptr, s(kMargin), s(kMargin), s(kButtonWidth), s(kButtonHeight), SWP_NOZORDER);
    SetWindowPos(no_, nullptr, s(2 * kMargin + kButtonWidth), s(kMargin), s(kButtonWidth), s(kButtonHeight),
                 SWP_NOZORDER);
    for (HWND b : {yes_, no_}) SendMessageW(b, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    RECT r{0, 0, s(3 * kMargin + 2 * kButtonWidth), s(2 * kMargin + kButtonHeight)};
    AdjustWindowRectExForDpi(&r, kStyle, FALSE, WS_EX_TOPMOST | WS_EX_DLGMODALFRAME, static_cast<UINT>(dpi));
    SetWindowPos(hwnd_, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Prompt::open(const PromptDesc& desc) {
    SetWindowTextW(hwnd_, widen(desc.caption).c_str());
    SetWindowTextW(yes_, widen(desc.yes).c_str());
    SetWindowTextW(no_, widen(desc.no).c_str());
    // Placed first so that its DPI is that of the monitor it opens on.
    const POINT at{desc.near.x, desc.near.y};
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    GetMonitorInfoW(MonitorFromPoint(at, MONITOR_DEFAULTTONEAREST), &mi);
    SetWindowPos(hwnd_, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    layout();
    // Beside the pointer, never under it: to its right and below, or to its
    // left or above where the work area ends.
    RECT w;
    GetWindowRect(hwnd_, &w);
    const int width = w.right - w.left, height = w.bottom - w.top;
    const int offset = MulDiv(kOffset, static_cast<int>(GetDpiForWindow(hwnd_)), 96);
    const RECT& area = mi.rcWork;
    int x = at.x + offset, y = at.y + offset;
    if (x + width > area.right) x = at.x - offset - width;
    if (y + height > area.bottom) y = at.y - offset - height;
    SetWindowPos(hwnd_, HWND_TOPMOST, std::max<int>(x, area.left), std::max<int>(y, area.top), 0, 0,
                 SWP_NOSIZE | SWP_SHOWWINDOW);
}

void Win32Prompt::close() {
    ShowWindow(hwnd_, SW_HIDE);
    // Closed, it is no window of Dwellor's to anything that lists them.
    SetWindowTextW(hwnd_, L"");
}

bool Win32Prompt::clientAreaContains(Point screen) const {
    return win32::clientAreaContains(hwnd_, POINT{screen.x, screen.y});
}

LRESULT Win32Prompt::handle(UINT m, WPARAM w, LPARAM l) {
    switch (m) {
        case WM_COMMAND:
            if (HIWORD(w) == BN_CLICKED && (LOWORD(w) == kYesId || LOWORD(w) == kNoId))
                PostMessageW(hwnd_, kAnswerMessage, LOWORD(w) == kYesId, 0);
            return 0;
        case WM_CLOSE:  // its close button: no
            PostMessageW(hwnd_, kAnswerMessage, FALSE, 0);
            return 0;
        case kAnswerMessage:
            if (isOpen() && answer_) answer_(w != 0);
            return 0;
        case WM_DPICHANGED: {
            const RECT* r = reinterpret_cast<const RECT*>(l);
            SetWindowPos(hwnd_, nullptr, r->left, r->top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            layout();
            return 0;
        }
        default: break;
    }
    return DefWindowProcW(hwnd_, m, w, l);
}

}  // namespace dwellor::win32
