#include "settings/settings_store.h"

#include <cctype>
#include <cstdint>
#include <limits>

namespace dwellor {

namespace {

constexpr const char* kApp = "Dwellor";
constexpr const char* kSection = "Program";

std::string trimmed(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

// A plain non-negative decimal integer, at most `max`.
bool readUnsigned(const std::string& text, std::int64_t max, std::int64_t& out) {
    std::string t = trimmed(text);
    if (!t.empty() && t[0] == '+') t.erase(0, 1);
    if (t.empty() || t.size() > 18) return false;
    std::int64_t v = 0;
    for (char c : t) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v > max) return false;
    out = v;
    return true;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

bool readInterval(const std::string& text, std::int32_t& out) {
    std::int64_t v = 0;
    if (!readUnsigned(text, std::numeric_limits<std::int32_t>::max(), v)) return false;
    out = static_cast<std::int32_t>(v);
    return true;
}

bool readDrag(const std::string& text, std::int16_t& out) {
    std::int64_t v = 0;
    if (!readUnsigned(text, 1, v)) return false;
    out = static_cast<std::int16_t>(v);
    return true;
}

bool readBool(const std::string& text, bool& out) {
    const std::string t = lower(trimmed(text));
    if (t == "true") out = true;
    else if (t == "false") out = false;
    else return false;
    return true;
}

std::string SettingsStore::read(const char* key, const char* def) {
    return backend_.GetSetting(kApp, kSection, key, def);
}

void SettingsStore::write(const char* key, const std::string& text) {
    backend_.SaveSetting(kApp, kSection, key, text);
}

std::int32_t SettingsStore::interval() {
    // A period outside what the dwell field takes would stop the timer for good.
    std::int32_t v = 1000;
    return readInterval(read("Interval", "1000"), v) && v >= 1 && v < 35000 ? v : 1000;
}

std::int16_t SettingsStore::drag() {
    std::int16_t v = 0;
    return readDrag(read("Drag", "0"), v) ? v : 0;
}

bool SettingsStore::enabled() {
    bool v = true;
    return readBool(read("Enabled", "True"), v) ? v : true;
}

bool SettingsStore::flag(const char* key) {
    bool v = false;
    return readBool(read(key, "False"), v) && v;
}

bool SettingsStore::steady() { return flag("Steady"); }
bool SettingsStore::repeat() { return flag("Repeat"); }
bool SettingsStore::countdown() { return flag("Countdown"); }

std::optional<Point> SettingsStore::place() {
    // Far beyond any desktop is not a place: junk, not a window put there.
    constexpr std::int64_t kFar = 1000000;
    std::int64_t at[2] = {0, 0};
    const char* keys[2] = {"Left", "Top"};
    for (int i = 0; i < 2; ++i) {
        std::string t = trimmed(read(keys[i], ""));
        const bool negative = !t.empty() && t[0] == '-';
        if (negative) t.erase(0, 1);
        if (!readUnsigned(t, kFar, at[i])) return std::nullopt;
        if (negative) at[i] = -at[i];
    }
    return Point{static_cast<std::int32_t>(at[0]), static_cast<std::int32_t>(at[1])};
}

int SettingsStore::radius() {
    std::int64_t v = 6;
    return readUnsigned(read("Radius", "6"), 30, v) ? static_cast<int>(v) : 6;
}


void SettingsStore::saveInterval(std::int32_t ms) { write("Interval", std::to_string(ms)); }
void SettingsStore::saveDrag(std::int16_t value) { write("Drag", std::to_string(value)); }
void SettingsStore::saveEnabled(bool on) { saveFlag("Enabled", on); }
void SettingsStore::saveFlag(const char* key, bool on) { write(key, on ? "True" : "False"); }
void SettingsStore::saveRadius(int px) { write("Radius", std::to_string(px)); }
void SettingsStore::savePlace(Point topLeft) {
    write("Left", std::to_string(topLeft.x));
    write("Top", std::to_string(topLeft.y));
}

}  // namespace dwellor
