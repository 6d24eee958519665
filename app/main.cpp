#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QWidget>
#include <QThread>

#include "app/autostart.h"
#include "app/command_line.h"
#include "app/session.h"
#include "platform/qt/qt_instance.h"
#include "platform/qt/qt_messages.h"
#include "platform/qt/qt_settings.h"
#include "platform/qt/qt_tray.h"
#include "platform/qt/qt_window.h"
#include "platform/x11/x11_input.h"
#include "window/form1.h"

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

void print(FILE* to, const QString& text) { std::fputs(text.toLocal8Bit().constData(), to); }

// The answers that need no display.
int runWithoutDisplay(const CommandLine& cl) {
    switch (cl.action) {
        case CommandLine::Action::Help: std::fputs(cl.helpText.c_str(), stdout); return 0;
        case CommandLine::Action::Version: std::printf("dwellor %s\n", DWELLOR_VERSION); return 0;
        case CommandLine::Action::Error:
            std::fprintf(stderr, "dwellor: %s\n\n%s", cl.error.c_str(), cl.helpText.c_str());
            return 2;
        case CommandLine::Action::Autostart: {
            QString error;
            if (dwellor::app::setAutostart(cl.autostartOn, error)) return 0;
            print(stderr, QStringLiteral("dwellor: %1\n").arg(error));
            return 1;
        }
        default: return -1;
    }
}

enum class Role { Primary, Done, Failed };

// Becomes the one instance on this display, or hands the request to the one
// already running. An instance that was killed leaves nothing that stops the
// next start; one that is still starting gets a moment to answer. One that
// holds the guard but does not answer (stopped, hung) is never joined by a
// second clicker: the start fails with a line saying so.
Role claimDisplay(dwellor::qt::InstanceLock& lock, const CommandLine& cl, const QString& display) {
    const bool remote = cl.action == CommandLine::Action::Remote;
    const QString command = QString::fromStdString(remote ? cl.remote : "show");
    QElapsedTimer clock;
    clock.start();
    QString error;
    for (;;) {
        if (lock.claim() == dwellor::qt::InstanceLock::Claim::Ours) {
            if (!remote) return Role::Primary;
            print(stderr, QStringLiteral("dwellor: Dwellor is not running on display %1.\n").arg(display));
            return Role::Failed;
        }
        // A hidden start (at login) leaves a running instance as it is.
        if (!remote && cl.hidden) return Role::Done;
        const auto r = lock.send(command, 3000, error);
        if (r == dwellor::qt::SendResult::Done) return Role::Done;
        if (r == dwellor::qt::SendResult::Failed || clock.elapsed() > 5000) break;
        QThread::msleep(50);
    }
    print(stderr, QStringLiteral("dwellor: the Dwellor running on display %1 does not answer (%2).\n").arg(display, error));
    return Role::Failed;
}

// No other ending leaves a press held either: exit() called by Qt when its X
// connection is killed, a crash, SIGKILL. Call before Qt starts: it forks.
void guardOtherEndings(dwellor::x11::X11Input& input) {
    input.guardHeldPress();
    dwellor::qt::explainBrokenConnection(&dwellor::x11::X11Input::guardedConnectionAlive);
}

// Says once that the guardian has gone (killed by someone), and reaps it.
void watchGuardian(dwellor::x11::X11Input& input) {
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

}  // namespace

int main(int argc, char** argv) {
    openStandardStreams();
    // A write to a closed stderr or socket must not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    // Arguments and display names are the locale's bytes; the parser only
    // compares ASCII option names, so they pass through as they are.
    const CommandLine cl =
        dwellor::app::parseCommandLine(std::vector<std::string>(argv, argv + argc), dwellor::app::OptionSet::X11);
    if (const int rc = runWithoutDisplay(cl); rc >= 0) return rc;

    // One display for everything: the window, the pointer readings and the
    // clicks. The window is always an X11 one, whatever the environment
    // asks for, so that Dwellor never clicks without a window of its own.
    if (!cl.display.empty()) setenv("DISPLAY", cl.display.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    const QString display = QString::fromLocal8Bit(qgetenv("DISPLAY"));

    std::unique_ptr<dwellor::qt::InstanceLock> lock;
    if (!display.isEmpty()) {
        // Only a local socket and a lock file: no display connection yet.
        int one = 1;
        QCoreApplication client(one, argv);
        lock = std::make_unique<dwellor::qt::InstanceLock>(display);
        const Role role = claimDisplay(*lock, cl, display);
        if (role != Role::Primary) return role == Role::Done ? 0 : 1;
        if (const QString weakness = lock->weakness(); !weakness.isEmpty())
            print(stderr, weakness + QLatin1Char('\n'));
    } else if (cl.action == CommandLine::Action::Remote) {
        std::fprintf(stderr, "dwellor: no X display is set (DISPLAY), so no running Dwellor can be reached.\n");
        return 1;
    }

    std::string error;
    auto input = dwellor::x11::X11Input::open(nullptr, error);  // DISPLAY, as for the window
    if (!input) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    guardOtherEndings(*input);

    // Qt's own options are not passed on: the display is settled above.
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    if (!cl.allowXWayland) {
        // Older XWayland servers lack the XWAYLAND extension but name their
        // RandR outputs after it.
        bool xwayland = input->isXWayland();
        for (const QScreen* screen : QGuiApplication::screens())
            xwayland = xwayland || screen->name().startsWith(QLatin1String("XWAYLAND"));
        if (dwellor::app::isWaylandSession(xwayland, std::getenv("WAYLAND_DISPLAY"), std::getenv("XDG_SESSION_TYPE"))) {
            std::fprintf(stderr, "%s\n", dwellor::app::kWaylandRefusal);
            return 1;
        }
    }
    QApplication::setApplicationName(QStringLiteral("dwellor"));
    QApplication::setApplicationVersion(QStringLiteral(DWELLOR_VERSION));
    QApplication::setDesktopFileName(QLatin1String(dwellor::app::kAppId));
    QApplication::setQuitOnLastWindowClosed(false);

    dwellor::qt::QtWindow window;
    dwellor::qt::QtTray tray;
    dwellor::qt::QtSettings settings;
    dwellor::Form1 form({window, *input, *input, tray, settings});
    // Every window of Dwellor's own that is shown: the main one and the
    // question with their frames, and an icon embedded in an XEmbed tray.
    input->setOwnWindows([] {
        std::vector<dwellor::x11::X11Input::OwnWindow> own;
        for (const QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible() || w->windowType() == Qt::ToolTip || !w->internalWinId()) continue;
            const bool icon = w->objectName() == QLatin1String(dwellor::qt::TrayIconReleases::kEmbeddedWidgetName);
            own.push_back({w->internalWinId(), !icon});
        }
        return own;
    });

    dwellor::qt::CommandServer commands([&form](const std::string& c) { return form.RemoteCommand(c); });
    if (lock) {
        QString listenError;
        const int name = lock->takeNameSocket();
        if (name >= 0 && !commands.listen(name, listenError))
            print(stderr, QStringLiteral("dwellor: other starts cannot reach this one: %1\n").arg(listenError));
        const QString path = lock->socketPath();
        if (!path.isEmpty() && !commands.listen(path, listenError))
            print(stderr, QStringLiteral("dwellor: other starts cannot reach this one: %1\n").arg(listenError));
    }

    quitOnSignals();
    watchGuardian(*input);
    // The desktop session ending: let go of the button before it goes.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, [&form](QSessionManager&) { form.releaseHeldButton(); });

    form.Form_Load();
    if (!(cl.hidden && form.StartInTray())) form.ShowWindow();
    const int rc = QApplication::exec();
    form.releaseHeldButton();
    return rc;
}
