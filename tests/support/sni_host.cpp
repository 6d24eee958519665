#include "tests/support/sni_host.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace dwellor::testsupport {

namespace {

using Clock = std::chrono::steady_clock;
constexpr milliseconds kReplyTimeout{5000};

// Reads up to a newline; the text before it, or nothing on end of file or
// the deadline.
std::optional<std::string> readLine(int fd, Clock::time_point deadline) {
    std::string text;
    char c = 0;
    for (;;) {
        const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) return std::nullopt;
        if (::read(fd, &c, 1) != 1) return std::nullopt;
        if (c == '\n') return text;
        text += c;
    }
}

// "key=value key=value": the value of `key`.
std::string field(const std::string& reply, const std::string& key) {
    std::istringstream in(reply);
    std::string word;
    while (in >> word)
        if (word.starts_with(key + "=")) return word.substr(key.size() + 1);
    return {};
}

}  // namespace

FakeStatusNotifierHost::FakeStatusNotifierHost(const std::string& busAddress, const std::string& outputFile,
                                               milliseconds timeout, const std::vector<std::string>& command) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) throw std::runtime_error("socketpair failed");
    try {
        // Debian's own interpreter: python3-dbus and python3-gi belong to it.
        std::vector<std::string> argv = command;
        argv.push_back(std::to_string(fds[1]));
        process_.spawn(argv, {"DBUS_SESSION_BUS_ADDRESS=" + busAddress}, outputFile, fds[1]);
    } catch (...) {
        ::close(fds[0]);
        ::close(fds[1]);
        throw;
    }
    ::close(fds[1]);
    control_ = fds[0];
    if (readLine(control_, Clock::now() + timeout) != "ready") {
        end();
        std::ifstream in(outputFile);
        std::ostringstream log;
        log << in.rdbuf();
        ::close(control_);
        throw std::runtime_error("the fake StatusNotifier host did not start:\n" + log.str());
    }
}

FakeStatusNotifierHost::~FakeStatusNotifierHost() {
    end();
    ::close(control_);
}

void FakeStatusNotifierHost::end() {
    if (!process_.running()) return;
    process_.signal(SIGTERM);
    if (!process_.waitExit(milliseconds(3000))) {
        process_.signal(SIGKILL);
        process_.waitExit(milliseconds(3000));
    }
}

std::string FakeStatusNotifierHost::ask(const std::string& command) {
    const std::string line = command + "\n";
    if (::send(control_, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size()))
        throw std::runtime_error("the fake StatusNotifier host is gone");
    const auto reply = readLine(control_, Clock::now() + kReplyTimeout);
    if (!reply) throw std::runtime_error("the fake StatusNotifier host did not answer " + command);
    return *reply;
}

FakeStatusNotifierHost::Items FakeStatusNotifierHost::items() {
    std::istringstream in(ask("items"));
    Items n;
    in >> n.live >> n.registered;
    return n;
}

std::optional<FakeStatusNotifierHost::Item> FakeStatusNotifierHost::item() {
    const std::string reply = ask("item");
    if (!reply.starts_with("tip=")) return std::nullopt;
    return Item{field(reply, "tip"), field(reply, "menu"), field(reply, "sizes"), field(reply, "fill")};
}

bool FakeStatusNotifierHost::activate() { return ask("activate") == "ok"; }
bool FakeStatusNotifierHost::contextMenu() { return ask("context") == "ok"; }

}  // namespace dwellor::testsupport
