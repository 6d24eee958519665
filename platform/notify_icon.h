#pragma once
#include <cstdint>

#include "platform/types.h"

namespace dwellor {

inline constexpr std::uint32_t NIM_ADD = 0;
inline constexpr std::uint32_t NIM_MODIFY = 1;
inline constexpr std::uint32_t NIM_DELETE = 2;

inline constexpr std::uint32_t NIF_MESSAGE = 1;
inline constexpr std::uint32_t NIF_ICON = 2;
inline constexpr std::uint32_t NIF_TIP = 4;

// Mouse message numbers delivered to the icon's owner.
inline constexpr int WM_MOUSEMOVE = 0x200;
inline constexpr int WM_LBUTTONDOWN = 0x201;
inline constexpr int WM_LBUTTONUP = 0x202;
inline constexpr int WM_LBUTTONDBLCLK = 0x203;
inline constexpr int WM_RBUTTONDOWN = 0x204;
inline constexpr int WM_RBUTTONUP = 0x205;
inline constexpr int WM_RBUTTONDBLCLK = 0x206;

// The notification-icon record in its narrow-character form.
struct NotifyIconData {
    std::uint32_t cbSize = 0;
    Handle hWnd = 0;
    std::uint32_t uID = 0;
    std::uint32_t uFlags = 0;
    std::uint32_t uCallbackMessage = 0;
    Handle hIcon = 0;
    char szTip[64] = {};
};
static_assert(sizeof(NotifyIconData) == 88);

// The notification area. Returns true when the platform accepted the call.
// Mouse activity on an icon is delivered to the owner window's mouse-move
// event with the mouse message number as X.
class INotifyIcon {
public:
    virtual ~INotifyIcon() = default;
    virtual bool Shell_NotifyIconA(std::uint32_t message, NotifyIconData& data) = 0;
};

}  // namespace dwellor
