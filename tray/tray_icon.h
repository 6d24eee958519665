#pragma once
#include <cstdint>
#include <string>

#include "platform/notify_icon.h"
#include "platform/picture_box.h"
#include "platform/types.h"

namespace dwellor {

// The window's one notification-icon record and the three operations on it.
// Each operation fills some fields and leaves the rest as the previous one
// left them.
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

    explicit TrayIcon(INotifyIcon& platform) : platform_(platform) {}

    // Each returns true (-1) exactly when the platform accepted the call.
    VBool AddTrayIcon(const IPictureBox& owner, const std::string& tip, Handle icon, std::uint32_t id);
    VBool SetTrayIcon(const IPictureBox& owner, Handle icon, std::uint32_t id);
    VBool RemoveTrayIcon(const IPictureBox& owner, std::uint32_t id);

    const Record& record() const { return rec_; }

private:
    void fillCommon(const IPictureBox& owner, std::uint32_t id);
    VBool call(std::uint32_t message);

    INotifyIcon& platform_;
    Record rec_;
};

}  // namespace dwellor
