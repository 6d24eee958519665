#include "tray/tray_icon.h"

namespace dwellor {

TrayIcon::TrayIcon(ITray& tray) : tray_(tray) {
    tray_.onEvent([this](TrayEvent e) {
        switch (e) {
            case TrayEvent::LeftRelease:
                if (mouseMove_) mouseMove_(WM_LBUTTONUP);
                break;
            case TrayEvent::RightRelease:
                if (mouseMove_) mouseMove_(WM_RBUTTONUP);
                break;
            case TrayEvent::HostGone:
                if (hostGone_) hostGone_();
                break;
        }
    });
}

void TrayIcon::fillCommon(const IPictureBox& owner, std::uint32_t id) {
    rec_.cbSize = kRecordSize;
    rec_.hWnd = owner.hWnd();
    rec_.uID = id;
    rec_.uCallbackMessage = WM_MOUSEMOVE;
}

// The record's tip up to its NUL; each character came from one byte.
std::string TrayIcon::tip() const {
    std::string s;
    for (char16_t c : rec_.szTip) {
        if (c == u'\0') break;
        s += static_cast<char>(c);
    }
    return s;
}

VBool TrayIcon::AddTrayIcon(const IPictureBox& owner, const std::string& tip, Handle icon, std::uint32_t id) {
    fillCommon(owner, id);
    rec_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    rec_.hIcon = icon;
    // The tip and its NUL, fitted to 64 characters: blank-padded or cut.
    std::u16string t;
    for (unsigned char c : tip) t += static_cast<char16_t>(c);
    t += u'\0';
    t.resize(64, u' ');
    for (std::size_t i = 0; i < 64; ++i) rec_.szTip[i] = t[i];
    return toVBool(tray_.show(rec_.hIcon, this->tip()));
}

VBool TrayIcon::SetTrayIcon(const IPictureBox& owner, Handle icon, std::uint32_t id) {
    fillCommon(owner, id);
    rec_.uFlags = NIF_ICON;
    rec_.hIcon = icon;
    return toVBool(tray_.setImage(rec_.hIcon));
}

VBool TrayIcon::RemoveTrayIcon(const IPictureBox& owner, std::uint32_t id) {
    fillCommon(owner, id);
    return toVBool(tray_.remove());
}

}  // namespace dwellor
