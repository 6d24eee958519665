#include "tests/support/wayland_session.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tests/support/e2e.h"

namespace dwellor::testsupport {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSocket = "dwellor-wayland";
constexpr const char* kSwayConfig =
    "xwayland disable\n"
    "default_border none\n"
    "output HEADLESS-1 mode --custom 1024x768\n";

// Waits, as the user, until KWin has its name on the session bus: its
// scripting answers from then on.
constexpr const char* kWaitForKWin = R"py(
import dbus, time
bus = dbus.SessionBus()
for _ in range(400):
    if bus.name_has_owner("org.kde.KWin"): raise SystemExit(0)
    time.sleep(0.025)
raise SystemExit(1)
)py";

void writeText(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << text;
}

}  // namespace

std::ostream& operator<<(std::ostream& os, const ProbeClick& c) {
    return os << (c.press ? "press " : "release ") << c.button << " at " << c.x << "," << c.y;
}

WaylandSession::WaylandSession(Compositor compositor) {
    char dirTemplate[] = "/tmp/dwellor-wayland-XXXXXX";
    if (!::mkdtemp(dirTemplate)) throw std::runtime_error("cannot make a folder for the session");
    dir_ = dirTemplate;
    if (::geteuid() == 0) {
        const passwd* nobody = ::getpwnam("nobody");
        if (!nobody) throw std::runtime_error("no user 'nobody' to run the compositor as");
        uid_ = nobody->pw_uid;
        gid_ = nobody->pw_gid;
        switchUser_ = true;
    }
    fs::create_directories(dir_ + "/runtime");
    fs::permissions(dir_ + "/runtime", fs::perms::owner_all);
    fs::create_directories(dir_ + "/bin");

    // Installed as a user installs it: the desktop entry names the program.
    ChildProcess install;
    install.spawn({"cmake", "--install", DWELLOR_BUILD_DIR, "--prefix", dir_ + "/home/.local"}, {},
                  dir_ + "/install.log");
    const auto installed = install.waitExit(kPatience);
    if (!installed || installed->code != 0) throw std::runtime_error("install failed: " + readFile(dir_ + "/install.log"));
    if (compositor == Compositor::KWin) {
        // A copy drops the file capability the packaged one carries, which
        // exec is refused here; KWin insists on its own name.
        fs::copy_file("/usr/bin/kwin_wayland", dir_ + "/bin/kwin_wayland");
    } else {
        writeText(dir_ + "/sway.conf", kSwayConfig);
    }
    giveToUser(dir_);

    std::string busLog;
    busAddress_ = startServer(
        bus_,
        [&](int fd) { return asUser({"dbus-daemon", "--session", "--nofork", "--print-address=" + std::to_string(fd)}); },
        busLog, kPatience);
    ::unlink(busLog.c_str());

    if (compositor == Compositor::KWin) {
        desktop_ = "KDE";
        socket_ = kSocket;
        spawn(compositor_,
              {dir_ + "/bin/kwin_wayland", "--virtual", "--width", "1024", "--height", "768", "--socket", kSocket,
               "--no-lockscreen", "--no-global-shortcuts", "--no-kactivities"},
              dir_ + "/compositor.log", {"KWIN_COMPOSE=Q", "WAYLAND_DISPLAY"});
        ExitStatus status;
        const std::string waited = run({"/usr/bin/python3", "-c", kWaitForKWin}, status);
        if (status.code != 0)
            throw std::runtime_error("KWin did not come up: " + readFile(dir_ + "/compositor.log") + waited);
    } else {
        desktop_ = "sway";
        spawn(compositor_, {"sway", "-c", dir_ + "/sway.conf"}, dir_ + "/compositor.log",
              {"WLR_BACKENDS=headless", "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1", "WLR_HEADLESS_OUTPUTS=1",
               "WAYLAND_DISPLAY"});
        // It takes the first free name; its socket is there once it listens.
        const bool up = waitFor([&] {
            for (const auto& e : fs::directory_iterator(dir_ + "/runtime")) {
                const std::string name = e.path().filename().string();
                if (name.rfind("wayland-", 0) == 0 && e.is_socket()) socket_ = name;
            }
            return !socket_.empty();
        });
        if (!up) throw std::runtime_error("sway did not come up: " + readFile(dir_ + "/compositor.log"));
    }

    const std::string fifo = dir_ + "/driver.fifo";
    ::mkfifo(fifo.c_str(), 0600);
    giveToUser(fifo);
    // Read and write: opening never waits for the driver.
    driverIn_ = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC);
    const std::string driver = addProgram(WAYLAND_DRIVER, true);
    spawn(driver_, {"sh", "-c", "exec \"$0\" 1024 768 < \"$1\"", driver, fifo}, dir_ + "/driver.log");
}

WaylandSession::~WaylandSession() {
    for (ChildProcess* child : {&probe_, &driver_, &compositor_, &bus_}) {
        child->signal(SIGTERM);
        if (!child->waitExit(milliseconds(3000))) {
            child->signal(SIGKILL);
            child->waitExit(milliseconds(3000));
        }
    }
    if (driverIn_ >= 0) ::close(driverIn_);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
}

std::vector<std::string> WaylandSession::asUser(const std::vector<std::string>& argv) const {
    if (!switchUser_) return argv;
    // The parent-death signal ChildProcess sets does not survive the change
    // of user: set again after it.
    std::vector<std::string> all = {"setpriv", "--reuid=" + std::to_string(uid_), "--regid=" + std::to_string(gid_),
                                    "--clear-groups", "--pdeathsig", "SIGTERM", "--"};
    all.insert(all.end(), argv.begin(), argv.end());
    return all;
}

std::vector<std::string> WaylandSession::environment(const std::vector<std::string>& extra) const {
    std::vector<std::string> env = {"HOME=" + dir_ + "/home",
                                    "PATH=/usr/local/bin:/usr/bin:/bin",
                                    "XDG_RUNTIME_DIR=" + dir_ + "/runtime",
                                    "DBUS_SESSION_BUS_ADDRESS=" + busAddress_,
                                    "WAYLAND_DISPLAY=" + socket_,
                                    "XDG_SESSION_TYPE=wayland",
                                    "XDG_CURRENT_DESKTOP=" + desktop_,
                                    "ASAN_OPTIONS=detect_leaks=0",
                                    "DISPLAY",
                                    "QT_QPA_PLATFORM",
                                    "XDG_CONFIG_HOME",
                                    "XDG_DATA_HOME",
                                    "XDG_DATA_DIRS",
                                    "XDG_CACHE_HOME",
                                    "KWIN_WAYLAND_NO_PERMISSION_CHECKS"};
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

void WaylandSession::giveToUser(const std::string& path) const {
    if (!switchUser_) return;
    ChildProcess chown;
    chown.spawn({"chown", "-R", std::to_string(uid_) + ":" + std::to_string(gid_), path});
    chown.waitExit(kPatience);
}

void WaylandSession::spawn(ChildProcess& child, const std::vector<std::string>& argv, const std::string& outputFile,
                           const std::vector<std::string>& env) {
    child.spawn(asUser(argv), environment(env), outputFile);
}

std::string WaylandSession::run(const std::vector<std::string>& argv, ExitStatus& status) {
    ChildProcess child;
    const std::string out = dir_ + "/run.log";
    spawn(child, argv, out);
    const auto ended = child.waitExit(kPatience);
    status = ended.value_or(ExitStatus{});
    return readFile(out);
}

std::string WaylandSession::addProgram(const std::string& path, bool granted) {
    const std::string copy = dir_ + "/bin/" + fs::path(path).filename().string();
    fs::copy_file(path, copy, fs::copy_options::overwrite_existing);
    if (granted) {
        writeText(dir_ + "/home/.local/share/applications/" + fs::path(path).filename().string() + ".desktop",
                  "[Desktop Entry]\nType=Application\nName=Test\nExec=" + copy +
                      "\nX-KDE-Wayland-Interfaces=org_kde_kwin_fake_input\n");
    }
    giveToUser(dir_ + "/bin");
    giveToUser(dir_ + "/home");
    return copy;
}

void WaylandSession::writeSettings(const std::string& text) {
    writeText(dir_ + "/home/.config/Dwellor/Dwellor.conf", text);
    giveToUser(dir_ + "/home");
}

void WaylandSession::startProbe() {
    spawn(probe_, {addProgram(WAYLAND_PROBE, false)}, dir_ + "/probe.log", {"QT_QPA_PLATFORM=wayland"});
    if (!waitFor([&] { return readFile(dir_ + "/probe.log").find("ready\n") != std::string::npos; }))
        throw std::runtime_error("the probe did not show: " + readFile(dir_ + "/probe.log"));
}

std::vector<ProbeClick> WaylandSession::clicks() const {
    std::vector<ProbeClick> all;
    std::istringstream in(readFile(dir_ + "/probe.log"));
    std::string what;
    ProbeClick c{};
    while (in >> what) {
        if (what != "press" && what != "release") continue;
        if (!(in >> c.button >> c.x >> c.y)) break;
        c.press = what == "press";
        all.push_back(c);
    }
    return all;
}

void WaylandSession::order(const std::string& line) {
    const std::string text = line + "\n";
    if (::write(driverIn_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        throw std::runtime_error("the driver takes no orders");
    const std::size_t answers = ++orders_;
    const bool done = waitFor([&] {
        const std::string log = readFile(dir_ + "/driver.log");
        std::size_t n = 0;
        for (std::size_t at = log.find("ok\n"); at != std::string::npos; at = log.find("ok\n", at + 1)) ++n;
        return n >= answers;
    });
    if (!done) throw std::runtime_error("the driver did not move the pointer: " + readFile(dir_ + "/driver.log"));
}

}  // namespace dwellor::testsupport
