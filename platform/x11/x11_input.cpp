#include "platform/x11/x11_input.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/posix/guardian.h"

namespace dwellor::x11 {

struct X11Input::Impl {
    Display* dpy = nullptr;
    Window root = 0;
    std::function<std::vector<OwnWindow>()> own;
    // The root's child under the pointer at the last reading, and where.
    Window underPointer = 0;
    Point at;
    // The last judgement, kept while the pointer rests on the same spot of
    // the same window and the own windows are the same.
    struct Judged {
        Window under = 0;
        Point at;
        std::vector<unsigned long> own;
        bool result = false;
    };
    Judged judged;

    Window topLevelOf(Window w);
    bool within(Window w, Point p);
    bool overOwn();
    bool leftHeld = false;
    std::unique_ptr<posix::Guardian> guardian;

    // XInput's major opcode once it is known to be usable, 0 when it is not,
    // -1 before it is asked for (once: a connection may announce its
    // version only once).
    int xiOpcode = -1;
    bool xiUsable();
    bool watching = false;
    Handler moved;
};

namespace {

X11Input* guarded = nullptr;

// Windows come and go while they are looked at: a BadWindow (or BadDrawable,
// BadMatch) then only means "not ours". Without a handler of its own, Xlib's
// default ends the process wherever Qt has not put one in place.
class ErrorTrap {
public:
    ErrorTrap() : previous_(XSetErrorHandler(&note)) { failed_ = false; }
    ~ErrorTrap() { XSetErrorHandler(previous_); }
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;
    // The calls in its scope all wait for their replies, so any error they
    // caused has arrived by the time they return.
    static bool failed() { return failed_; }

private:
    static int note(Display*, XErrorEvent*) {
        failed_ = true;
        return 0;
    }
    static inline bool failed_ = false;
    XErrorHandler previous_;
};

// Run by the guardian once Dwellor has ended. The connection is opened only
// then: while Dwellor runs the guardian costs the server nothing.
void releaseLeftOn(const std::string& display, bool held) {
    if (!held) return;
    // The server went away, and the press with it.
    XSetIOErrorHandler([](Display*) -> int { _exit(0); });
    Display* dpy = XOpenDisplay(display.c_str());
    if (!dpy) return;
    // Releasing a button that is already up does nothing.
    XTestFakeButtonEvent(dpy, 1, False, CurrentTime);
    XCloseDisplay(dpy);  // flushes and waits for the server
}

void releaseAtExit() {
    if (guarded) guarded->releaseHeldLeft();
}

}  // namespace

// The root's child that holds `w`: the window itself, or a window manager's
// frame or a tray around it. 0 when it cannot be told.
Window X11Input::Impl::topLevelOf(Window w) {
    const ErrorTrap trap;
    for (int depth = 0; depth < 16 && w; ++depth) {
        Window rootRet = 0, parent = 0, *children = nullptr;
        unsigned n = 0;
        if (!XQueryTree(dpy, w, &rootRet, &parent, &children, &n) || ErrorTrap::failed()) return 0;
        if (children) XFree(children);
        if (parent == root) return w;
        w = parent;
    }
    return 0;
}

bool X11Input::Impl::within(Window w, Point p) {
    const ErrorTrap trap;
    XWindowAttributes a{};
    Window child = 0;
    int x = 0, y = 0;
    if (!XGetWindowAttributes(dpy, w, &a) || a.map_state != IsViewable ||
        !XTranslateCoordinates(dpy, w, root, 0, 0, &x, &y, &child) || ErrorTrap::failed())
        return false;
    return p.x >= x && p.y >= y && p.x < x + a.width && p.y < y + a.height;
}

bool X11Input::Impl::overOwn() {
    if (underPointer == 0 || !own) return false;
    std::vector<OwnWindow> windows = own();
    std::vector<unsigned long> ids;
    for (const OwnWindow& w : windows) ids.push_back(w.id);
    if (judged.under == underPointer && judged.at == at && judged.own == ids) return judged.result;
    bool result = false;
    for (const OwnWindow& w : windows) {
        if (w.id == 0 || topLevelOf(w.id) != underPointer) continue;
        if (w.withFrame || within(w.id, at)) {
            result = true;
            break;
        }
    }
    judged = {underPointer, at, std::move(ids), result};
    return result;
}

bool X11Input::Impl::xiUsable() {
    if (xiOpcode >= 0) return xiOpcode > 0;
    xiOpcode = 0;
    int opcode = 0, event = 0, error = 0;
    if (!XQueryExtension(dpy, "XInputExtension", &opcode, &event, &error)) return false;
    // Before 2.1 raw events stop while another client grabs the pointer (an
    // open menu, a drag), which would look like a rest.
    int major = 2, minor = 2;
    const ErrorTrap trap;
    if (XIQueryVersion(dpy, &major, &minor) != Success || ErrorTrap::failed()) return false;
    if (major > 2 || (major == 2 && minor >= 1)) xiOpcode = opcode;
    return xiOpcode > 0;
}

bool X11Input::watchMotion(bool on) {
    if (on == impl_->watching) return on;
    if (on && !impl_->xiUsable()) return false;
    // On the root window raw events come wherever the pointer is, and only
    // while selected: a Dwellor not watching is not woken.
    unsigned char bits[XIMaskLen(XI_RawMotion)] = {};
    if (on) XISetMask(bits, XI_RawMotion);
    XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
    const ErrorTrap trap;
    XISelectEvents(impl_->dpy, impl_->root, &mask, 1);
    // Every move after this returns is told.
    XSync(impl_->dpy, False);
    impl_->watching = on && !ErrorTrap::failed();
    return impl_->watching;
}

void X11Input::onMoved(Handler moved) { impl_->moved = std::move(moved); }

int X11Input::connectionFd() const { return ConnectionNumber(impl_->dpy); }

void X11Input::pumpEvents() {
    // Reading a connection the server closed would end in Xlib's fatal I/O
    // error handler: the program ends as it did before motion was watched.
    if (!connectionAlive()) return;
    // Only what has arrived by now: motion that comes meanwhile makes the
    // descriptor readable again, so a mover cannot keep this going.
    bool moved = false;
    for (int n = XPending(impl_->dpy); n > 0; --n) {
        XEvent e;
        XNextEvent(impl_->dpy, &e);
        // The evtype is in the cookie itself; its data is never wanted.
        moved = moved || (e.type == GenericEvent && e.xcookie.extension == impl_->xiOpcode &&
                          e.xcookie.evtype == XI_RawMotion);
    }
    if (moved && impl_->watching && impl_->moved) impl_->moved();
}

void X11Input::setOwnWindows(std::function<std::vector<OwnWindow>()> list) {
    impl_->own = std::move(list);
    impl_->judged = {};
}

bool X11Input::overOwnWindow() const { return impl_->overOwn(); }

X11Input::X11Input(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

X11Input::~X11Input() {
    if (guarded == this) guarded = nullptr;
    if (impl_ && impl_->dpy) XCloseDisplay(impl_->dpy);
}

std::unique_ptr<X11Input> X11Input::open(const char* displayName, std::string& error) {
    const char* missing = "Dwellor needs an X11 display with the XTEST extension";
    Display* dpy = XOpenDisplay(displayName);
    if (!dpy) {
        error = std::string(missing) + ": cannot open display";
        return nullptr;
    }
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(dpy, &eventBase, &errorBase, &major, &minor)) {
        XCloseDisplay(dpy);
        error = std::string(missing) + ": the display has no XTEST";
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->dpy = dpy;
    impl->root = DefaultRootWindow(dpy);
    return std::unique_ptr<X11Input>(new X11Input(std::move(impl)));
}

bool X11Input::isXWayland() const {
    int opcode = 0, event = 0, error = 0;
    return XQueryExtension(impl_->dpy, "XWAYLAND", &opcode, &event, &error);
}

bool X11Input::GetCursorPos(Point& pos) {
    Window root = 0, child = 0;
    int rootX = 0, rootY = 0, winX = 0, winY = 0;
    unsigned int mask = 0;
    if (!XQueryPointer(impl_->dpy, impl_->root, &root, &child, &rootX, &rootY, &winX, &winY, &mask))
        return false;
    pos = {rootX, rootY};
    impl_->underPointer = child;
    impl_->at = pos;
    return true;
}

void X11Input::mouse_event(std::uint32_t flags, std::int32_t, std::int32_t, std::int32_t, std::uintptr_t) {
    struct Step {
        std::uint32_t flag;
        unsigned button;
        Bool press;
    };
    static constexpr Step steps[] = {
        {MOUSEEVENTF_LEFTDOWN, 1, True},
        {MOUSEEVENTF_LEFTUP, 1, False},
        {MOUSEEVENTF_RIGHTDOWN, 3, True},
        {MOUSEEVENTF_RIGHTUP, 3, False},
    };
    bool leftHeld = impl_->leftHeld;
    for (const Step& s : steps) {
        if ((flags & s.flag) && s.button == 1) leftHeld = s.press;
    }
    // The guardian hears of a press before the server gets it, and of a
    // release only once the server has it: requests a client leaves unread
    // when it dies are dropped, so a release merely flushed can be lost.
    // Events sent in one flush reach the server together, so a whole click
    // needs no word.
    posix::Guardian* guardian = impl_->guardian.get();
    if (guardian && leftHeld && !impl_->leftHeld) guardian->pressHeld(true);
    for (const Step& s : steps) {
        if (flags & s.flag) XTestFakeButtonEvent(impl_->dpy, s.button, s.press, CurrentTime);
    }
    if (!leftHeld && impl_->leftHeld) {
        XSync(impl_->dpy, False);
        if (guardian) guardian->pressHeld(false);
    } else {
        XFlush(impl_->dpy);
    }
    impl_->leftHeld = leftHeld;
}

void X11Input::guardHeldPress() {
    if (!impl_->guardian) impl_->guardian =
            posix::Guardian::start([display = std::string(DisplayString(impl_->dpy))](bool held) { releaseLeftOn(display, held); });
    static const bool registered = std::atexit(releaseAtExit) == 0;
    (void)registered;
    guarded = this;
}

int X11Input::guardianFd() const { return impl_->guardian ? impl_->guardian->fd() : -1; }

bool X11Input::guardianGone() {
    if (!impl_->guardian || !impl_->guardian->gone()) return false;
    impl_->guardian.reset();
    return true;
}

void X11Input::releaseHeldLeft() {
    // Writing to a connection the server closed would end in Xlib's fatal
    // I/O error handler.
    if (!impl_->leftHeld || !connectionAlive()) return;
    // Returns once the server has the release.
    mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
}

bool X11Input::connectionAlive() const {
    char c;
    const ssize_t n = recv(ConnectionNumber(impl_->dpy), &c, 1, MSG_PEEK | MSG_DONTWAIT);
    return n > 0 || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
}

bool X11Input::guardedConnectionAlive() { return guarded && guarded->connectionAlive(); }

}  // namespace dwellor::x11
