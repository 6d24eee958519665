#include "tests/support/e2e.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <thread>

// Xlib last: its macros (None, Status, Bool...) clash with the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace dwellor::testsupport {

using namespace std::chrono_literals;


bool waitFor(const std::function<bool()>& done, milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (done()) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(5ms);
    }
}

bool holdsFor(const std::function<bool()>& ok, milliseconds span) {
    return !waitFor([&] { return !ok(); }, span);
}

// ---- WindowTree

namespace {

int ignoreXErrors(Display*, XErrorEvent*) { return 0; }

// Windows come and go while we look at them: a vanished window is not an error.
void installXErrorHandler() {
    static const bool done = [] {
        XSetErrorHandler(ignoreXErrors);
        return true;
    }();
    (void)done;
}

}  // namespace

struct WindowTree::Impl {
    Display* dpy = nullptr;
    Window root = 0;

    void walk(Window w, const std::function<void(Window)>& visit) {
        Window rootRet = 0, parentRet = 0, *children = nullptr;
        unsigned n = 0;
        if (!XQueryTree(dpy, w, &rootRet, &parentRet, &children, &n)) return;
        std::vector<Window> kids(children, children + n);
        if (children) XFree(children);
        for (Window k : kids) {
            visit(k);
            walk(k, visit);
        }
    }

    std::string resName(Window w) {
        XClassHint hint{};
        if (!XGetClassHint(dpy, w, &hint)) return {};
        std::string s = hint.res_name ? hint.res_name : "";
        if (hint.res_name) XFree(hint.res_name);
        if (hint.res_class) XFree(hint.res_class);
        return s;
    }

    // A property's items (of `format` bits each, as Xlib hands them out),
    // read with `type` (AnyPropertyType for any); nothing when it is absent.
    std::optional<std::vector<unsigned char>> property(Window w, Atom prop, Atom type, long items, int& format) {
        Atom got = 0;
        unsigned long n = 0, after = 0;
        unsigned char* data = nullptr;
        std::optional<std::vector<unsigned char>> out;
        if (XGetWindowProperty(dpy, w, prop, 0, items, False, type, &got, &format, &n, &after, &data) == Success &&
            got != 0 && data) {
            const std::size_t size = format == 32 ? sizeof(long) : static_cast<std::size_t>(format / 8);
            out.emplace(data, data + n * size);
        }
        if (data) XFree(data);
        return out;
    }

    bool hasProperty(Window w, Atom prop) {
        int format = 0;
        return property(w, prop, AnyPropertyType, 2, format).has_value();
    }
};

WindowTree::WindowTree(const std::string& display) : impl_(std::make_unique<Impl>()) {
    installXErrorHandler();
    impl_->dpy = XOpenDisplay(display.c_str());
    if (!impl_->dpy) throw std::runtime_error("cannot open display " + display);
    impl_->root = DefaultRootWindow(impl_->dpy);
}

WindowTree::~WindowTree() { XCloseDisplay(impl_->dpy); }

XWindow WindowTree::mainWindow() {
    Window found = 0;
    impl_->walk(impl_->root, [&](Window w) {
        if (!found && impl_->resName(w) == "dwellor" && title(w).starts_with("Dwellor -")) found = w;
    });
    return found;
}

std::vector<XWindow> WindowTree::trayIcons() {
    const Atom xembedInfo = XInternAtom(impl_->dpy, "_XEMBED_INFO", False);
    std::vector<XWindow> icons;
    impl_->walk(impl_->root, [&](Window w) {
        if (impl_->resName(w) == "dwellor" && viewable(w) && impl_->hasProperty(w, xembedInfo) &&
            parent(w) != impl_->root && !title(w).starts_with("Dwellor -"))
            icons.push_back(w);
    });
    return icons;
}

XWindow WindowTree::promptWindow() {
    Window found = 0;
    impl_->walk(impl_->root, [&](Window w) {
        if (!found && impl_->resName(w) == "dwellor" && title(w) == "Dwellor" && viewable(w)) found = w;
    });
    return found;
}

XWindow WindowTree::windowTitled(const std::string& t) {
    Window found = 0;
    impl_->walk(impl_->root, [&](Window w) {
        if (!found && impl_->resName(w) == "dwellor" && title(w) == t && viewable(w)) found = w;
    });
    return found;
}

std::vector<XWindow> WindowTree::unmanagedWindows() {
    std::vector<XWindow> found;
    impl_->walk(impl_->root, [&](Window w) {
        XWindowAttributes a;
        if (XGetWindowAttributes(impl_->dpy, w, &a) && a.map_state == IsViewable && a.override_redirect &&
            impl_->resName(w) == "dwellor")
            found.push_back(w);
    });
    return found;
}

Box WindowTree::rect(XWindow w) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(impl_->dpy, w, &a)) return {};
    const Spot o = origin(w);
    return {o.x, o.y, a.width, a.height};
}

std::string WindowTree::primarySelection() {
    Display* d = impl_->dpy;
    // The owner answers with a SelectionNotify to a window of ours.
    const Window to = XCreateSimpleWindow(d, impl_->root, 0, 0, 1, 1, 0, 0, 0);
    const Atom utf8 = XInternAtom(d, "UTF8_STRING", False), into = XInternAtom(d, "DWELLOR_TEST_SELECTION", False);
    XConvertSelection(d, XA_PRIMARY, utf8, into, to, CurrentTime);
    XFlush(d);
    std::string text;
    waitFor([&] {
        XEvent e;
        if (!XCheckTypedWindowEvent(d, to, SelectionNotify, &e)) return false;
        int format = 0;
        if (e.xselection.property != 0)
            if (const auto data = impl_->property(to, into, utf8, 1024, format)) text.assign(data->begin(), data->end());
        return true;
    }, 5s);
    XDestroyWindow(d, to);
    return text;
}

bool WindowTree::keptAbove(XWindow w) {
    const Atom above = XInternAtom(impl_->dpy, "_NET_WM_STATE_ABOVE", False);
    int format = 0;
    const auto data = impl_->property(w, XInternAtom(impl_->dpy, "_NET_WM_STATE", False), XA_ATOM, 64, format);
    if (!data || format != 32) return false;
    const auto* atoms = reinterpret_cast<const unsigned long*>(data->data());
    return std::find(atoms, atoms + data->size() / sizeof(long), above) != atoms + data->size() / sizeof(long);
}

XWindow WindowTree::root() const { return impl_->root; }

bool WindowTree::trayHostRunning() {
    const Atom sel = XInternAtom(impl_->dpy, "_NET_SYSTEM_TRAY_S0", False);
    return XGetSelectionOwner(impl_->dpy, sel) != 0;
}

bool WindowTree::viewable(XWindow w) {
    XWindowAttributes a;
    return XGetWindowAttributes(impl_->dpy, w, &a) && a.map_state == IsViewable;
}

std::string WindowTree::title(XWindow w) {
    const Atom netName = XInternAtom(impl_->dpy, "_NET_WM_NAME", False);
    int format = 0;
    const auto data = impl_->property(w, netName, XInternAtom(impl_->dpy, "UTF8_STRING", False), 256, format);
    return data ? std::string(data->begin(), data->end()) : std::string();
}

XWindow WindowTree::parent(XWindow w) {
    Window rootRet = 0, parentRet = 0, *children = nullptr;
    unsigned n = 0;
    if (!XQueryTree(impl_->dpy, w, &rootRet, &parentRet, &children, &n)) return 0;
    if (children) XFree(children);
    return parentRet;
}

long WindowTree::wmState(XWindow w) {
    const Atom wmState = XInternAtom(impl_->dpy, "WM_STATE", False);
    Atom type = 0;
    int format = 0;
    unsigned long n = 0, after = 0;
    unsigned char* data = nullptr;
    long state = 0;
    if (XGetWindowProperty(impl_->dpy, w, wmState, 0, 2, False, wmState, &type, &format, &n, &after, &data) ==
            Success &&
        data && format == 32 && n >= 1) {
        state = reinterpret_cast<long*>(data)[0];
    }
    if (data) XFree(data);
    return state;
}

Spot WindowTree::centre(XWindow w) {
    XWindowAttributes a;
    int x = 0, y = 0;
    Window child = 0;
    if (!XGetWindowAttributes(impl_->dpy, w, &a) ||
        !XTranslateCoordinates(impl_->dpy, w, impl_->root, 0, 0, &x, &y, &child))
        return {-1, -1};
    return {x + a.width / 2, y + a.height / 2};
}

Spot WindowTree::origin(XWindow w) {
    int x = 0, y = 0;
    Window child = 0;
    if (!XTranslateCoordinates(impl_->dpy, w, impl_->root, 0, 0, &x, &y, &child)) return {-1, -1};
    return {x, y};
}

XWindow WindowTree::focus() {
    Window w = 0;
    int revert = 0;
    XGetInputFocus(impl_->dpy, &w, &revert);
    return w;
}

// ---- Screenshots

namespace {
template <class F>
void forEach(const Shot& s, int x0, int y0, int w, int h, F f) {
    for (int y = y0; y < y0 + h && y < s.height; ++y)
        for (int x = x0; x < x0 + w && x < s.width; ++x) {
            const std::size_t i = (static_cast<std::size_t>(y) * s.width + x) * 3;
            f(s.rgb[i], s.rgb[i + 1], s.rgb[i + 2]);
        }
}
}  // namespace

int Shot::pureRed(int x0, int y0, int w, int h) const {
    int n = 0;
    forEach(*this, x0, y0, w, h, [&](int r, int g, int b) { n += r == 255 && g == 0 && b == 0; });
    return n;
}

int Shot::coloured(int x0, int y0, int w, int h) const {
    int n = 0;
    forEach(*this, x0, y0, w, h, [&](int r, int g, int b) { n += r != g || g != b; });
    return n;
}

Shot readPpm(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxval = 0;
    Shot s;
    in >> magic >> s.width >> s.height >> maxval;
    in.get();
    if (magic != "P6" || maxval != 255 || s.width <= 0 || s.height <= 0) return {};
    s.rgb.resize(static_cast<std::size_t>(s.width) * s.height * 3);
    in.read(reinterpret_cast<char*>(s.rgb.data()), static_cast<std::streamsize>(s.rgb.size()));
    if (!in) return {};
    return s;
}

bool isRed(const Shot& s, Box b) { return s.pureRed(b.x, b.y, b.w, b.h) >= 5; }
bool isColourless(const Shot& s, Box b) { return s.coloured(b.x, b.y, b.w, b.h) == 0; }

ButtonEvent at(unsigned button, bool press, Spot p) {
    return ButtonEvent::at(button, press, p.x, p.y, kProbeX, kProbeY);
}

int leftClicksAtRest(const std::vector<ButtonEvent>& events) {
    EXPECT_EQ(events.size() % 2, 0u);
    for (std::size_t i = 0; i < events.size(); ++i)
        EXPECT_EQ(events[i], at(1, i % 2 == 0, kRest)) << "event " << i;
    return static_cast<int>(events.size() / 2);
}

// ---- E2eTest

void E2eTest::SetUp() {
    char tmpl[] = "/tmp/dwellor-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    std::filesystem::create_directories(dir_ + "/home");
    std::filesystem::create_directories(dir_ + "/runtime");
    std::filesystem::permissions(dir_ + "/runtime", std::filesystem::perms::owner_all);

    server_ = std::make_unique<Xvfb>();
    pointer_ = std::make_unique<ServerPointer>(server_->display());
    probe_ = std::make_unique<ProbeWindow>(server_->display(), kProbeX, kProbeY, 400, 300);
    tree_ = std::make_unique<WindowTree>(server_->display());
    // The corner suspends clicking until a test puts the pointer somewhere.
    pointer_->warp(0, 0);
}

void E2eTest::TearDown() {
    if (HasFailure()) {
        for (const auto& name : {"dwellor.log", "helper.log", "twm.log"}) {
            const std::string log = readFile(dir_ + "/" + name);
            if (!log.empty()) std::cerr << "---- " << name << ":\n" << log;
        }
    }
    app_.reset();
    helper_.reset();
    wm_.reset();
    tree_.reset();
    probe_.reset();
    pointer_.reset();
    server_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

void E2eTest::writeSettings(const std::string& text) {
    std::filesystem::create_directories(dir_ + "/home/Dwellor");
    std::ofstream(settingsPath()) << text;
}

std::vector<std::string> E2eTest::appEnv() const {
    return {"DISPLAY=" + server_->display(), "HOME=" + dir_ + "/home", "XDG_CONFIG_HOME=" + dir_ + "/home",
            "XDG_RUNTIME_DIR=" + dir_ + "/runtime", "DBUS_SESSION_BUS_ADDRESS=" + busAddress_,
            "ASAN_OPTIONS=detect_leaks=0", "QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE",
            "SESSION_MANAGER"};
}

void E2eTest::startApp(const std::vector<std::string>& args, bool waitShown,
                       const std::vector<std::string>& extraEnv) {
    std::vector<std::string> argv = launcher_, env = appEnv();
    argv.push_back(DWELLOR_BINARY);
    argv.insert(argv.end(), args.begin(), args.end());
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    app_ = std::make_unique<ChildProcess>();
    app_->spawn(argv, env, dir_ + "/dwellor.log");
    if (!waitShown) return;
    ASSERT_TRUE(waitFor([&] {
        main_ = tree_->mainWindow();
        return main_ && tree_->viewable(main_);
    })) << "the window did not appear";
}

ExitStatus E2eTest::runToEnd(const std::vector<std::string>& args, std::string* output,
                             const std::vector<std::string>& extraEnv) {
    std::vector<std::string> argv = launcher_, env = appEnv();
    argv.push_back(DWELLOR_BINARY);
    argv.insert(argv.end(), args.begin(), args.end());
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    ChildProcess p;
    p.spawn(argv, env, dir_ + "/second.log");
    const auto st = p.waitExit(kPatience);
    if (output) *output = readFile(dir_ + "/second.log");
    return st ? *st : ExitStatus{};
}

void E2eTest::startHelper(const std::vector<std::string>& argv) {
    helper_ = std::make_unique<ChildProcess>();
    helper_->spawn(argv, {"DISPLAY=" + server_->display()}, dir_ + "/helper.log");
}

void E2eTest::startTrayer() {
    startHelper({"trayer", "--edge", "bottom", "--align", "right", "--widthtype", "pixel", "--width", "100",
                 "--height", "32", "--SetDockType", "false", "--SetPartialStrut", "false"});
    ASSERT_TRUE(waitFor([&] { return tree_->trayHostRunning(); })) << "trayer did not start";
}

void E2eTest::startWindowManager() {
    const std::string twmrc = dir_ + "/twmrc";
    std::ofstream(twmrc) << "TitleFont \"fixed\"\nResizeFont \"fixed\"\nMenuFont \"fixed\"\n"
                            "IconFont \"fixed\"\nIconManagerFont \"fixed\"\nRandomPlacement\nNoTitle\n";
    wm_ = std::make_unique<ChildProcess>();
    wm_->spawn({"twm", "-f", twmrc}, {"DISPLAY=" + server_->display()}, dir_ + "/twm.log");
}

void E2eTest::xdo(const std::vector<std::string>& args) {
    std::vector<std::string> argv{"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess p;
    p.spawn(argv, {"DISPLAY=" + server_->display()}, dir_ + "/xdotool.log");
    const auto st = p.waitExit(10s);
    ASSERT_TRUE(st && st->code == 0) << "xdotool failed: " << readFile(dir_ + "/xdotool.log");
}

void E2eTest::clickAndLeave(Spot at, Spot leave, const char* button) {
    xdo({"mousemove", std::to_string(at.x), std::to_string(at.y), "click", button, "mousemove",
         std::to_string(leave.x), std::to_string(leave.y)});
}

bool E2eTest::captionIs(const std::string& c) {
    return waitFor([&] { return caption() == c; });
}

void E2eTest::enableWithInterval(const std::string& ms) {
    xdo({"mousemove", std::to_string(kText1.x), std::to_string(kText1.y), "click", "1", "key", "ctrl+a", "type",
         ms});
    ASSERT_TRUE(captionIs("Dwellor - Disabled"));
    clickAndLeave(kToggle);
    ASSERT_TRUE(captionIs("Dwellor - Enabled"));
}

Shot E2eTest::screenshot() {
    ChildProcess p;
    const std::string path = dir_ + "/shot.ppm";
    p.spawn({"import", "-display", server_->display(), "-window", "root", "-crop", "188x193+0+0", "+repage",
             "-depth", "8", "ppm:" + path},
            {}, dir_ + "/import.log");
    const auto st = p.waitExit(10s);
    if (!st || st->code != 0) return {};
    return readPpm(path);
}

std::vector<ButtonEvent> E2eTest::clicksAtRest(std::size_t n, double& spanMs) {
    pointer_->warp(kRest.x, kRest.y);
    auto events = probe_->collect(2, kPatience);
    const auto first = Clock::now();
    for (const ButtonEvent& e : probe_->collect(2 * n - std::min(events.size(), 2 * n), kPatience))
        events.push_back(e);
    spanMs = std::chrono::duration<double, std::milli>(Clock::now() - first).count();
    if (events.size() > 2 * n) events.resize(2 * n);
    return events;
}

void E2eTest::expectClickingEvery(int periodMs) {
    double span = 0;
    const auto events = clicksAtRest(6, span);
    ASSERT_EQ(events.size(), 12u) << "the clicks stopped coming";
    EXPECT_EQ(leftClicksAtRest(events), 6);
    EXPECT_GE(span, 5 * periodMs * 0.8);
    EXPECT_LE(span, 5 * periodMs * 4.0);
}

}  // namespace dwellor::testsupport
