#pragma once
#include <string>
#include <vector>

#include "platform/command.h"

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
        Guard,      // Windows: watch the Dwellor that started this one (`guard`)
    };
    Action action = Action::Run;
    Command remote = Command::Show;
    bool autostartOn = false;
    bool hidden = false;
    bool allowXWayland = false;
    std::string display;    // -display, empty when not given
    std::string guard;      // what the guard watches, as its starter wrote it
    std::string error;
    std::string helpText;   // the usage, for Help and Error
};

// Which options a build has: X11's own (--allow-xwayland, --display) only
// where there is X11.
enum class OptionSet { X11, Windows };

// Reads the arguments (the program name first, as UTF-8). Options are long,
// with one dash or two ("-display" as X11 programs have it), and a value
// follows as the next argument or after "=". Plain C++: it touches no
// display, needs no application object, and is the same on every build.
CommandLine parseCommandLine(const std::vector<std::string>& arguments, OptionSet options);

}  // namespace dwellor::app
