#pragma once
#include <cstring>
#include <string>
#include <string_view>

namespace dwellor::app {

// Whether Dwellor runs in a Wayland session: there the X server is XWayland,
// whose pointer position freezes while the pointer is over a Wayland window,
// so every tick would look like a rest and clicks would land blind.
inline bool isWaylandSession(bool serverIsXWayland, const char* waylandDisplay, const char* sessionType) {
    return serverIsXWayland || (waylandDisplay && *waylandDisplay) ||
           (sessionType && std::strcmp(sessionType, "wayland") == 0);
}

// The Wayland desktops Dwellor may work in, told by the session's variables
// (XDG_CURRENT_DESKTOP is a colon-separated list, such as "ubuntu:GNOME").
enum class WaylandBackend { None, KWin, Wlroots };
inline bool desktopIs(const char* currentDesktop, std::string_view name) {
    std::string_view rest = currentDesktop ? currentDesktop : "";
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        if (rest.substr(0, colon) == name) return true;
        if (colon == std::string_view::npos) break;
        rest.remove_prefix(colon + 1);
    }
    return false;
}
inline WaylandBackend waylandBackend(const char* waylandDisplay, const char* sessionType, const char* currentDesktop) {
    if (!isWaylandSession(false, waylandDisplay, sessionType)) return WaylandBackend::None;
    if (desktopIs(currentDesktop, "KDE")) return WaylandBackend::KWin;
    // GNOME has a dwell click of its own; the rest may be a wlroots
    // compositor, as what it offers will tell.
    return desktopIs(currentDesktop, "GNOME") ? WaylandBackend::None : WaylandBackend::Wlroots;
}

inline constexpr const char* kWaylandRefusal =
    "Dwellor cannot work in a Wayland session: there it cannot see the pointer over Wayland windows and "
    "would click blindly. Log in to an X11 session, or use your desktop's own dwell click "
    "(--allow-xwayland starts Dwellor anyway, for X11 applications only).";

inline constexpr const char* kGnomeWaylandRefusal =
    "Dwellor cannot work in a GNOME Wayland session: there it cannot see the pointer over Wayland windows "
    "and would click blindly. GNOME has a dwell click of its own: Settings \u2192 Accessibility \u2192 "
    "Pointing & Clicking \u2192 Hover Click. Or log in to an X11 session "
    "(--allow-xwayland starts Dwellor anyway, for X11 applications only).";

// What Dwellor says when it refuses a Wayland session, by the desktop.
inline const char* waylandRefusal(const char* currentDesktop) {
    return desktopIs(currentDesktop, "GNOME") ? kGnomeWaylandRefusal : kWaylandRefusal;
}

}  // namespace dwellor::app
