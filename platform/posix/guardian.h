#pragma once
#include <functional>
#include <memory>

namespace dwellor::posix {

// A small process that outlives this one just long enough to let go of a
// left press this one still holds when it dies in a way no code of its own
// survives (a crash, SIGKILL). It is told when a press is held and when it is
// released; when the socket between them closes (this process ended, however
// it ended), it runs what it was given, told whether a press is still held
// (it releases the left button through a connection of its own), then exits.
// Until then it sleeps in a blocking read and holds no connection.
class Guardian {
public:
    // Forks the guardian. The child runs on from a copy of this process, so
    // call it before any thread starts (before Qt); `atEnd` runs there, after
    // this process has ended. Null when it cannot be started.
    static std::unique_ptr<Guardian> start(std::function<void(bool pressHeld)> atEnd);
    // Closes the socket: the guardian exits, releasing a press still held.
    ~Guardian();
    Guardian(const Guardian&) = delete;
    Guardian& operator=(const Guardian&) = delete;

    // Never blocks and never raises SIGPIPE, also when the guardian is gone.
    void pressHeld(bool held);

    // Readable once the guardian has ended (it never writes): watch it to
    // notice that it is gone.
    int fd() const { return fd_; }
    // Whether the guardian has ended; reaps it when it has. Never blocks.
    bool gone();

private:
    Guardian(int fd, int pid) : fd_(fd), pid_(pid) {}
    int fd_;
    int pid_;
    bool reaped_ = false;
};

}  // namespace dwellor::posix
