#include "platform/win32/win32_tray.h"

#include "platform/win32/win32_images.h"
#include "platform/win32/win32_text.h"

#include <commctrl.h>

namespace dwellor::win32 {

namespace {
constexpr UINT kEventMessage = WM_APP + 2;
constexpr UINT_PTR kReaddTimer = 1;
constexpr UINT kReaddEveryMs = 1000;
constexpr int kReaddTries = 10;
constexpr UINT_PTR kHookId = 1;
}  // namespace

Win32Tray::Win32Tray(HWND form) {
    taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
    // Never a control: hidden, empty, untitled and disabled, it takes no
    // focus, no tab stop and no click, is never drawn, and accessibility
    // tools pass over it as they do over any hidden window.
    createWindow(kClassName, WS_EX_NOPARENTNOTIFY, L"", WS_CHILD | WS_DISABLED, 0, 0, 0, 0, form, false);
    if (hwnd_ && SetWindowSubclass(form, formHook, kHookId, reinterpret_cast<DWORD_PTR>(this))) form_ = form;
    data_.cbSize = sizeof data_;
    data_.hWnd = hwnd_;
    data_.uID = kIconId;  // no GUID: a GUID ties the icon to the executable's path
    data_.uCallbackMessage = kCallbackMessage;
}

Win32Tray::~Win32Tray() {
    remove();
    if (form_) RemoveWindowSubclass(form_, formHook, kHookId);
}

LRESULT CALLBACK Win32Tray::formHook(HWND h, UINT m, WPARAM w, LPARAM l, UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<Win32Tray*>(data);
    if (m == self->taskbarCreated_ && self->taskbarCreated_ != 0 && self->hwnd_) {
        PostMessageW(self->hwnd_, m, w, l);
    } else if (m == WM_NCDESTROY) {
        RemoveWindowSubclass(h, formHook, kHookId);
        self->form_ = nullptr;
    }
    return DefSubclassProc(h, m, w, l);
}

bool Win32Tray::add() {
    data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    if (Shell_NotifyIconW(NIM_ADD, &data_)) return true;
    // A busy shell can time out and still add the icon.
    return GetLastError() == ERROR_TIMEOUT && Shell_NotifyIconW(NIM_MODIFY, &data_);
}

bool Win32Tray::show(Handle image, const std::string& tip) {
    if (shown_ || !hwnd_) return false;
    data_.hIcon = iconFor(image, GetSystemMetrics(SM_CXSMICON));
    const std::wstring t = widen(tip).substr(0, std::size(data_.szTip) - 1);
    std::fill(std::begin(data_.szTip), std::end(data_.szTip), L'\0');
    t.copy(data_.szTip, t.size());
    if (!add()) return false;
    shown_ = true;
    ++generation_;
    return true;
}

bool Win32Tray::setImage(Handle image) {
    if (!shown_) return false;
    data_.hIcon = iconFor(image, GetSystemMetrics(SM_CXSMICON));
    data_.uFlags = NIF_ICON;
    return Shell_NotifyIconW(NIM_MODIFY, &data_);
}

bool Win32Tray::remove() {
    if (!shown_) return false;
    shown_ = false;
    KillTimer(hwnd_, kReaddTimer);
    Shell_NotifyIconW(NIM_DELETE, &data_);  // gone either way
    return true;
}

bool Win32Tray::iconContains(POINT at) const {
    if (!shown_) return false;
    NOTIFYICONIDENTIFIER id{};
    id.cbSize = sizeof id;
    id.hWnd = hwnd_;
    id.uID = kIconId;
    RECT r;
    return SUCCEEDED(Shell_NotifyIconGetRect(&id, &r)) && PtInRect(&r, at);
}

void Win32Tray::post(TrayEvent e) { PostMessageW(hwnd_, kEventMessage, static_cast<WPARAM>(e), generation_); }

LRESULT Win32Tray::handle(UINT m, WPARAM w, LPARAM l) {
    if (m == kCallbackMessage) {
        // The mouse message on the icon; only releases count.
        if (LOWORD(l) == WM_LBUTTONUP) post(TrayEvent::LeftRelease);
        else if (LOWORD(l) == WM_RBUTTONUP) post(TrayEvent::RightRelease);
        return 0;
    }
    if (m == kEventMessage) {
        if (shown_ && static_cast<std::uint32_t>(l) == generation_) {
            if (static_cast<TrayEvent>(w) == TrayEvent::HostGone) shown_ = false;
            if (event_) event_(static_cast<TrayEvent>(w));
        }
        return 0;
    }
    if (m == taskbarCreated_ && taskbarCreated_ != 0) {
        // Explorer (re)started: its notification area has forgotten the icon.
        if (shown_) {
            readdTries_ = 0;
            data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
            if (!add()) SetTimer(hwnd_, kReaddTimer, kReaddEveryMs, nullptr);
        }
        return 0;
    }
    if (m == WM_TIMER && w == kReaddTimer) {
        if (!shown_ || add()) {
            KillTimer(hwnd_, kReaddTimer);
        } else if (++readdTries_ >= kReaddTries) {
            // No notification area to come back through: give the window back.
            KillTimer(hwnd_, kReaddTimer);
            post(TrayEvent::HostGone);
        }
        return 0;
    }
    // Going with the form: an icon left behind would answer no click.
    if (m == WM_DESTROY) remove();
    return DefWindowProcW(hwnd_, m, w, l);
}

}  // namespace dwellor::win32
