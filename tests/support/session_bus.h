#pragma once
// A private D-Bus session bus for tests of what goes over D-Bus.

#include <chrono>
#include <string>

#include "tests/support/xvfb.h"

namespace dwellor::testsupport {

// `dbus-daemon --session` of its own; stopped when destroyed.
class SessionBus {
public:
    // Returns once the bus accepts connections; throws std::runtime_error,
    // with the daemon's output, when it does not come up in time.
    explicit SessionBus(milliseconds timeout = std::chrono::seconds(10));
    ~SessionBus();
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;

    // For DBUS_SESSION_BUS_ADDRESS.
    const std::string& address() const { return address_; }

private:
    ChildProcess daemon_;
    std::string logPath_;
    std::string address_;
};

}  // namespace dwellor::testsupport
