// Dwellor on Linux: Form1 on the Qt window and tray, X11 pointer and clicks.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QScreen>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QThread>
#include <QWidget>

#include "app/session.h"
#include "app/start.h"
#include "app/version.h"
#include "platform/kwin/kwin_fake_input.h"
#include "platform/kwin/kwin_script.h"
#include "platform/qt/qt_autostart.h"
#include "platform/wlroots/wlr_virtual_pointer.h"
#include "platform/wlroots/wlroots_pointer.h"
#include "platform/qt/qt_instance.h"
#include "platform/qt/qt_messages.h"
#include "platform/qt/qt_settings.h"
#include "platform/qt/qt_tray.h"
#include "platform/qt/qt_window.h"
#include "platform/x11/x11_input.h"

using dwellor::app::CommandLine;

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char c = 1;
    // Nothing else is safe in a signal handler; the event loop does the rest.
    [[maybe_unused]] auto n = write(signalPipe[1], &c, 1);
}

// Every catchable signal that would end the program ends it through the
// event loop instead, so that a held drag press is released first.
void quitOnSignals() {
    if (pipe(signalPipe) != 0) return;
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM}) sigaction(sig, &sa, nullptr);
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, [] { QCoreApplication::quit(); });
}

// Says once that the guardian has gone (killed by someone), and reaps it.
template <class Input>
void watchGuardian(Input& input) {
    if (input.guardianFd() < 0) return;
    auto* notifier = new QSocketNotifier(input.guardianFd(), QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, [&input, notifier] {
        // Off before the socket it watches is closed.
        notifier->setEnabled(false);
        if (!input.guardianGone()) return notifier->setEnabled(true);
        notifier->deleteLater();
        std::fputs("dwellor: the guardian process has ended: should Dwellor now crash or be killed while "
                   "dragging, the left button would stay held.\n", stderr);
    });
}

// Pointer motion arrives on the input's own X connection: pumped when it
// is readable, and before every wait of the loop, since a reply awaited on
// it (a pointer reading, a click) reads waiting events with it where the
// descriptor no longer shows them.
void pumpPointerMotion(dwellor::x11::X11Input& input) {
    auto* notifier = new QSocketNotifier(input.connectionFd(), QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, [&input, notifier] {
        // A closed connection stays readable: off, or the loop would spin.
        if (!input.connectionAlive()) return notifier->setEnabled(false);
        input.pumpEvents();
    });
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                     [&input] { input.pumpEvents(); });
}

// Started with standard streams closed, the next files opened (the lock, the
// X connection) would become descriptors 0 to 2, and warnings written to
// stderr would go into them.
void openStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free descriptor: this one.
        if (open("/dev/null", O_RDWR) < 0) _exit(1);
    }
}

std::string local(const QString& s) { return s.toLocal8Bit().toStdString(); }

// One instance per user and display, on a Qt window and tray: on X11
// reading the pointer and clicking through the X server, in KDE Plasma's
// Wayland session through KWin. Members are declared in the order they are
// made.
class LinuxHost final : public dwellor::app::StartHost {
public:
    explicit LinuxHost(char** argv) : argv_(argv) {}

    dwellor::app::OptionSet options() const override { return dwellor::app::OptionSet::X11; }

    void say(Stream to, const std::string& text) override { std::fputs(text.c_str(), to == Stream::Out ? stdout : stderr); }

    bool setAutostart(bool on, std::string& error) override {
        QString why;
        if (dwellor::qt::QtAutostart::set(on, why)) return true;
        error = local(why);
        return false;
    }

    Claim claim(const CommandLine& cl, std::string& why) override {
        if (!display_ && !cl.allowXWayland) wayland_ = waylandBackend();
        if (!display_ && wayland_ != Wayland::None) {
            // The compositor's socket names the session, as DISPLAY does on X11.
            const char* wayland = std::getenv("WAYLAND_DISPLAY");
            display_ = QString::fromLocal8Bit(wayland && *wayland ? wayland : "wayland-0");
            setenv("QT_QPA_PLATFORM", "wayland", 1);
            client_ = std::make_unique<QCoreApplication>(clientArgc_, argv_);
            lock_ = std::make_unique<dwellor::qt::InstanceLock>(*display_);
        }
        if (!display_) {
            // One display for everything: the window, the pointer readings
            // and the clicks. The window is always an X11 one, whatever the
            // environment asks for, so that Dwellor never clicks without a
            // window of its own.
            if (!cl.display.empty()) setenv("DISPLAY", cl.display.c_str(), 1);
            setenv("QT_QPA_PLATFORM", "xcb", 1);
            display_ = QString::fromLocal8Bit(qgetenv("DISPLAY"));
            if (!display_->isEmpty()) {
                // Only a local socket and a lock file: no display connection yet.
                client_ = std::make_unique<QCoreApplication>(clientArgc_, argv_);
                lock_ = std::make_unique<dwellor::qt::InstanceLock>(*display_);
            }
        }
        if (!lock_) {
            why = "no X display is set (DISPLAY), so no running Dwellor can be reached.";
            return Claim::Unreachable;
        }
        if (lock_->claim() == dwellor::qt::InstanceLock::Claim::Running) return Claim::Running;
        if (const QString weakness = lock_->weakness(); !weakness.isEmpty() && cl.action == CommandLine::Action::Run)
            say(Stream::Err, local(weakness) + "\n");
        return Claim::Ours;
    }

    Sent send(dwellor::Command command, int timeoutMs, std::string& error) override {
        QString why;
        const auto r = lock_->send(QString::fromLatin1(dwellor::nameOf(command)), timeoutMs, why);
        error = local(why);
        switch (r) {
            case dwellor::qt::SendResult::Done: return Sent::Done;
            case dwellor::qt::SendResult::NoListener: return Sent::NotListening;
            case dwellor::qt::SendResult::Ended: return Sent::Ended;
            case dwellor::qt::SendResult::Failed: break;
        }
        return Sent::Failed;
    }

    std::string scope() const override {
        return (wayland_ != Wayland::None ? "in Wayland session " : "on display ") + local(display_.value_or(QString()));
    }
    void pause(int ms) override { QThread::msleep(ms); }

    // No other ending leaves a press held either: exit() called by Qt when
    // its X connection is killed, a crash, SIGKILL. Before Qt starts: it forks.
    bool guardHeldPress() override {
        client_.reset();
        std::string error;
        if (wayland_ != Wayland::None) dwellor::qt::drawWithoutOpenGL();
        if (wayland_ == Wayland::Wlroots) {
            using dwellor::wlroots::VirtualPointer;
            auto input = VirtualPointer::open();
            if (!input) {
                say(Stream::Err, "dwellor: the compositor gives Dwellor no virtual pointer to click with.\n");
                return false;
            }
            clicks_ = std::make_unique<dwellor::wayland::GuardedClicks>(std::move(input), [] { return VirtualPointer::open(); },
                                                                        nullptr);
            clicks_->guardHeldPress();
            return true;
        }
        if (wayland_ == Wayland::KWin) {
            using dwellor::kwin::FakeInput;
            FakeInput::Opened why;
            auto input = FakeInput::open(why);
            if (!input) {
                say(Stream::Err, why == FakeInput::Opened::NotGranted
                                     ? std::string(FakeInput::kNotGranted) + "\n"
                                     : "dwellor: no Wayland compositor answers (WAYLAND_DISPLAY).\n");
                return false;
            }
            clicks_ = std::make_unique<dwellor::wayland::GuardedClicks>(
                std::move(input),
                [] {
                    FakeInput::Opened ignored;
                    return FakeInput::open(ignored);
                },
                // The script goes with Dwellor, however it ends.
                [pid = long(getpid())] { dwellor::kwin::KWinScript::unload(pid); });
            clicks_->guardHeldPress();
            return true;
        }
        input_ = dwellor::x11::X11Input::open(nullptr, error);  // DISPLAY, as for the window
        if (!input_) {
            say(Stream::Err, error + "\n");
            return false;
        }
        input_->guardHeldPress();
        dwellor::qt::explainBrokenConnection(&dwellor::x11::X11Input::guardedConnectionAlive);
        return true;
    }

    std::optional<dwellor::Platform> buildWindow(const CommandLine& cl) override {
        // Qt's own options are not passed on: the display is settled above.
        app_ = std::make_unique<QApplication>(qtArgc_, argv_);
        if (wayland_ == Wayland::None && !cl.allowXWayland) {
            // Older XWayland servers lack the XWAYLAND extension but name
            // their RandR outputs after it.
            bool xwayland = input_->isXWayland();
            for (const QScreen* screen : QGuiApplication::screens())
                xwayland = xwayland || screen->name().startsWith(QLatin1String("XWAYLAND"));
            if (dwellor::app::isWaylandSession(xwayland, std::getenv("WAYLAND_DISPLAY"),
                                               std::getenv("XDG_SESSION_TYPE"))) {
                say(Stream::Err, std::string(dwellor::app::waylandRefusal(std::getenv("XDG_CURRENT_DESKTOP"))) + "\n");
                return std::nullopt;
            }
        }
        QApplication::setApplicationName(QStringLiteral("dwellor"));
        QApplication::setApplicationVersion(QStringLiteral(DWELLOR_VERSION));
        QApplication::setDesktopFileName(QLatin1String(dwellor::qt::kAppId));
        QApplication::setQuitOnLastWindowClosed(false);

        if (wayland_ == Wayland::Wlroots) {
            std::string error;
            rests_ = dwellor::wlroots::WlrootsPointer::open(error);
            if (rests_) clicks_->onInjected([this] { rests_->injected(); });
            return waylandPlatform(rests_.get(), error);
        }
        if (wayland_ == Wayland::KWin) {
            std::string error;
            script_ = dwellor::kwin::KWinScript::load(error);
            return waylandPlatform(script_.get(), error);
        }
        pumpPointerMotion(*input_);
        makeWindow();
        // Every window of Dwellor's own that is shown: the main one, the
        // Settings window and the question with their frames, and an icon
        // embedded in an XEmbed tray; not the countdown mark (a tool tip's
        // window), which no click ever reaches.
        input_->setOwnWindows([] {
            std::vector<dwellor::x11::X11Input::OwnWindow> own;
            for (const QWidget* w : QApplication::topLevelWidgets()) {
                if (!w->isVisible() || w->windowType() == Qt::ToolTip || !w->internalWinId()) continue;
                const bool icon =
                    w->objectName() == QLatin1String(dwellor::qt::TrayIconReleases::kEmbeddedWidgetName);
                own.push_back({w->internalWinId(), !icon});
            }
            return own;
        });
        return dwellor::Platform{*window_, *input_, *input_, *input_, *tray_, *settings_, autostart_};
    }

    void listen(std::function<void(dwellor::Command)> run) override {
        commands_ = std::make_unique<dwellor::qt::CommandServer>(std::move(run));
        if (!lock_) return;
        QString error;
        const int name = lock_->takeNameSocket();
        if (name >= 0 && !commands_->listen(name, error))
            say(Stream::Err, local(QStringLiteral("dwellor: other starts cannot reach this one: %1\n").arg(error)));
        const QString path = lock_->socketPath();
        if (!path.isEmpty() && !commands_->listen(path, error))
            say(Stream::Err, local(QStringLiteral("dwellor: other starts cannot reach this one: %1\n").arg(error)));
    }

    void watchEndings(std::function<void()> releaseHeldButton) override {
        quitOnSignals();
        if (input_) watchGuardian(*input_);
        if (clicks_) watchGuardian(*clicks_);
        // The desktop session ending: let go of the button before it goes.
        QObject::connect(app_.get(), &QGuiApplication::commitDataRequest,
                         [release = std::move(releaseHeldButton)](QSessionManager&) { release(); });
    }

    int run() override { return QApplication::exec(); }

private:
    // On Wayland the compositor alone knows and decides where windows are:
    // the pointer's backend asks it for them.
    template <class Pointer>
    std::optional<dwellor::Platform> waylandPlatform(Pointer* pointer, const std::string& error) {
        if (!pointer) {
            say(Stream::Err, "dwellor: " + error + "\n");
            return std::nullopt;
        }
        dwellor::qt::setWindowPlaces(pointer);
        makeWindow();
        return dwellor::Platform{*window_, *pointer, *pointer, *clicks_, *tray_, *settings_, autostart_};
    }

    void makeWindow() {
        window_ = std::make_unique<dwellor::qt::QtWindow>();
        tray_ = std::make_unique<dwellor::qt::QtTray>();
        settings_ = std::make_unique<dwellor::qt::QtSettings>();
    }

    char** argv_;
    int clientArgc_ = 1, qtArgc_ = 1;
    // The Wayland desktop Dwellor works in: KWin's, or a wlroots compositor
    // (one offering virtual pointers); on X11 (or refusing) with none.
    enum class Wayland { None, KWin, Wlroots };
    static Wayland waylandBackend() {
        switch (dwellor::app::waylandBackend(std::getenv("WAYLAND_DISPLAY"), std::getenv("XDG_SESSION_TYPE"),
                                             std::getenv("XDG_CURRENT_DESKTOP"))) {
            case dwellor::app::WaylandBackend::KWin: return Wayland::KWin;
            case dwellor::app::WaylandBackend::Wlroots: break;
            case dwellor::app::WaylandBackend::None: return Wayland::None;
        }
        const auto c = dwellor::wayland::Connection::open();
        if (!c) return Wayland::None;
        for (const auto& g : c->globals)
            if (g.interface == "zwlr_virtual_pointer_manager_v1") return Wayland::Wlroots;
        return Wayland::None;
    }

    std::optional<QString> display_;  // settled by the first claim
    Wayland wayland_ = Wayland::None;
    std::unique_ptr<dwellor::qt::InstanceLock> lock_;
    std::unique_ptr<QCoreApplication> client_;
    std::unique_ptr<dwellor::x11::X11Input> input_;
    std::unique_ptr<dwellor::wayland::GuardedClicks> clicks_;
    std::unique_ptr<QApplication> app_;
    std::unique_ptr<dwellor::kwin::KWinScript> script_;
    std::unique_ptr<dwellor::wlroots::WlrootsPointer> rests_;
    std::unique_ptr<dwellor::qt::QtWindow> window_;
    std::unique_ptr<dwellor::qt::QtTray> tray_;
    std::unique_ptr<dwellor::qt::QtSettings> settings_;
    dwellor::qt::QtAutostart autostart_;
    std::unique_ptr<dwellor::qt::CommandServer> commands_;
};

}  // namespace

int main(int argc, char** argv) {
    openStandardStreams();
    // A write to a closed stderr or socket must not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    LinuxHost host(argv);
    // Arguments and display names are the locale's bytes; the parser only
    // compares ASCII option names, so they pass through as they are.
    return dwellor::app::start(std::vector<std::string>(argv, argv + argc), host);
}
