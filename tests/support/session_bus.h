#pragma once
// A private D-Bus session bus for tests of what goes over D-Bus (tray
// protocols, accessibility).

#include <string>

#include "tests/support/xvfb.h"

namespace dwellor::testsupport {

// `dbus-daemon --session` of its own, with the system's service files: a
// name such as org.a11y.Bus starts its service on first use, with this
// process's environment (DISPLAY, XDG_RUNTIME_DIR, ...) as it was when the
// bus started. Those services end with the bus.
class SessionBus {
public:
    // Returns once the bus accepts connections; throws std::runtime_error,
    // with the daemon's output, when it does not come up in time.
    explicit SessionBus(milliseconds timeout = milliseconds(10000));
    ~SessionBus();

    // For DBUS_SESSION_BUS_ADDRESS.
    const std::string& address() const { return address_; }

private:
    ChildProcess daemon_;
    std::string logPath_;
    std::string address_;
};

}  // namespace dwellor::testsupport
