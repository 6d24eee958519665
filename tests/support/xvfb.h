#pragma once
// Helpers for tests that need a real X server: child processes, a private
// Xvfb, a window that records the button events it receives, and a look at
// the server's pointer.
//
// No Xlib types in here: this header is also included next to Qt headers,
// which Xlib's macros break.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <sys/types.h>

namespace dwellor::testsupport {

using std::chrono::milliseconds;

// The whole file, or nothing when it cannot be read.
std::string readFile(const std::string& path);

struct ExitStatus {
    int code = -1;   // the exit code, or -1 when a signal ended the process
    int signal = 0;  // the signal that ended it, or 0
    friend bool operator==(const ExitStatus&, const ExitStatus&) = default;
    friend std::ostream& operator<<(std::ostream& os, const ExitStatus& s) {
        return s.signal ? os << "killed by signal " << s.signal : os << "exit code " << s.code;
    }
};

class ChildProcess {
public:
    ChildProcess() = default;
    // A child still running is killed and reaped.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts argv[0] (looked up in PATH) with this process's environment
    // changed by `env`: "NAME=value" sets a variable, a bare "NAME" removes
    // it. Standard output and error go to `outputFile` when one is given
    // (created or truncated). `passFd` stays open in the child. The child gets
    // SIGTERM if the calling thread dies first, so a crashed test leaves no
    // server behind. Throws std::runtime_error when no process can be created;
    // a program that cannot be executed exits with 127.
    void spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
               const std::string& outputFile = {}, int passFd = -1);

    pid_t pid() const { return pid_; }
    // Whether a child was started and has not yet been seen to exit.
    bool running();
    // Sends `sig` to a child not yet reaped; false when there is none.
    bool signal(int sig);
    // Waits up to `timeout` for the child to exit and reaps it. Null when it
    // is still running (or none was started); once reaped, the status is kept.
    std::optional<ExitStatus> waitExit(milliseconds timeout);

private:
    bool reap(bool block);

    pid_t pid_ = -1;
    std::optional<ExitStatus> status_;
};

// The processes whose parent is `pid`, from /proc.
std::vector<pid_t> childrenOf(pid_t pid);
// The state letter of `pid` (R, S, T, Z...), as /proc shows it; 0 when there
// is no such process.
char processState(pid_t pid);
// Whether `pid` has ended; a zombie counts as ended, since its parent may be
// one that never reaps.
bool processEnded(pid_t pid);

// Starts a server that, once it accepts connections, writes one line to a
// descriptor it inherits (Xvfb -displayfd, dbus-daemon --print-address=FD);
// `argvFor` makes its command line from that descriptor's number. Its output
// goes to a new temporary file whose path is stored in `logPath`. Returns the
// line without its newline. Throws std::runtime_error, with the server's
// output, when it exits or `timeout` passes first; the file is gone then.
std::string startServer(ChildProcess& server, const std::function<std::vector<std::string>(int fd)>& argvFor,
                        std::string& logPath, milliseconds timeout);
// Ends a server started so (SIGTERM, then SIGKILL) and removes its log file.
void stopServer(ChildProcess& server, const std::string& logPath);

// A private Xvfb on a display number the server picks itself (-displayfd),
// with one 1280x1024x24 screen, no TCP and no reset when the last client
// leaves. Stopped when destroyed.
class Xvfb {
public:
    // Returns once the server accepts connections. `extraArgs` follow the
    // defaults (e.g. {"-extension", "XTEST"} to run without XTEST). Throws
    // std::runtime_error, with the server's output, when it does not come up.
    explicit Xvfb(const std::vector<std::string>& extraArgs = {},
                  milliseconds timeout = milliseconds(10000));
    ~Xvfb();
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;

    // ":N"
    const std::string& display() const { return display_; }
    // Sets DISPLAY in this process's environment to this server.
    void exportDisplay() const;

private:
    ChildProcess server_;
    std::string display_;
    std::string logPath_;
};

struct PointerState {
    int x = 0, y = 0;         // on the root window of the screen queried
    unsigned mask = 0;        // buttons and modifiers, as XQueryPointer reports them
    bool sameScreen = true;   // false when the pointer is on another screen
    bool buttonDown(unsigned button) const { return mask & (1u << (7 + button)); }
};

// A connection of its own for looking at the server's pointer and moving it.
class ServerPointer {
public:
    // Throws std::runtime_error when the display cannot be opened.
    explicit ServerPointer(const std::string& display);
    ~ServerPointer();
    ServerPointer(const ServerPointer&) = delete;
    ServerPointer& operator=(const ServerPointer&) = delete;

    PointerState query(int screen = 0);
    // Returns once the server has moved the pointer.
    void warp(int x, int y, int screen = 0);
    // The same as a device would move it, through XTEST: the server makes
    // raw motion of it, which it does not for a warp.
    void move(int x, int y);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

struct ButtonEvent {
    unsigned button = 0;
    bool press = false;
    int rootX = 0, rootY = 0;  // on the screen
    int x = 0, y = 0;          // in the window
    friend bool operator==(const ButtonEvent&, const ButtonEvent&) = default;
    // An event at a point on the screen, seen by a window whose corner is at `origin`.
    static ButtonEvent at(unsigned button, bool press, int rootX, int rootY, int originX, int originY) {
        ButtonEvent e;
        e.button = button;
        e.press = press;
        e.rootX = rootX;
        e.rootY = rootY;
        e.x = rootX - originX;
        e.y = rootY - originY;
        return e;
    }
    friend std::ostream& operator<<(std::ostream& os, const ButtonEvent& e) {
        return os << "button " << e.button << (e.press ? " press" : " release") << " at root ("
                  << e.rootX << ", " << e.rootY << ") window (" << e.x << ", " << e.y << ")";
    }
};

// An undecorated window that receives the button presses and releases made
// over it.
class ProbeWindow {
public:
    // Maps the window at (x, y) on the screen and returns once it is
    // viewable. Throws std::runtime_error on failure.
    ProbeWindow(const std::string& display, int x, int y, unsigned width, unsigned height);
    ~ProbeWindow();
    ProbeWindow(const ProbeWindow&) = delete;
    ProbeWindow& operator=(const ProbeWindow&) = delete;

    unsigned long id() const;
    // Grabs the pointer for this window, as an open menu does; false when
    // the server refuses.
    bool grabPointer();
    // Every button event received since the last call. Includes all events
    // the server generated before this call started; then waits, up to
    // `timeout`, until at least `count` have been gathered.
    std::vector<ButtonEvent> collect(std::size_t count = 0, milliseconds timeout = milliseconds(0));

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace dwellor::testsupport
