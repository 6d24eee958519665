#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "platform/picture_box.h"
#include "platform/tray.h"
#include "platform/types.h"

namespace dwellor {

// Operations on the record.
inline constexpr std::uint32_t NIM_ADD = 0;
inline constexpr std::uint32_t NIM_MODIFY = 1;
inline constexpr std::uint32_t NIM_DELETE = 2;

// Which fields an operation fills.
inline constexpr std::uint32_t NIF_MESSAGE = 1;
inline constexpr std::uint32_t NIF_ICON = 2;
inline constexpr std::uint32_t NIF_TIP = 4;

// Mouse message numbers: the callback message, and what it carries.
inline constexpr int WM_MOUSEMOVE = 0x200;
inline constexpr int WM_LBUTTONDOWN = 0x201;
inline constexpr int WM_LBUTTONUP = 0x202;
inline constexpr int WM_LBUTTONDBLCLK = 0x203;
inline constexpr int WM_RBUTTONDOWN = 0x204;
inline constexpr int WM_RBUTTONUP = 0x205;
inline constexpr int WM_RBUTTONDBLCLK = 0x206;

// The window's one notification-icon record and the three operations on it.
// Each operation fills some fields and leaves the rest as the previous one
// left them, then hands the icon and tip to the tray. Releases on the icon
// come back as mouse message numbers.
class TrayIcon {
public:
    struct Record {
        std::uint32_t cbSize = 0;
        Handle hWnd = 0;
        std::uint32_t uID = 0;
        std::uint32_t uFlags = 0;
        std::uint32_t uCallbackMessage = 0;
        Handle hIcon = 0;
        char16_t szTip[64] = {};
    };
    // The size of the record in the form the notification area takes.
    static constexpr std::uint32_t kRecordSize = 88;

    explicit TrayIcon(ITray& tray);

    // Each returns true (-1) exactly when the tray accepted the call.
    VBool AddTrayIcon(const IPictureBox& owner, const std::string& tip, Handle icon, std::uint32_t id);
    VBool SetTrayIcon(const IPictureBox& owner, Handle icon, std::uint32_t id);
    VBool RemoveTrayIcon(const IPictureBox& owner, std::uint32_t id);

    // X is WM_LBUTTONUP or WM_RBUTTONUP.
    void onMouseMove(std::function<void(int x)> h) { mouseMove_ = std::move(h); }
    // The tray host ended while the icon was shown; the icon is gone.
    void onHostGone(Handler h) { hostGone_ = std::move(h); }

private:
    void fillCommon(const IPictureBox& owner, std::uint32_t id);
    std::string tip() const;

    ITray& tray_;
    Record rec_;
    std::function<void(int x)> mouseMove_;
    Handler hostGone_;
};

}  // namespace dwellor
