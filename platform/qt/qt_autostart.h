#pragma once
#include <QString>

#include "platform/autostart.h"

namespace dwellor::qt {

inline constexpr const char* kAppId = "io.github.dwellor.Dwellor";

// The desktop's login entry, $XDG_CONFIG_HOME/autostart/<app id>.desktop,
// which starts Dwellor hidden with the session; on while it exists.
class QtAutostart final : public IAutostart {
public:
    static QString path();
    bool enabled() const override;
    // Says on standard error why it failed.
    bool setEnabled(bool on) override;
    // Writes (on) or removes (off) the entry; false with `error` set when
    // that failed, the entry then as it was.
    static bool set(bool on, QString& error);
};

}  // namespace dwellor::qt
