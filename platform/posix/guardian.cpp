#include "platform/posix/guardian.h"

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace dwellor::posix {

namespace {

constexpr char kHeld = 'P', kReleased = 'R';

[[noreturn]] void guard(int fd, const std::function<void(bool)>& atEnd) {
    // Not "dwellor": `pkill -9 dwellor` must leave the guardian to do its work.
    prctl(PR_SET_NAME, "Dwellor-guard");
    // Out of Dwellor's process group and terminal: keys typed there and
    // signals sent to the group must not end the guardian before Dwellor.
    setsid();
    signal(SIGPIPE, SIG_IGN);
    [[maybe_unused]] int ignored = chdir("/");
    // Inherited descriptors, Dwellor's display connection among them, would stay
    // open after Dwellor ends.
    if (fd > 3) close_range(3, fd - 1, 0);
    close_range(fd + 1, ~0U, 0);

    bool held = false;
    for (;;) {
        char buf[64];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0) {
            held = buf[n - 1] == kHeld;
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    atEnd(held);
    // Not exit(): the handlers registered before the fork are Dwellor's.
    _exit(0);
}

}  // namespace

std::unique_ptr<Guardian> Guardian::start(std::function<void(bool)> atEnd) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return nullptr;
    const pid_t pid = fork();
    if (pid < 0) {
        close(ends[0]);
        close(ends[1]);
        return nullptr;
    }
    if (pid == 0) {
        close(ends[0]);
        guard(ends[1], atEnd);
    }
    close(ends[1]);
    return std::unique_ptr<Guardian>(new Guardian(ends[0], pid));
}

Guardian::~Guardian() {
    close(fd_);
    // It exits at once now; if it has already, it is not left a zombie.
    if (!reaped_) waitpid(pid_, nullptr, WNOHANG);
}

bool Guardian::gone() {
    if (reaped_) return true;
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, 0) <= 0) return false;
    // The socket reads as closed a moment before the process can be reaped.
    for (int i = 0; i < 100 && waitpid(pid_, nullptr, WNOHANG) == 0; ++i) usleep(1000);
    reaped_ = true;
    return true;
}

void Guardian::pressHeld(bool held) {
    const char c = held ? kHeld : kReleased;
    // The guardian reads at once; a full buffer would mean it is stopped.
    [[maybe_unused]] auto n = send(fd_, &c, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
}

}  // namespace dwellor::posix
