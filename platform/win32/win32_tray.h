#pragma once
#include <cstdint>
#include <functional>

#include "platform/tray.h"

#include "platform/win32/win32_api.h"
#include "platform/win32/win32_object_window.h"
#include <shellapi.h>

namespace dwellor::win32 {

// One notification icon through Shell_NotifyIconW, owned by a hidden child
// window of the form, so that Dwellor has one top-level window to anything
// that lists them. Explorer's "TaskbarCreated" goes to top-level windows
// only: it is heard on the form and passed on, and the icon is put back.
// The icon's callbacks are raised from a message posted to that window, never
// inside a call here, so the handler may remove the icon. The icon goes with
// the form.
class Win32Tray final : public ITray, public ObjectWindow {
public:
    explicit Win32Tray(HWND form);
    ~Win32Tray() override;

    bool show(Handle image, const std::string& tip) override;
    bool setImage(Handle image) override;
    bool remove() override;
    void onEvent(std::function<void(TrayEvent)> h) override { event_ = std::move(h); }

    // Whether a point of the screen lies on the shown icon, as far as the
    // shell tells (Windows 7 and later).
    bool iconContains(POINT at) const;
    static constexpr UINT kCallbackMessage = WM_APP + 1;
    static constexpr UINT kIconId = 1;
    static constexpr const wchar_t* kClassName = L"DwellorTray";

private:
    LRESULT handle(UINT m, WPARAM w, LPARAM l) override;
    static LRESULT CALLBACK formHook(HWND h, UINT m, WPARAM w, LPARAM l, UINT_PTR id, DWORD_PTR self);
    bool add();
    void post(TrayEvent e);

    HWND form_ = nullptr;  // while it is hooked
    UINT taskbarCreated_ = 0;
    NOTIFYICONDATAW data_{};
    bool shown_ = false;
    int readdTries_ = 0;
    std::uint32_t generation_ = 0;  // counts the icons shown, so late events of an old one are dropped
    std::function<void(TrayEvent)> event_;
};

}  // namespace dwellor::win32
