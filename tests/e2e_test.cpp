// The program as a user meets it: the real binary on a private Xvfb, driven
// with xdotool, watched through a probe window, the server's pointer, the
// window tree and screenshots.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/xvfb.h"

// Xlib last: its macros (None, Status, Bool...) clash with the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

using dwellor::testsupport::ButtonEvent;
using dwellor::testsupport::ChildProcess;
using dwellor::testsupport::childrenOf;
using dwellor::testsupport::ExitStatus;
using dwellor::testsupport::ProbeWindow;
using dwellor::testsupport::processEnded;
using dwellor::testsupport::processState;
using dwellor::testsupport::ServerPointer;
using dwellor::testsupport::Xvfb;
using std::chrono::milliseconds;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

// Where the controls are, in the window (the window maps at (0, 0) with no
// window manager).
struct Spot {
    int x, y;
};
constexpr Spot kHide{29, 20}, kToggle{93, 20}, kExit{157, 20}, kText1{100, 89}, kLabel6{125, 168};

// The probe takes the injected clicks; it is clear of the window and the tray.
constexpr int kProbeX = 400, kProbeY = 300;
constexpr Spot kRest{600, 450};

constexpr milliseconds kPatience = 8000ms;  // generous: the program runs under the sanitizers

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Polls `done` until it holds or `timeout` passes; returns its last value.
bool waitFor(const std::function<bool()>& done, milliseconds timeout = kPatience) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (done()) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(5ms);
    }
}

int ignoreXErrors(Display*, XErrorEvent*) { return 0; }

// Windows come and go while we look at them: a vanished window is not an error.
void installXErrorHandler() {
    static const bool done = [] {
        XSetErrorHandler(ignoreXErrors);
        return true;
    }();
    (void)done;
}

// A look at the server's window tree.
class WindowTree {
public:
    explicit WindowTree(const std::string& display) {
        installXErrorHandler();
        dpy_ = XOpenDisplay(display.c_str());
        if (!dpy_) throw std::runtime_error("cannot open display " + display);
        root_ = DefaultRootWindow(dpy_);
    }
    ~WindowTree() { XCloseDisplay(dpy_); }
    WindowTree(const WindowTree&) = delete;
    WindowTree& operator=(const WindowTree&) = delete;

    // The program's main window, mapped or not; 0 when there is none.
    Window mainWindow() {
        Window found = 0;
        walk(root_, [&](Window w) {
            if (!found && resName(w) == "dwellor" && title(w).starts_with("Dwellor -")) found = w;
        });
        return found;
    }

    // The program's icons embedded in a tray. Qt marks all its windows as
    // embeddable, and a window manager's frame gives the main window a parent
    // too: the title tells it apart.
    std::vector<Window> trayIcons() {
        const Atom xembedInfo = XInternAtom(dpy_, "_XEMBED_INFO", False);
        std::vector<Window> icons;
        walk(root_, [&](Window w) {
            if (resName(w) == "dwellor" && viewable(w) && hasProperty(w, xembedInfo) && parent(w) != root_ &&
                !title(w).starts_with("Dwellor -"))
                icons.push_back(w);
        });
        return icons;
    }

    Window root() const { return root_; }

    bool trayHostRunning() {
        const Atom sel = XInternAtom(dpy_, "_NET_SYSTEM_TRAY_S0", False);
        return XGetSelectionOwner(dpy_, sel) != 0;
    }

    bool viewable(Window w) {
        XWindowAttributes a;
        return XGetWindowAttributes(dpy_, w, &a) && a.map_state == IsViewable;
    }

    std::string title(Window w) {
        const Atom netName = XInternAtom(dpy_, "_NET_WM_NAME", False);
        const Atom utf8 = XInternAtom(dpy_, "UTF8_STRING", False);
        Atom type = 0;
        int format = 0;
        unsigned long n = 0, after = 0;
        unsigned char* data = nullptr;
        std::string s;
        if (XGetWindowProperty(dpy_, w, netName, 0, 256, False, utf8, &type, &format, &n, &after, &data) ==
                Success &&
            data) {
            s.assign(reinterpret_cast<char*>(data), n);
        }
        if (data) XFree(data);
        return s;
    }

    Window parent(Window w) {
        Window rootRet = 0, parentRet = 0, *children = nullptr;
        unsigned n = 0;
        if (!XQueryTree(dpy_, w, &rootRet, &parentRet, &children, &n)) return 0;
        if (children) XFree(children);
        return parentRet;
    }

    // The centre of a window, on the screen.
    Spot centre(Window w) {
        XWindowAttributes a;
        int x = 0, y = 0;
        Window child = 0;
        if (!XGetWindowAttributes(dpy_, w, &a) || !XTranslateCoordinates(dpy_, w, root_, 0, 0, &x, &y, &child))
            return {-1, -1};
        return {x + a.width / 2, y + a.height / 2};
    }

private:
    void walk(Window w, const std::function<void(Window)>& visit) {
        Window rootRet = 0, parentRet = 0, *children = nullptr;
        unsigned n = 0;
        if (!XQueryTree(dpy_, w, &rootRet, &parentRet, &children, &n)) return;
        std::vector<Window> kids(children, children + n);
        if (children) XFree(children);
        for (Window k : kids) {
            visit(k);
            walk(k, visit);
        }
    }

    std::string resName(Window w) {
        XClassHint hint{};
        if (!XGetClassHint(dpy_, w, &hint)) return {};
        std::string s = hint.res_name ? hint.res_name : "";
        if (hint.res_name) XFree(hint.res_name);
        if (hint.res_class) XFree(hint.res_class);
        return s;
    }

    bool hasProperty(Window w, Atom prop) {
        Atom type = 0;
        int format = 0;
        unsigned long n = 0, after = 0;
        unsigned char* data = nullptr;
        const bool ok = XGetWindowProperty(dpy_, w, prop, 0, 2, False, AnyPropertyType, &type, &format, &n, &after,
                                           &data) == Success &&
                        type != 0;
        if (data) XFree(data);
        return ok;
    }

    Display* dpy_ = nullptr;
    Window root_ = 0;
};

// An 8-bit RGB picture of the top-left corner of the screen, where the
// window is.
struct Shot {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;

    // Pixels in the rectangle that are exactly (255, 0, 0).
    int pureRed(int x0, int y0, int w, int h) const {
        int n = 0;
        forEach(x0, y0, w, h, [&](int r, int g, int b) { n += r == 255 && g == 0 && b == 0; });
        return n;
    }
    // Pixels in the rectangle that are not a shade of grey.
    int coloured(int x0, int y0, int w, int h) const {
        int n = 0;
        forEach(x0, y0, w, h, [&](int r, int g, int b) { n += r != g || g != b; });
        return n;
    }

private:
    template <class F>
    void forEach(int x0, int y0, int w, int h, F f) const {
        for (int y = y0; y < y0 + h && y < height; ++y)
            for (int x = x0; x < x0 + w && x < width; ++x) {
                const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
                f(rgb[i], rgb[i + 1], rgb[i + 2]);
            }
    }
};

// Reads a binary PPM with 8-bit samples (as ImageMagick writes it).
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

// The mode labels: L, Double (short of the column it shares with R), R.
struct Box {
    int x, y, w, h;
};
constexpr Box kLeftLabel{53, 160, 17, 17}, kDoubleLabel{77, 160, 40, 17}, kRightLabel{117, 160, 17, 17};

bool isRed(const Shot& s, Box b) {
    return s.pureRed(b.x, b.y, b.w, b.h) >= 5;
}
bool isColourless(const Shot& s, Box b) { return s.coloured(b.x, b.y, b.w, b.h) == 0; }

// One X server, a home of its own, a probe window and the program.
class E2eTest : public ::testing::Test {
protected:
    void SetUp() override {
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

    void TearDown() override {
        if (HasFailure()) {
            for (const auto& name : {"dwellor.log", "helper.log"}) {
                const std::string log = readFile(dir_ + "/" + name);
                if (!log.empty()) std::cerr << "---- " << name << ":\n" << log;
            }
        }
        app_.reset();
        helper_.reset();
        tree_.reset();
        probe_.reset();
        pointer_.reset();
        server_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    std::string settingsPath() const { return dir_ + "/home/Dwellor/Dwellor.conf"; }

    void writeSettings(const std::string& text) {
        std::filesystem::create_directories(dir_ + "/home/Dwellor");
        std::ofstream(settingsPath()) << text;
    }

    // Starts the program and waits for its window. `env` changes follow the defaults.
    void startApp(const std::vector<std::string>& env = {}) {
        std::vector<std::string> vars{"DISPLAY=" + server_->display(), "HOME=" + dir_ + "/home",
                                      "XDG_CONFIG_HOME=" + dir_ + "/home", "XDG_RUNTIME_DIR=" + dir_ + "/runtime",
                                      "DBUS_SESSION_BUS_ADDRESS=disabled:", "ASAN_OPTIONS=detect_leaks=0",
                                      "QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "SESSION_MANAGER"};
        vars.insert(vars.end(), env.begin(), env.end());
        app_ = std::make_unique<ChildProcess>();
        app_->spawn({DWELLOR_BINARY}, vars, dir_ + "/dwellor.log");
        ASSERT_TRUE(waitFor([&] {
            main_ = tree_->mainWindow();
            return main_ && tree_->viewable(main_);
        })) << "the window did not appear";
    }

    // A helper program (tray host, window manager) that lives as long as the test.
    void startHelper(const std::vector<std::string>& argv) {
        helper_ = std::make_unique<ChildProcess>();
        helper_->spawn(argv, {"DISPLAY=" + server_->display()}, dir_ + "/helper.log");
    }

    void xdo(const std::vector<std::string>& args) {
        std::vector<std::string> argv{"xdotool"};
        argv.insert(argv.end(), args.begin(), args.end());
        ChildProcess p;
        p.spawn(argv, {"DISPLAY=" + server_->display()}, dir_ + "/xdotool.log");
        const auto st = p.waitExit(10s);
        ASSERT_TRUE(st && st->code == 0) << "xdotool failed: " << readFile(dir_ + "/xdotool.log");
    }

    // Clicks at a point and leaves at once for another, before a tick can
    // find the pointer resting there.
    void clickAndLeave(Spot at, Spot leave = {0, 0}, const char* button = "1") {
        xdo({"mousemove", std::to_string(at.x), std::to_string(at.y), "click", button, "mousemove",
             std::to_string(leave.x), std::to_string(leave.y)});
    }

    std::string caption() { return tree_->title(main_); }
    bool captionIs(const std::string& c) {
        return waitFor([&] { return caption() == c; });
    }

    // Types a dwell interval and switches clicking on with it.
    void enableWithInterval(const std::string& ms) {
        xdo({"mousemove", std::to_string(kText1.x), std::to_string(kText1.y), "click", "1", "key", "ctrl+a", "type",
             ms});
        ASSERT_TRUE(captionIs("Dwellor - Disabled"));
        clickAndLeave(kToggle);
        ASSERT_TRUE(captionIs("Dwellor - Enabled"));
    }

    Shot screenshot() {
        ChildProcess p;
        const std::string path = dir_ + "/shot.ppm";
        p.spawn({"import", "-display", server_->display(), "-window", "root", "-crop", "188x193+0+0", "+repage",
                 "-depth", "8", "ppm:" + path},
                {}, dir_ + "/import.log");
        const auto st = p.waitExit(10s);
        if (!st || st->code != 0) return {};
        return readPpm(path);
    }

    // Rests the pointer on the probe for `span` and returns the clicks it got,
    // with the time the pointer rested.
    std::vector<ButtonEvent> restOnProbe(milliseconds span, double& restedMs) {
        pointer_->warp(kRest.x, kRest.y);
        const auto start = Clock::now();
        std::this_thread::sleep_until(start + span);
        auto events = probe_->collect();
        restedMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        return events;
    }

    std::string dir_;
    std::unique_ptr<Xvfb> server_;
    std::unique_ptr<ServerPointer> pointer_;
    std::unique_ptr<ProbeWindow> probe_;
    std::unique_ptr<WindowTree> tree_;
    std::unique_ptr<ChildProcess> app_;
    std::unique_ptr<ChildProcess> helper_;
    unsigned long main_ = 0;
};

ButtonEvent at(unsigned button, bool press, Spot p) {
    return ButtonEvent::at(button, press, p.x, p.y, kProbeX, kProbeY);
}

// The number of single left clicks at the resting point; fails on any other event.
int leftClicksAtRest(const std::vector<ButtonEvent>& events) {
    EXPECT_EQ(events.size() % 2, 0u);
    for (std::size_t i = 0; i < events.size(); ++i)
        EXPECT_EQ(events[i], at(1, i % 2 == 0, kRest)) << "event " << i;
    return static_cast<int>(events.size() / 2);
}

// Ticks start when clicking is switched on; the pointer arrives within a few
// milliseconds. The first tick on the probe only notes the position, each
// later one clicks.
double expectedClicks(double restedMs, double periodMs) { return restedMs / periodMs - 1; }

// ---- Clicking at the chosen period

using E2eClicking = E2eTest;

TEST_F(E2eClicking, TypedIntervalIsThePeriodOfClicksAtTheRestingPointer) {
    ASSERT_FALSE(std::filesystem::exists(settingsPath()));
    startApp();
    ASSERT_EQ(caption(), "Dwellor - Enabled");
    enableWithInterval("200");

    double rested = 0;
    const auto events = restOnProbe(1500ms, rested);
    EXPECT_NEAR(leftClicksAtRest(events), expectedClicks(rested, 200), 1.0) << "rested " << rested << " ms";
    const auto p = pointer_->query();
    EXPECT_EQ(p.x, kRest.x);
    EXPECT_EQ(p.y, kRest.y);
    EXPECT_FALSE(p.buttonDown(1));
}

TEST_F(E2eClicking, ExitKeepsThePeriodForTheNextStart) {
    startApp();
    enableWithInterval("200");
    clickAndLeave(kExit);
    const auto st = app_->waitExit(kPatience);
    ASSERT_TRUE(st) << "Exit did not end the program";
    EXPECT_EQ(*st, (ExitStatus{0, 0}));
    EXPECT_EQ(readFile(settingsPath()), "[Program]\nDrag=0\nEnabled=True\nInterval=200\n");

    startApp();
    EXPECT_EQ(caption(), "Dwellor - Enabled");
    double rested = 0;
    const auto events = restOnProbe(1500ms, rested);
    EXPECT_NEAR(leftClicksAtRest(events), expectedClicks(rested, 200), 1.0) << "rested " << rested << " ms";
}

TEST_F(E2eClicking, DisabledProgramDoesNotClick) {
    writeSettings("[Program]\nEnabled=False\nInterval=100\n");
    startApp();
    EXPECT_EQ(caption(), "Dwellor - Disabled");
    double rested = 0;
    EXPECT_EQ(restOnProbe(500ms, rested), std::vector<ButtonEvent>{});
}

// ---- A drag press held when the program ends

enum class Ending { ExitButton, Term, Int, Hup, Quit, Usr1, Alrm, Segv, Kill, WindowKill };

struct EndingCase {
    const char* name;
    int signal;           // sent to the program, or 0
    ExitStatus expected;  // how the program ends
};

EndingCase caseOf(Ending e) {
    switch (e) {
        case Ending::ExitButton: return {"ExitButton", 0, {0, 0}};
        case Ending::Term: return {"Sigterm", SIGTERM, {0, 0}};
        case Ending::Int: return {"Sigint", SIGINT, {0, 0}};
        case Ending::Hup: return {"Sighup", SIGHUP, {0, 0}};
        case Ending::Quit: return {"Sigquit", SIGQUIT, {0, 0}};
        case Ending::Usr1: return {"Sigusr1", SIGUSR1, {0, 0}};
        case Ending::Alrm: return {"Sigalrm", SIGALRM, {0, 0}};
        // No code of the program's survives these: its guardian lets go.
        case Ending::Segv: return {"Sigsegv", SIGSEGV, {-1, SIGSEGV}};
        case Ending::Kill: return {"Sigkill", SIGKILL, {-1, SIGKILL}};
        // Qt calls exit(1) when its connection is killed.
        case Ending::WindowKill: return {"WindowKill", 0, {1, 0}};
    }
    return {"?", 0, {}};
}
void PrintTo(Ending e, std::ostream* os) { *os << caseOf(e).name; }

class E2eHeldButton : public E2eTest, public ::testing::WithParamInterface<Ending> {};

// Holds a process stopped for as long as it lives.
class Stopped {
public:
    explicit Stopped(pid_t pid) : pid_(pid) { kill(pid_, SIGSTOP); }
    ~Stopped() { kill(pid_, SIGCONT); }
    Stopped(const Stopped&) = delete;
    Stopped& operator=(const Stopped&) = delete;

private:
    pid_t pid_;
};

TEST_P(E2eHeldButton, IsReleasedWhenTheProgramEnds) {
    const EndingCase c = caseOf(GetParam());
    std::vector<std::string> env;
    if (GetParam() == Ending::Segv) {
        // AddressSanitizer would catch the signal and exit instead of dying by it.
        env.push_back("ASAN_OPTIONS=detect_leaks=0:handle_segv=0");
        const rlimit noCore{0, 0};
        ASSERT_EQ(setrlimit(RLIMIT_CORE, &noCore), 0);
    }
    // Dragging on: the first rest presses, the next one releases.
    writeSettings("[Program]\nDrag=1\nEnabled=True\nInterval=200\n");
    startApp(env);
    const std::vector<pid_t> guardian = childrenOf(app_->pid());
    ASSERT_EQ(guardian.size(), 1u) << "no guardian process";
    // In every other ending the program's own code still runs and must
    // release the press itself: its guardian is held still meanwhile.
    std::optional<Stopped> stopped;
    if (c.signal != SIGSEGV && c.signal != SIGKILL) {
        stopped.emplace(guardian[0]);
        ASSERT_TRUE(waitFor([&] { return processState(guardian[0]) == 'T'; })) << "the guardian did not stop";
    }
    if (GetParam() == Ending::ExitButton) {
        // Focus goes into the window before the press: with the button down,
        // the pointer belongs to the probe and Exit is reached by keyboard.
        clickAndLeave(kText1);
    }

    pointer_->warp(kRest.x, kRest.y);
    auto events = probe_->collect(1, kPatience);
    ASSERT_EQ(events, std::vector<ButtonEvent>{at(1, true, kRest)});
    // The corner holds the engine still, the press stays.
    pointer_->warp(0, 0);
    ASSERT_EQ(probe_->collect(), std::vector<ButtonEvent>{}) << "released before the pointer left";
    ASSERT_TRUE(pointer_->query().buttonDown(1));

    if (GetParam() == Ending::ExitButton) {
        // Tab order from Text1 back to Exit.
        xdo({"key", "shift+Tab", "space"});
    } else if (GetParam() == Ending::WindowKill) {
        xdo({"windowkill", std::to_string(main_)});
    } else {
        app_->signal(c.signal);
    }
    const auto st = app_->waitExit(kPatience);
    ASSERT_TRUE(st) << "the program did not end";
    EXPECT_EQ(*st, c.expected);
    // The release may still be on its way through the server.
    EXPECT_TRUE(waitFor([&] { return !pointer_->query().buttonDown(1); }, 1000ms)) << "button 1 left down";
    events = probe_->collect();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].button, 1u);
    EXPECT_FALSE(events[0].press);
    stopped.reset();
    EXPECT_TRUE(waitFor([&] { return processEnded(guardian[0]); }, 1000ms)) << "the guardian outlived the program";

    if (GetParam() == Ending::WindowKill) {
        const std::string log = readFile(dir_ + "/dwellor.log");
        EXPECT_EQ(log.find("Did the X11 server die?"), std::string::npos) << log;
        EXPECT_NE(log.find("the X server is still running"), std::string::npos) << log;
    }
}

INSTANTIATE_TEST_SUITE_P(Endings, E2eHeldButton,
                         ::testing::Values(Ending::ExitButton, Ending::Term, Ending::Int, Ending::Hup, Ending::Quit,
                                           Ending::Usr1, Ending::Alrm, Ending::Segv, Ending::Kill,
                                           Ending::WindowKill),
                         [](const ::testing::TestParamInfo<Ending>& i) { return std::string(caseOf(i.param).name); });

using E2eSignals = E2eTest;

TEST_F(E2eSignals, SigpipeLeavesTheProgramClicking) {
    writeSettings("[Program]\nEnabled=True\nInterval=200\n");
    startApp();
    ASSERT_TRUE(app_->signal(SIGPIPE));
    pointer_->warp(kRest.x, kRest.y);
    // Two clicks: the first tick only notes the position, so at least two
    // whole periods pass after the signal.
    const auto events = probe_->collect(4, kPatience);
    EXPECT_EQ(leftClicksAtRest(events), 2);
    EXPECT_TRUE(app_->running());
}

// ---- Settings files that are not ours

enum class Odd { Fifo, DeviceSymlink, Folder, Big };

std::string nameOf(Odd o) {
    switch (o) {
        case Odd::Fifo: return "Fifo";
        case Odd::DeviceSymlink: return "SymlinkToADevice";
        case Odd::Folder: return "Folder";
        case Odd::Big: return "FiftyMegabytes";
    }
    return "?";
}
void PrintTo(Odd o, std::ostream* os) { *os << nameOf(o); }

// What identifies a file and its content without opening a special one.
struct Identity {
    ino_t inode = 0;
    mode_t mode = 0;
    dev_t rdev = 0;
    off_t size = 0;
    std::string linkTarget;
    std::size_t contentHash = 0;  // regular files only
    friend bool operator==(const Identity&, const Identity&) = default;
    friend std::ostream& operator<<(std::ostream& os, const Identity& i) {
        return os << "inode " << i.inode << " mode " << std::oct << i.mode << std::dec << " rdev " << i.rdev
                  << " size " << i.size << " link '" << i.linkTarget << "' hash " << i.contentHash;
    }
};

Identity identify(const std::string& path) {
    Identity id;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return id;
    id.inode = st.st_ino;
    id.mode = st.st_mode;
    id.rdev = st.st_rdev;
    id.size = st.st_size;
    if (S_ISLNK(st.st_mode)) id.linkTarget = std::filesystem::read_symlink(path);
    if (S_ISREG(st.st_mode)) id.contentHash = std::hash<std::string>{}(readFile(path));
    return id;
}

class E2eOddSettings : public E2eTest, public ::testing::WithParamInterface<Odd> {};

TEST_P(E2eOddSettings, GiveTheDefaultsAtOnceAndAreLeftAlone) {
    const std::string folder = dir_ + "/home/Dwellor";
    std::filesystem::create_directories(folder);
    std::string watched = settingsPath();
    switch (GetParam()) {
        case Odd::Fifo: ASSERT_EQ(mkfifo(settingsPath().c_str(), 0644), 0); break;
        case Odd::DeviceSymlink:
            // The numbers of /dev/null, made here: a write through the link
            // used to replace the node with a regular file.
            watched = dir_ + "/null";
            if (mknod(watched.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
                if (errno == EPERM) GTEST_SKIP() << "making a device node needs root";
                FAIL() << "mknod failed";
            }
            std::filesystem::create_symlink(watched, settingsPath());
            break;
        case Odd::Folder: std::filesystem::create_directory(settingsPath()); break;
        case Odd::Big: {
            // Valid settings up front: none of them may be taken.
            std::string text = "[Program]\nDrag=1\nEnabled=False\nInterval=300\n";
            text.resize(50 * 1000 * 1000, '#');
            std::ofstream(settingsPath()) << text;
            break;
        }
    }
    const Identity link = identify(settingsPath()), before = identify(watched);

    const auto start = Clock::now();
    startApp();
    const auto took = Clock::now() - start;
    RecordProperty("startup_ms", static_cast<int>(std::chrono::duration_cast<milliseconds>(took).count()));
    EXPECT_LT(took, 500ms) << "start-up took " << std::chrono::duration<double, std::milli>(took).count() << " ms";
    EXPECT_EQ(caption(), "Dwellor - Enabled");

    // Each Toggle saves the run state, switching on also the period and the drag option.
    clickAndLeave(kToggle);
    EXPECT_TRUE(captionIs("Dwellor - Disabled"));
    clickAndLeave(kToggle);
    EXPECT_TRUE(captionIs("Dwellor - Enabled"));
    clickAndLeave(kExit);
    const auto st = app_->waitExit(kPatience);
    ASSERT_TRUE(st) << "Exit did not end the program";
    EXPECT_EQ(*st, (ExitStatus{0, 0}));

    EXPECT_EQ(identify(settingsPath()), link);
    EXPECT_EQ(identify(watched), before);
    const std::string log = readFile(dir_ + "/dwellor.log");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    EXPECT_NE(log.find(GetParam() == Odd::Big ? "larger than 64 KiB" : "is not a regular file"), std::string::npos)
        << log;
}

INSTANTIATE_TEST_SUITE_P(Kinds, E2eOddSettings, ::testing::Values(Odd::Fifo, Odd::DeviceSymlink, Odd::Folder, Odd::Big),
                         [](const ::testing::TestParamInfo<Odd>& i) { return nameOf(i.param); });

// ---- Tray

using E2eTray = E2eTest;

const std::vector<std::string> kTrayer = {"trayer", "--edge", "bottom", "--align", "right",
                                          "--widthtype", "pixel", "--width", "100", "--height", "32",
                                          "--SetDockType", "false", "--SetPartialStrut", "false"};

TEST_F(E2eTray, IconRestoresOnReleaseAndCyclesTheModeOnRightClick) {
    startHelper(kTrayer);
    ASSERT_TRUE(waitFor([&] { return tree_->trayHostRunning(); })) << "trayer did not start";
    // Clicking off while the tray is driven: a rest on the icon would click it.
    writeSettings("[Program]\nEnabled=False\nInterval=200\n");
    startApp();

    auto hiddenInTray = [&] { return tree_->trayIcons().size() == 1 && !tree_->viewable(main_); };
    clickAndLeave(kHide);
    ASSERT_TRUE(waitFor(hiddenInTray)) << "Hide did not move the window to the tray";

    const Spot icon = tree_->centre(tree_->trayIcons()[0]);
    xdo({"mousemove", std::to_string(icon.x), std::to_string(icon.y), "mousedown", "1"});
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(hiddenInTray()) << "restored on the press";
    xdo({"mouseup", "1", "mousemove", "0", "0"});
    ASSERT_TRUE(waitFor([&] { return tree_->viewable(main_) && tree_->trayIcons().empty(); }))
        << "the release did not bring the window back";

    clickAndLeave(kHide);
    ASSERT_TRUE(waitFor(hiddenInTray));
    const Spot icon2 = tree_->centre(tree_->trayIcons()[0]);
    clickAndLeave(icon2, {0, 0}, "3");
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(hiddenInTray()) << "a right click restored the window";
    clickAndLeave(icon2);
    ASSERT_TRUE(waitFor([&] { return tree_->viewable(main_) && tree_->trayIcons().empty(); }));
    EXPECT_TRUE(waitFor([&] {
        const Shot s = screenshot();
        return isRed(s, kDoubleLabel) && isColourless(s, kLeftLabel) && isColourless(s, kRightLabel);
    })) << "the right click did not select Double";

    clickAndLeave(kToggle, kRest);
    ASSERT_TRUE(captionIs("Dwellor - Enabled"));
    // Each rest makes two left clicks.
    const auto events = probe_->collect(8, kPatience);
    ASSERT_GE(events.size(), 8u);
    for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(events[i], at(1, i % 2 == 0, kRest)) << "event " << i;
}

TEST_F(E2eTray, HideWithoutTrayHostKeepsTheWindow) {
    startApp();
    ASSERT_FALSE(tree_->trayHostRunning());
    clickAndLeave(kHide);
    // Toggle is clicked after Hide: its effect shows Hide has been handled.
    clickAndLeave(kToggle);
    ASSERT_TRUE(captionIs("Dwellor - Disabled"));
    EXPECT_TRUE(tree_->viewable(main_));
    EXPECT_TRUE(tree_->trayIcons().empty());
}

TEST_F(E2eTray, EachMinimiseAddsOneIcon) {
    // Minimising needs a window manager; twm is small and speaks ICCCM.
    const std::string twmrc = dir_ + "/twmrc";
    std::ofstream(twmrc) << "TitleFont \"fixed\"\nResizeFont \"fixed\"\nMenuFont \"fixed\"\n"
                            "IconFont \"fixed\"\nIconManagerFont \"fixed\"\nRandomPlacement\nNoTitle\n";
    auto wm = std::make_unique<ChildProcess>();
    wm->spawn({"twm", "-f", twmrc}, {"DISPLAY=" + server_->display()}, dir_ + "/twm.log");
    startHelper(kTrayer);
    ASSERT_TRUE(waitFor([&] { return tree_->trayHostRunning(); })) << "trayer did not start";
    writeSettings("[Program]\nEnabled=False\nInterval=200\n");
    startApp();
    ASSERT_TRUE(waitFor([&] { return tree_->parent(main_) != tree_->root(); })) << "twm did not manage the window";
    const std::string id = std::to_string(main_);

    auto minimisedToTray = [&] { return tree_->trayIcons().size() == 1 && !tree_->viewable(main_); };
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        xdo({"windowminimize", id});
        ASSERT_TRUE(waitFor(minimisedToTray)) << "minimising did not move the window to the tray";
        std::this_thread::sleep_for(200ms);
        ASSERT_EQ(tree_->trayIcons().size(), 1u);
        clickAndLeave(tree_->centre(tree_->trayIcons()[0]));
        ASSERT_TRUE(waitFor([&] { return tree_->viewable(main_) && tree_->trayIcons().empty(); }))
            << "the icon did not bring the window back";
    }
}

// ---- The mode labels

using E2eWindow = E2eTest;

TEST_F(E2eWindow, SelectedModeLabelIsRed) {
    writeSettings("[Program]\nEnabled=False\n");
    startApp();
    Shot s;
    EXPECT_TRUE(waitFor([&] {
        s = screenshot();
        return isRed(s, kLeftLabel);
    })) << "L is not red";
    EXPECT_TRUE(isColourless(s, kDoubleLabel));
    EXPECT_TRUE(isColourless(s, kRightLabel));

    clickAndLeave(kLabel6);
    EXPECT_TRUE(waitFor([&] {
        s = screenshot();
        return isRed(s, kRightLabel) && isColourless(s, kLeftLabel);
    })) << "R did not take over from L";
    EXPECT_TRUE(isColourless(s, kDoubleLabel));
}

}  // namespace
