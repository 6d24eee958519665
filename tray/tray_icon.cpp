#include "tray/tray_icon.h"

namespace dwellor {

namespace {
constexpr std::uint32_t kRecordSize = sizeof(NotifyIconData);
static_assert(kRecordSize == 88);

// Every field but the tip, which differs in width between the two forms.
template <class From, class To>
void copyNumbers(const From& from, To& to) {
    to.cbSize = from.cbSize;
    to.hWnd = from.hWnd;
    to.uID = from.uID;
    to.uFlags = from.uFlags;
    to.uCallbackMessage = from.uCallbackMessage;
    to.hIcon = from.hIcon;
}
}  // namespace

void TrayIcon::fillCommon(const IPictureBox& owner, std::uint32_t id) {
    rec_.cbSize = kRecordSize;
    rec_.hWnd = owner.hWnd();
    rec_.uID = id;
    rec_.uCallbackMessage = WM_MOUSEMOVE;
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
    return call(NIM_ADD);
}

VBool TrayIcon::SetTrayIcon(const IPictureBox& owner, Handle icon, std::uint32_t id) {
    fillCommon(owner, id);
    rec_.uFlags = NIF_ICON;
    rec_.hIcon = icon;
    return call(NIM_MODIFY);
}

VBool TrayIcon::RemoveTrayIcon(const IPictureBox& owner, std::uint32_t id) {
    fillCommon(owner, id);
    return call(NIM_DELETE);
}

VBool TrayIcon::call(std::uint32_t message) {
    // The platform takes the narrow form; characters outside ASCII become '?'
    // and keep their wide form when the fields are copied back.
    NotifyIconData data;
    copyNumbers(rec_, data);
    for (std::size_t i = 0; i < 64; ++i) {
        const char16_t c = rec_.szTip[i];
        data.szTip[i] = c < 0x80 ? static_cast<char>(c) : '?';
    }
    const bool ok = platform_.Shell_NotifyIconA(message, data);
    copyNumbers(data, rec_);
    for (std::size_t i = 0; i < 64; ++i) {
        if (data.szTip[i] != '?') rec_.szTip[i] = static_cast<unsigned char>(data.szTip[i]);
    }
    return toVBool(ok);
}

}  // namespace dwellor
