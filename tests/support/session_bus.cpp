#include "tests/support/session_bus.h"

namespace dwellor::testsupport {

SessionBus::SessionBus(milliseconds timeout)
    : address_(startServer(
          daemon_,
          [](int fd) {
              return std::vector<std::string>{"dbus-daemon", "--session", "--nofork",
                                              "--print-address=" + std::to_string(fd)};
          },
          logPath_, timeout)) {}

SessionBus::~SessionBus() { stopServer(daemon_, logPath_); }

}  // namespace dwellor::testsupport
