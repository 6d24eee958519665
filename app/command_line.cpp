#include "app/command_line.h"

#include <algorithm>
#include <optional>

namespace dwellor::app {

namespace {

struct Option {
    std::vector<const char*> names;
    const char* valueName;  // null for a flag
    const char* description;
    enum class Where { All, X11, Windows } where;
    bool listed = true;  // in the help
};

const std::vector<Option>& allOptions() {
    static const std::vector<Option> options{
        {{"h", "help"}, nullptr, "Show this help and exit.", Option::Where::All},
        {{"version"}, nullptr, "Show the version and exit.", Option::Where::All},
        {{"hidden"}, nullptr, "Start in the notification area (shown as usual when there is none).", Option::Where::All},
        {{"autostart"}, "on|off", "Start Dwellor, hidden, whenever you log in (on), or stop doing so (off).", Option::Where::All},
        {{"toggle"}, nullptr, "Switch clicking on or off in the running Dwellor, as Toggle does.", Option::Where::All},
        {{"enable"}, nullptr, "Switch clicking on in the running Dwellor.", Option::Where::All},
        {{"disable"}, nullptr, "Switch clicking off in the running Dwellor.", Option::Where::All},
        {{"show"}, nullptr, "Bring back the running Dwellor's window.", Option::Where::All},
        {{"quit"}, nullptr, "End the running Dwellor, as Exit does.", Option::Where::All},
        {{"allow-xwayland"}, nullptr,
         "Start even on XWayland, where Dwellor cannot see the pointer over Wayland windows.", Option::Where::X11},
        {{"display"}, "name", "The X display to use.", Option::Where::X11},
        // Dwellor starts a copy of itself with this; nobody else should.
        {{"guard"}, "handles", "", Option::Where::Windows, false},
    };
    return options;
}

constexpr std::size_t kLineWidth = 79;

std::vector<const Option*> optionsOf(OptionSet set) {
    std::vector<const Option*> out;
    for (const Option& o : allOptions())
        if (o.where == Option::Where::All || (o.where == Option::Where::X11) == (set == OptionSet::X11))
            out.push_back(&o);
    return out;
}

std::string optionText(const Option& o) {
    std::string t;
    for (const char* n : o.names) {
        if (!t.empty()) t += ", ";
        t += (std::string(n).size() == 1 ? "-" : "--") + std::string(n);
    }
    if (o.valueName) t += std::string(" <") + o.valueName + ">";
    return t;
}

// Words wrapped to the line width after `indent` columns.
std::string wrapped(const std::string& text, std::size_t indent) {
    std::string out, line;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(start, end - start);
        if (!line.empty() && indent + line.size() + 1 + word.size() > kLineWidth) {
            out += line + "\n" + std::string(indent, ' ');
            line.clear();
        }
        line += (line.empty() ? "" : " ") + word;
        start = end + 1;
    }
    return out + line + "\n";
}

std::string helpTextOf(const std::vector<const Option*>& options) {
    std::size_t width = 0;
    for (const Option* o : options)
        if (o->listed) width = std::max(width, optionText(*o).size());
    const std::size_t indent = 2 + width + 2;
    std::string h =
        "Usage: dwellor [options]\n"
        "Clicks the mouse wherever the pointer rests. Without an option, starts Dwellor, or shows the window of "
        "the one already running on this display.\n\nOptions:\n";
    for (const Option* o : options) {
        if (!o->listed) continue;
        const std::string t = optionText(*o);
        h += "  " + t + std::string(indent - 2 - t.size(), ' ') + wrapped(o->description, indent);
    }
    return h;
}

const Option* find(const std::vector<const Option*>& options, const std::string& name) {
    for (const Option* o : options)
        for (const char* n : o->names)
            if (name == n) return o;
    return nullptr;
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments, OptionSet set) {
    const std::vector<const Option*> options = optionsOf(set);
    CommandLine c;
    c.helpText = helpTextOf(options);

    // What was given: each option's last value (or "" for a flag), in order.
    std::vector<std::pair<const Option*, std::string>> given;
    std::vector<std::string> positional, unknown;
    std::string error;  // a value missing or not wanted; the last one counts
    bool optionsEnd = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (optionsEnd || a.size() < 2 || a[0] != '-') {
            positional.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnd = true;
            continue;
        }
        std::string name = a.substr(a[1] == '-' ? 2 : 1);
        std::optional<std::string> value;
        if (const std::size_t eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.erase(eq);
        }
        const Option* o = find(options, name);
        const std::string spelled = "--" + name;
        if (!o) {
            unknown.push_back(name);
        } else if (o->valueName) {
            if (!value) {
                if (i + 1 < arguments.size()) value = arguments[++i];
                else error = "Missing value after '" + spelled + "'.";
            }
            if (value) given.push_back({o, *value});
        } else if (value) {
            error = "Unexpected value after '" + spelled + "'.";
        } else {
            given.push_back({o, ""});
        }
    }

    auto fail = [&c](const std::string& why) {
        c.action = CommandLine::Action::Error;
        c.error = why;
        return c;
    };
    if (!error.empty()) return fail(error);
    if (unknown.size() == 1) return fail("Unknown option '" + unknown[0] + "'.");
    if (unknown.size() > 1) {
        std::string names;
        for (const std::string& u : unknown) names += (names.empty() ? "" : ", ") + u;
        return fail("Unknown options: " + names + ".");
    }
    if (!positional.empty()) return fail("Unexpected argument '" + positional[0] + "'.");

    auto isSet = [&](const char* name) {
        return std::any_of(given.begin(), given.end(), [&](const auto& g) { return find(options, name) == g.first; });
    };
    auto valueOf = [&](const char* name) {
        std::string v;
        for (const auto& [o, value] : given)
            if (o == find(options, name)) v = value;
        return v;
    };
    if (isSet("help")) {
        c.action = CommandLine::Action::Help;
        return c;
    }
    if (isSet("version")) {
        c.action = CommandLine::Action::Version;
        return c;
    }
    if (set == OptionSet::Windows && isSet("guard")) {
        c.action = CommandLine::Action::Guard;
        c.guard = valueOf("guard");
        return c;
    }
    c.hidden = isSet("hidden");
    c.allowXWayland = set == OptionSet::X11 && isSet("allow-xwayland");
    if (set == OptionSet::X11) c.display = valueOf("display");

    std::vector<Command> remotes;
    for (Command command : kCommands)
        if (isSet(nameOf(command))) remotes.push_back(command);
    const bool wantsAutostart = isSet("autostart");
    if (remotes.size() + (wantsAutostart ? 1 : 0) > 1)
        return fail("Give only one of --autostart, --toggle, --enable, --disable, --show and --quit.");
    if (wantsAutostart) {
        const std::string v = valueOf("autostart");
        if (v != "on" && v != "off") return fail("--autostart takes 'on' or 'off', not '" + v + "'.");
        c.action = CommandLine::Action::Autostart;
        c.autostartOn = v == "on";
    } else if (!remotes.empty()) {
        c.action = CommandLine::Action::Remote;
        c.remote = remotes.front();
    }
    return c;
}

}  // namespace dwellor::app
