#include "platform/wlroots/hyprland_cursor.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <charconv>
#include <cstring>

namespace dwellor::wlroots {

namespace {

// Hyprland answers while its whole desktop waits: never long.
constexpr int kAnswerMs = 200;

bool isSocket(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

}  // namespace

std::unique_ptr<HyprlandCursor> HyprlandCursor::open(const char* signature, const char* runtimeDir) {
    if (!signature || !*signature || std::strchr(signature, '/')) return nullptr;
    for (const std::string& base : {std::string(runtimeDir && *runtimeDir ? runtimeDir : "/nonexistent") + "/hypr/",
                                   std::string("/tmp/hypr/")}) {
        const std::string path = base + signature + "/.socket.sock";
        if (isSocket(path)) return std::make_unique<HyprlandCursor>(path);
    }
    return nullptr;
}

bool HyprlandCursor::parse(const std::string& reply, Point& pos) {
    const char* p = reply.data();
    const char* end = p + reply.size();
    Point at;
    auto r = std::from_chars(p, end, at.x);
    if (r.ec != std::errc() || r.ptr + 2 > end || r.ptr[0] != ',' || r.ptr[1] != ' ') return false;
    r = std::from_chars(r.ptr + 2, end, at.y);
    if (r.ec != std::errc() || (r.ptr != end && *r.ptr != '\n')) return false;
    pos = at;
    return true;
}

bool HyprlandCursor::read(Point& pos) const {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path_.size() >= sizeof addr.sun_path) return false;
    std::memcpy(addr.sun_path, path_.c_str(), path_.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    std::string reply;
    static constexpr char kAsk[] = "cursorpos";
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        send(fd, kAsk, sizeof kAsk - 1, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof kAsk - 1)) {
        // It answers and closes.
        for (;;) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, kAnswerMs) <= 0) break;
            char buf[64];
            const ssize_t n = recv(fd, buf, sizeof buf, 0);
            if (n <= 0 || reply.size() > 256) break;
            reply.append(buf, static_cast<std::size_t>(n));
        }
    }
    close(fd);
    return parse(reply, pos);
}

}  // namespace dwellor::wlroots
