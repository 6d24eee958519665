#pragma once
#include <QString>
#include <QStringList>

namespace dwellor::app {

// What one start of the program is asked to do.
struct CommandLine {
    enum class Action {
        Run,        // start Dwellor (or show the one already running)
        Remote,     // send `remote` to the running instance
        Autostart,  // write or remove the login entry
        Help,
        Version,
        Error,      // `error` says what is wrong; usage goes to stderr, exit 2
    };
    Action action = Action::Run;
    QString remote;         // "toggle", "enable", "disable", "show" or "quit"
    bool autostartOn = false;
    bool hidden = false;
    bool allowXWayland = false;
    QString display;        // -display, empty when not given
    QString error;
    QString helpText;       // the usage, for Help and Error
};

// Reads the arguments (the program name first). Touches no display and needs
// no application object.
CommandLine parseCommandLine(const QStringList& arguments);

}  // namespace dwellor::app
