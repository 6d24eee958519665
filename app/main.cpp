#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include <QApplication>
#include <QSessionManager>
#include <QSocketNotifier>

#include "platform/qt/qt_messages.h"
#include "platform/qt/qt_settings.h"
#include "platform/qt/qt_tray.h"
#include "platform/qt/qt_window.h"
#include "platform/x11/x11_input.h"
#include "window/form1.h"

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

// No other ending leaves a press held either: exit() called by Qt when its X
// connection is killed, a crash, SIGKILL. Call before Qt starts: it forks.
void guardOtherEndings(dwellor::x11::X11Input& input) {
    // A write to a closed stderr or socket must not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    input.guardHeldPress();
    dwellor::qt::explainBrokenConnection(&dwellor::x11::X11Input::guardedConnectionAlive);
}

}  // namespace

int main(int argc, char** argv) {
    // The window, the pointer and the injected clicks must all be on X11,
    // also in a Wayland session (through XWayland).
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "xcb", 1);

    std::string error;
    auto input = dwellor::x11::X11Input::open(nullptr, error);
    if (!input) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    guardOtherEndings(*input);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("dwellor"));
    QApplication::setQuitOnLastWindowClosed(false);

    dwellor::qt::QtWindow window;
    dwellor::qt::QtNotifyIcon tray(window);
    dwellor::qt::QtSettings settings;
    dwellor::Form1 form({window, *input, *input, tray, settings});

    quitOnSignals();
    // The desktop session ending: let go of the button before it goes.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, [&form](QSessionManager&) { form.releaseHeldButton(); });

    form.Form_Load();
    window.show();
    const int rc = QApplication::exec();
    form.releaseHeldButton();
    return rc;
}
