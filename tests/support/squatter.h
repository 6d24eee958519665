#pragma once
// A name in the abstract socket namespace, which any local user may bind
// before Dwellor does. Header only: the Qt suite and the end-to-end suite
// both use it.

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <string>

namespace dwellor::testsupport {

inline socklen_t abstractAddress(const std::string& name, sockaddr_un& addr) {
    addr = {};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path + 1, name.data(), name.size());
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
}

// Holds `name`, bound in a process of its own running as `uid` (another
// user's needs root), listening or not, until it is destroyed.
class Squatter {
public:
    Squatter(const std::string& name, bool listening, uid_t uid) {
        int ends[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(ends[0]);
            sockaddr_un addr;
            const socklen_t len = abstractAddress(name, addr);
            const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
            const bool ok = (uid == geteuid() || setuid(uid) == 0) &&
                            bind(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0 && (!listening || listen(fd, 8) == 0);
            char c = ok ? '1' : '0';
            // Then holds on until the test closes its end.
            const bool told = write(ends[1], &c, 1) == 1;
            _exit(told && ok && read(ends[1], &c, 1) >= 0 ? 0 : 1);
        }
        close(ends[1]);
        hold_ = ends[0];
        char c = '0';
        holding_ = pid_ > 0 && read(hold_, &c, 1) == 1 && c == '1';
    }
    ~Squatter() {
        close(hold_);
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
    }
    Squatter(const Squatter&) = delete;
    Squatter& operator=(const Squatter&) = delete;

    bool holding() const { return holding_; }

private:
    pid_t pid_ = -1;
    int hold_ = -1;
    bool holding_ = false;
};

}  // namespace dwellor::testsupport
