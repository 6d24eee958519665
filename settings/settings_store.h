#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "platform/settings_backend.h"
#include "platform/types.h"

namespace dwellor {

// The remembered values, under application "Dwellor", section "Program". A stored text that does not convert, or converts to something
// its control cannot take, reads as that key's default.
class SettingsStore {
public:
    explicit SettingsStore(ISettingsBackend& backend) : backend_(backend) {}

    std::int32_t interval();  // "Interval": 1 .. 34999, default 1000
    std::int16_t drag();      // "Drag": 0 or 1, default 0
    bool enabled();           // "Enabled": True or False, default True
    // How a rest is told.
    bool steady();            // "Steady": True or False, default False
    int radius();             // "Radius": whole pixels 0 .. 30, default 6
    bool repeat();            // "Repeat": True or False, default False
    bool countdown();         // "Countdown": True or False, default False
    // "Left" and "Top": where the window's frame was; none unless both read.
    std::optional<Point> place();

    void saveInterval(std::int32_t ms);
    void saveDrag(std::int16_t value);
    void saveEnabled(bool on);
    // "Steady", "Repeat", "Countdown": True or False.
    void saveFlag(const char* key, bool on);
    void saveRadius(int px);
    void savePlace(Point topLeft);

private:
    bool flag(const char* key);
    std::string read(const char* key, const char* def);
    void write(const char* key, const std::string& text);
    ISettingsBackend& backend_;
};

// The conversions, exposed for testing. Each returns false for a text that
// does not convert.
bool readInterval(const std::string& text, std::int32_t& out);
bool readDrag(const std::string& text, std::int16_t& out);
bool readBool(const std::string& text, bool& out);

}  // namespace dwellor
