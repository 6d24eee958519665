#pragma once
#include <cstring>

namespace dwellor::app {

// Whether Dwellor runs in a Wayland session: there the X server is XWayland,
// whose pointer position freezes while the pointer is over a Wayland window,
// so every tick would look like a rest and clicks would land blind.
inline bool isWaylandSession(bool serverIsXWayland, const char* waylandDisplay, const char* sessionType) {
    return serverIsXWayland || (waylandDisplay && *waylandDisplay) ||
           (sessionType && std::strcmp(sessionType, "wayland") == 0);
}

inline constexpr const char* kWaylandRefusal =
    "Dwellor cannot work in a Wayland session: there it cannot see the pointer over Wayland windows and "
    "would click blindly. Log in to an X11 session, or use your desktop's own dwell click "
    "(--allow-xwayland starts Dwellor anyway, for X11 applications only).";

}  // namespace dwellor::app
