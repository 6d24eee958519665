#include "app/command_line.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace dwellor::app {

namespace {
const char* const kRemote[] = {"toggle", "enable", "disable", "show", "quit"};
}

CommandLine parseCommandLine(const QStringList& arguments) {
    QCommandLineParser p;
    // Single-dash long options, so that X11's customary -display works too.
    p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    p.setApplicationDescription(QStringLiteral(
        "Clicks the mouse wherever the pointer rests. Without an option, starts Dwellor, or shows the "
        "window of the one already running on this display."));
    const QCommandLineOption help(QStringList{"h", "help"}, QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Show the version and exit."));
    const QCommandLineOption hidden(QStringLiteral("hidden"),
                                    QStringLiteral("Start in the notification area (shown as usual when there is none)."));
    const QCommandLineOption autostart(QStringLiteral("autostart"),
                                       QStringLiteral("Start Dwellor, hidden, whenever you log in (on), or stop doing so (off)."),
                                       QStringLiteral("on|off"));
    const QCommandLineOption toggle(QStringLiteral("toggle"), QStringLiteral("Switch clicking on or off in the running Dwellor, as Toggle does."));
    const QCommandLineOption enable(QStringLiteral("enable"), QStringLiteral("Switch clicking on in the running Dwellor."));
    const QCommandLineOption disable(QStringLiteral("disable"), QStringLiteral("Switch clicking off in the running Dwellor."));
    const QCommandLineOption show(QStringLiteral("show"), QStringLiteral("Bring back the running Dwellor's window."));
    const QCommandLineOption quit(QStringLiteral("quit"), QStringLiteral("End the running Dwellor, as Exit does."));
    const QCommandLineOption allowXWayland(
        QStringLiteral("allow-xwayland"),
        QStringLiteral("Start even on XWayland, where Dwellor cannot see the pointer over Wayland windows."));
    const QCommandLineOption display(QStringLiteral("display"), QStringLiteral("The X display to use."),
                                     QStringLiteral("name"));
    p.addOptions({help, version, hidden, autostart, toggle, enable, disable, show, quit, allowXWayland, display});

    CommandLine c;
    c.helpText = p.helpText();
    // The program name in the usage line, whatever path started it.
    c.helpText.replace(QRegularExpression(QStringLiteral("^Usage: \\S*")), QStringLiteral("Usage: dwellor"));
    auto fail = [&c](const QString& why) {
        c.action = CommandLine::Action::Error;
        c.error = why;
        return c;
    };
    if (!p.parse(arguments)) return fail(p.errorText());
    if (!p.positionalArguments().isEmpty())
        return fail(QStringLiteral("Unexpected argument '%1'.").arg(p.positionalArguments().first()));

    if (p.isSet(help)) {
        c.action = CommandLine::Action::Help;
        return c;
    }
    if (p.isSet(version)) {
        c.action = CommandLine::Action::Version;
        return c;
    }
    c.hidden = p.isSet(hidden);
    c.allowXWayland = p.isSet(allowXWayland);
    c.display = p.value(display);

    QStringList remotes;
    for (const char* name : kRemote)
        if (p.isSet(QString::fromLatin1(name))) remotes << QString::fromLatin1(name);
    const bool wantsAutostart = p.isSet(autostart);
    if (remotes.size() + (wantsAutostart ? 1 : 0) > 1)
        return fail(QStringLiteral("Give only one of --autostart, --toggle, --enable, --disable, --show and --quit."));
    if (wantsAutostart) {
        const QString v = p.value(autostart);
        if (v != QLatin1String("on") && v != QLatin1String("off"))
            return fail(QStringLiteral("--autostart takes 'on' or 'off', not '%1'.").arg(v));
        c.action = CommandLine::Action::Autostart;
        c.autostartOn = v == QLatin1String("on");
    } else if (!remotes.isEmpty()) {
        c.action = CommandLine::Action::Remote;
        c.remote = remotes.first();
    }
    return c;
}

}  // namespace dwellor::app
