#pragma once
#include <optional>
#include <string>
#include <vector>

namespace dwellor::qt {

// The INI text of a settings file, read and written by QSettings itself, so
// that Dwellor reads every file the way QSettings does (a byte order mark,
// "[ Program ]", comments after a header or a value, a key given twice) and
// writes what it would.

// The value of `key` in `section`; nothing when it is not there, or when the
// text could not be handed to QSettings.
std::optional<std::string> iniValue(const std::string& text, const std::string& section, const std::string& key);

struct IniEntry {
    std::string section, key, value;
};
// `text` with `entries` set, as QSettings writes it; every other key keeps its
// value. Nothing when that text could not be made whole (no room for the
// scratch copy QSettings edits).
std::optional<std::string> iniWithValues(const std::string& text, const std::vector<IniEntry>& entries);

}  // namespace dwellor::qt
