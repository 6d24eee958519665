#include "tests/support/xvfb.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace dwellor::testsupport {

namespace {

using Clock = std::chrono::steady_clock;

int msUntil(Clock::time_point deadline) {
    auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::max<decltype(left)>(left, 0));
}

Display* openDisplay(const std::string& name) {
    Display* dpy = XOpenDisplay(name.c_str());
    if (!dpy) throw std::runtime_error("cannot open display " + name);
    return dpy;
}

}  // namespace

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// ---- ChildProcess

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        reap(true);
    }
}

void ChildProcess::spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         const std::string& outputFile, int passFd) {
    if (pid_ > 0) throw std::logic_error("ChildProcess: a child is already running");
    if (argv.empty()) throw std::invalid_argument("ChildProcess: empty argv");

    // Everything is prepared before fork: the child only redirects and execs.
    std::vector<std::string> vars;
    for (char** e = environ; *e; ++e) vars.emplace_back(*e);
    for (const std::string& change : env) {
        const auto eq = change.find('=');
        const std::string prefix = change.substr(0, eq) + "=";
        std::erase_if(vars, [&](const std::string& v) { return v.starts_with(prefix); });
        if (eq != std::string::npos) vars.push_back(change);
    }
    std::vector<char*> args, envp;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const std::string& v : vars) envp.push_back(const_cast<char*>(v.c_str()));
    envp.push_back(nullptr);

    int outFd = -1;
    if (!outputFile.empty()) {
        outFd = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (outFd < 0) throw std::runtime_error("cannot create " + outputFile);
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        if (outFd >= 0) ::close(outFd);
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(127);  // the parent is already gone
        if (outFd >= 0) {
            ::dup2(outFd, STDOUT_FILENO);
            ::dup2(outFd, STDERR_FILENO);
        }
        if (passFd >= 0) ::fcntl(passFd, F_SETFD, ::fcntl(passFd, F_GETFD) & ~FD_CLOEXEC);
        std::signal(SIGPIPE, SIG_DFL);  // an ignored signal would survive exec
        ::execvpe(args[0], args.data(), envp.data());
        ::_exit(127);
    }
    if (outFd >= 0) ::close(outFd);
    pid_ = pid;
    status_.reset();
}

bool ChildProcess::reap(bool block) {
    int st = 0;
    pid_t r;
    do {
        r = ::waitpid(pid_, &st, block ? 0 : WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == 0) return false;
    ExitStatus s;
    if (r == pid_ && WIFEXITED(st)) s.code = WEXITSTATUS(st);
    if (r == pid_ && WIFSIGNALED(st)) s.signal = WTERMSIG(st);
    status_ = s;
    pid_ = -1;
    return true;
}

bool ChildProcess::running() { return pid_ > 0 && !reap(false); }

bool ChildProcess::signal(int sig) { return pid_ > 0 && ::kill(pid_, sig) == 0; }

std::optional<ExitStatus> ChildProcess::waitExit(milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (pid_ > 0 && !reap(false)) {
        if (Clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::min<Clock::duration>(milliseconds(2), deadline - Clock::now()));
    }
    return status_;
}

namespace {

// The state letter and the parent in /proc/PID/stat; false when there is no such process.
bool readStat(const std::string& pidText, char& state, pid_t& parent) {
    const std::string stat = readFile("/proc/" + pidText + "/stat");
    // The name in parentheses may hold anything, so parse after its end.
    const auto close = stat.rfind(')');
    if (close == std::string::npos) return false;
    std::istringstream rest(stat.substr(close + 1));
    return static_cast<bool>(rest >> state >> parent);
}

}  // namespace

std::vector<pid_t> childrenOf(pid_t pid) {
    std::vector<pid_t> children;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        char state = 0;
        pid_t parent = 0;
        if (readStat(name, state, parent) && parent == pid) children.push_back(std::stoi(name));
    }
    return children;
}

char processState(pid_t pid) {
    char state = 0;
    pid_t parent = 0;
    return readStat(std::to_string(pid), state, parent) ? state : 0;
}

bool processEnded(pid_t pid) {
    const char state = processState(pid);
    return state == 0 || state == 'Z' || state == 'X';
}


// ---- Servers that report when they are ready

std::string startServer(ChildProcess& server, const std::function<std::vector<std::string>(int fd)>& argvFor,
                        std::string& logPath, milliseconds timeout) {
    char logTemplate[] = "/tmp/dwellor-server-XXXXXX";
    const int logFd = ::mkstemp(logTemplate);
    if (logFd < 0) throw std::runtime_error("cannot create a server log file");
    ::close(logFd);
    logPath = logTemplate;

    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) {
        ::unlink(logPath.c_str());
        throw std::runtime_error("pipe failed");
    }
    const std::vector<std::string> argv = argvFor(ready[1]);
    try {
        server.spawn(argv, {}, logPath, ready[1]);
    } catch (...) {
        ::close(ready[0]);
        ::close(ready[1]);
        ::unlink(logPath.c_str());
        throw;
    }
    ::close(ready[1]);

    // End of file before the newline means the server gave up.
    std::string line;
    const auto deadline = Clock::now() + timeout;
    bool done = false;
    while (!done) {
        pollfd p{ready[0], POLLIN, 0};
        if (::poll(&p, 1, msUntil(deadline)) <= 0) break;
        char buf[256];
        const ssize_t n = ::read(ready[0], buf, sizeof buf);
        if (n <= 0) break;
        line.append(buf, static_cast<std::size_t>(n));
        done = line.find('\n') != std::string::npos;
    }
    ::close(ready[0]);
    if (!done) {
        server.signal(SIGKILL);
        server.waitExit(milliseconds(2000));
        const std::string log = readFile(logPath);
        ::unlink(logPath.c_str());
        throw std::runtime_error(argv[0] + " did not start:\n" + log);
    }
    return line.substr(0, line.find('\n'));
}

void stopServer(ChildProcess& server, const std::string& logPath) {
    // SIGTERM lets a server remove its sockets and lock files.
    server.signal(SIGTERM);
    if (!server.waitExit(milliseconds(3000))) {
        server.signal(SIGKILL);
        server.waitExit(milliseconds(3000));
    }
    if (!logPath.empty()) ::unlink(logPath.c_str());
}

// ---- Xvfb

Xvfb::Xvfb(const std::vector<std::string>& extraArgs, milliseconds timeout) {
    // The server writes its display number once it accepts connections.
    const std::string number = startServer(
        server_,
        [&](int fd) {
            std::vector<std::string> args = {"Xvfb", "-displayfd", std::to_string(fd), "-screen", "0",
                                             "1280x1024x24", "-nolisten", "tcp", "-noreset"};
            args.insert(args.end(), extraArgs.begin(), extraArgs.end());
            return args;
        },
        logPath_, timeout);
    display_.push_back(':');  // not `= ":"`: GCC 12 at -O3 warns falsely (-Wrestrict)
    display_.append(number);
}

Xvfb::~Xvfb() { stopServer(server_, logPath_); }

void Xvfb::exportDisplay() const { ::setenv("DISPLAY", display_.c_str(), 1); }

// ---- ServerPointer

struct ServerPointer::Impl {
    Display* dpy = nullptr;
    Window root(int screen) const {
        if (screen < 0 || screen >= ScreenCount(dpy)) throw std::out_of_range("no such screen");
        return RootWindow(dpy, screen);
    }
};

ServerPointer::ServerPointer(const std::string& display) : impl_(std::make_unique<Impl>()) {
    impl_->dpy = openDisplay(display);
}

ServerPointer::~ServerPointer() { XCloseDisplay(impl_->dpy); }

PointerState ServerPointer::query(int screen) {
    Window root = 0, child = 0;
    int winX = 0, winY = 0;
    PointerState s;
    s.sameScreen = XQueryPointer(impl_->dpy, impl_->root(screen), &root, &child, &s.x, &s.y, &winX,
                                 &winY, &s.mask);
    return s;
}

void ServerPointer::warp(int x, int y, int screen) {
    XWarpPointer(impl_->dpy, None, impl_->root(screen), 0, 0, 0, 0, x, y);
    XSync(impl_->dpy, False);
}

void ServerPointer::move(int x, int y) {
    XTestFakeMotionEvent(impl_->dpy, -1, x, y, CurrentTime);
    XSync(impl_->dpy, False);
}

// ---- ProbeWindow

struct ProbeWindow::Impl {
    Display* dpy = nullptr;
    Window win = 0;
};

ProbeWindow::ProbeWindow(const std::string& display, int x, int y, unsigned width, unsigned height)
    : impl_(std::make_unique<Impl>()) {
    Display* dpy = impl_->dpy = openDisplay(display);
    XSetWindowAttributes attrs;
    // Placed exactly where asked, whatever window manager runs.
    attrs.override_redirect = True;
    attrs.event_mask = ButtonPressMask | ButtonReleaseMask;
    attrs.background_pixel = WhitePixel(dpy, DefaultScreen(dpy));
    impl_->win = XCreateWindow(dpy, DefaultRootWindow(dpy), x, y, width, height, 0, CopyFromParent,
                               InputOutput, CopyFromParent,
                               CWOverrideRedirect | CWEventMask | CWBackPixel, &attrs);
    XMapRaised(dpy, impl_->win);
    XSync(dpy, False);
    XWindowAttributes got;
    if (!XGetWindowAttributes(dpy, impl_->win, &got) || got.map_state != IsViewable) {
        XCloseDisplay(dpy);
        throw std::runtime_error("the probe window did not map");
    }
}

ProbeWindow::~ProbeWindow() {
    XDestroyWindow(impl_->dpy, impl_->win);
    XCloseDisplay(impl_->dpy);
}

unsigned long ProbeWindow::id() const { return impl_->win; }

std::vector<ButtonEvent> ProbeWindow::collect(std::size_t count, milliseconds timeout) {
    Display* dpy = impl_->dpy;
    // The sync's reply follows every event already generated for us.
    XSync(dpy, False);
    std::vector<ButtonEvent> out;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        while (XPending(dpy)) {
            XEvent ev;
            XNextEvent(dpy, &ev);
            if ((ev.type != ButtonPress && ev.type != ButtonRelease) || ev.xbutton.window != impl_->win)
                continue;
            const XButtonEvent& b = ev.xbutton;
            ButtonEvent e;
            e.button = b.button;
            e.press = ev.type == ButtonPress;
            e.rootX = b.x_root;
            e.rootY = b.y_root;
            e.x = b.x;
            e.y = b.y;
            out.push_back(e);
        }
        if (out.size() >= count || Clock::now() >= deadline) break;
        pollfd p{ConnectionNumber(dpy), POLLIN, 0};
        ::poll(&p, 1, msUntil(deadline));
    }
    return out;
}

bool ProbeWindow::grabPointer() {
    const bool grabbed = XGrabPointer(impl_->dpy, impl_->win, False, ButtonPressMask | ButtonReleaseMask,
                                      GrabModeAsync, GrabModeAsync, None, None, CurrentTime) == GrabSuccess;
    XSync(impl_->dpy, False);
    return grabbed;
}

}  // namespace dwellor::testsupport
