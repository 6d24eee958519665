#pragma once
#include <array>
#include <optional>
#include <string_view>

namespace dwellor {

// What a later start asks the running Dwellor to do. The word is the same
// on the command line ("--toggle") and between the two processes.
enum class Command { Toggle, Enable, Disable, Show, Quit };
inline constexpr std::array kCommands{Command::Toggle, Command::Enable, Command::Disable, Command::Show,
                                      Command::Quit};

constexpr const char* nameOf(Command c) {
    switch (c) {
        case Command::Toggle: return "toggle";
        case Command::Enable: return "enable";
        case Command::Disable: return "disable";
        case Command::Show: return "show";
        case Command::Quit: return "quit";
    }
    return "";
}

// The command a word names exactly; nothing for anything else.
constexpr std::optional<Command> commandNamed(std::string_view word) {
    for (Command c : kCommands)
        if (word == nameOf(c)) return c;
    return std::nullopt;
}

}  // namespace dwellor
