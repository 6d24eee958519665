// The command line, as every build reads it.
#include <gtest/gtest.h>

#include "app/command_line.h"

using dwellor::app::CommandLine;
using dwellor::app::OptionSet;
using Action = CommandLine::Action;

namespace {

CommandLine parse(std::vector<std::string> args, OptionSet set = OptionSet::X11) {
    args.insert(args.begin(), "/usr/bin/dwellor");
    return dwellor::app::parseCommandLine(args, set);
}

TEST(CommandLineTest, OptionsAndTheirMistakes) {
    EXPECT_EQ(parse({}).action, Action::Run);
    EXPECT_EQ(parse({"--help"}).action, Action::Help);
    EXPECT_EQ(parse({"-h"}).action, Action::Help);
    EXPECT_EQ(parse({"--version"}).action, Action::Version);
    EXPECT_TRUE(parse({"--help"}).helpText.starts_with("Usage: dwellor [options]"));

    const CommandLine run = parse({"--hidden", "--allow-xwayland", "-display", ":3"});
    EXPECT_EQ(run.action, Action::Run);
    EXPECT_TRUE(run.hidden);
    EXPECT_TRUE(run.allowXWayland);
    EXPECT_EQ(run.display, ":3");
    EXPECT_EQ(parse({"--display=:4"}).display, ":4");

    for (const char* c : {"toggle", "enable", "disable", "show", "quit"}) {
        for (OptionSet set : {OptionSet::X11, OptionSet::Windows}) {
            const CommandLine r = parse({std::string("--") + c}, set);
            EXPECT_EQ(r.action, Action::Remote) << c;
            EXPECT_STREQ(dwellor::nameOf(r.remote), c);
        }
    }
    EXPECT_EQ(parse({"--autostart", "on"}).action, Action::Autostart);
    EXPECT_TRUE(parse({"--autostart", "on"}).autostartOn);
    EXPECT_FALSE(parse({"--autostart=off"}).autostartOn);
    // The guard Dwellor starts on Windows: never listed, and it wins over
    // anything else given with it.
    const CommandLine guard = parse({"--toggle", "--guard", "12:34"}, OptionSet::Windows);
    EXPECT_EQ(guard.action, Action::Guard);
    EXPECT_EQ(guard.guard, "12:34");
    EXPECT_EQ(guard.helpText.find("guard"), std::string::npos);

    // Each of these is a usage error (exit 2), never a start, with the words
    // the user sees.
    struct Bad {
        std::vector<std::string> args;
        const char* error;
        OptionSet set = OptionSet::X11;
    };
    for (const Bad& bad : std::vector<Bad>{
             {{"--bogus"}, "Unknown option 'bogus'."},
             {{"-platform", "offscreen"}, "Unknown option 'platform'."},
             {{"-a", "--b"}, "Unknown options: a, b."},
             {{"stray"}, "Unexpected argument 'stray'."},
             {{"--", "--toggle"}, "Unexpected argument '--toggle'."},
             {{"--toggle", "--quit"}, "Give only one of --autostart, --toggle, --enable, --disable, --show and --quit."},
             {{"--autostart", "on", "--toggle"},
              "Give only one of --autostart, --toggle, --enable, --disable, --show and --quit."},
             {{"--autostart", "maybe"}, "--autostart takes 'on' or 'off', not 'maybe'."},
             {{"--autostart"}, "Missing value after '--autostart'."},
             {{"--help=x", "--bogus"}, "Unexpected value after '--help'."},
             {{"-display"}, "Missing value after '--display'."},
             {{"--allow-xwayland"}, "Unknown option 'allow-xwayland'.", OptionSet::Windows},
             {{"-display", ":0"}, "Unknown option 'display'.", OptionSet::Windows},
             {{"--guard", "1:2"}, "Unknown option 'guard'."},
             {{"--guard"}, "Missing value after '--guard'.", OptionSet::Windows},
         }) {
        const CommandLine r = parse(bad.args, bad.set);
        EXPECT_EQ(r.action, Action::Error) << bad.args[0];
        EXPECT_EQ(r.error, bad.error) << bad.args[0];
    }
}

TEST(CommandLineTest, HelpListsTheBuildsOptionsWrappedToTheTerminal) {
    const std::string x11 = parse({"--help"}).helpText;
    EXPECT_EQ(x11,
              "Usage: dwellor [options]\n"
              "Clicks the mouse wherever the pointer rests. Without an option, starts Dwellor, or shows the window "
              "of the one already running on this display.\n\n"
              "Options:\n"
              "  -h, --help            Show this help and exit.\n"
              "  --version             Show the version and exit.\n"
              "  --hidden              Start in the notification area (shown as usual when\n"
              "                        there is none).\n"
              "  --autostart <on|off>  Start Dwellor, hidden, whenever you log in (on), or\n"
              "                        stop doing so (off).\n"
              "  --toggle              Switch clicking on or off in the running Dwellor, as\n"
              "                        Toggle does.\n"
              "  --enable              Switch clicking on in the running Dwellor.\n"
              "  --disable             Switch clicking off in the running Dwellor.\n"
              "  --show                Bring back the running Dwellor's window.\n"
              "  --quit                End the running Dwellor, as Exit does.\n"
              "  --allow-xwayland      Start even on XWayland, where Dwellor cannot see the\n"
              "                        pointer over Wayland windows.\n"
              "  --display <name>      The X display to use.\n");
    const std::string windows = parse({"--help"}, OptionSet::Windows).helpText;
    EXPECT_EQ(windows, x11.substr(0, x11.find("  --allow-xwayland")));
}

// The words a running Dwellor takes from a later start: exactly the five.
TEST(Commands, EachWordNamesItsCommandAndNothingElseDoes) {
    for (dwellor::Command c : dwellor::kCommands) EXPECT_EQ(dwellor::commandNamed(dwellor::nameOf(c)), c);
    for (const char* junk : {"", "Toggle", "toggle ", "quit\n", "show please", "\xff\xfe", "tog"})
        EXPECT_EQ(dwellor::commandNamed(junk), std::nullopt) << junk;
}

}  // namespace
