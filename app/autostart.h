#pragma once
#include <QString>

namespace dwellor::app {

inline constexpr const char* kAppId = "io.github.dwellor.Dwellor";

// $XDG_CONFIG_HOME/autostart/<app id>.desktop
QString autostartPath();
// Writes (on) or removes (off) the entry that starts Dwellor, hidden, with
// the desktop session. False with `error` set when that failed.
bool setAutostart(bool on, QString& error);

}  // namespace dwellor::app
