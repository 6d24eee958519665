#pragma once
#include <optional>
#include <string>

namespace dwellor::qt {

// The INI text of a settings file, as QSettings writes it: "[Section]"
// headers and "key=value" lines. Only what Dwellor stores is understood;
// every other line is kept as it stands.

// The value of `key` in `section`, trimmed, with surrounding double quotes
// removed; nothing when either is missing.
std::optional<std::string> iniValue(const std::string& text, const std::string& section, const std::string& key);

// `text` with `key` in `section` set to `value`: the key's line is rewritten
// in place, or a new one is added among the section's keys in alphabetical
// place, or the section is added at the end. Nothing else changes.
std::string iniWithValue(const std::string& text, const std::string& section, const std::string& key,
                         const std::string& value);

}  // namespace dwellor::qt
