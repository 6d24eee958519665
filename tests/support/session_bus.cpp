#include "tests/support/session_bus.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace dwellor::testsupport {

namespace {

using Clock = std::chrono::steady_clock;

// Reads from `fd` until a newline, end of file or the deadline; the text
// before the newline, or nothing.
std::optional<std::string> readLine(int fd, Clock::time_point deadline) {
    std::string text;
    for (;;) {
        const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) return std::nullopt;
        char buf[256];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) return std::nullopt;
        text.append(buf, static_cast<std::size_t>(n));
        if (const auto nl = text.find('\n'); nl != std::string::npos) return text.substr(0, nl);
    }
}

}  // namespace

SessionBus::SessionBus(milliseconds timeout) {
    char logTemplate[] = "/tmp/dwellor-bus-XXXXXX";
    const int logFd = ::mkstemp(logTemplate);
    if (logFd < 0) throw std::runtime_error("cannot create the bus log file");
    ::close(logFd);
    logPath_ = logTemplate;

    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    try {
        daemon_.spawn({"dbus-daemon", "--session", "--nofork", "--nopidfile",
                       "--print-address=" + std::to_string(ready[1])},
                      {}, logPath_, ready[1]);
    } catch (...) {
        ::close(ready[0]);
        ::close(ready[1]);
        ::unlink(logPath_.c_str());
        throw;
    }
    ::close(ready[1]);
    // The daemon prints its address once it listens.
    const auto line = readLine(ready[0], Clock::now() + timeout);
    ::close(ready[0]);
    if (!line || line->empty()) {
        daemon_.signal(SIGKILL);
        daemon_.waitExit(milliseconds(2000));
        std::ifstream in(logPath_);
        std::ostringstream log;
        log << in.rdbuf();
        ::unlink(logPath_.c_str());
        throw std::runtime_error("dbus-daemon did not start:\n" + log.str());
    }
    address_ = *line;
}

SessionBus::~SessionBus() {
    daemon_.signal(SIGTERM);
    if (!daemon_.waitExit(milliseconds(3000))) {
        daemon_.signal(SIGKILL);
        daemon_.waitExit(milliseconds(3000));
    }
    ::unlink(logPath_.c_str());
}

}  // namespace dwellor::testsupport
