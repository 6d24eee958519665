#pragma once
#include <cstdint>
#include <functional>

#include "engine/dwell_engine.h"
#include "platform/autostart.h"
#include "platform/window.h"
#include "settings/settings_store.h"

namespace dwellor {

// What the settings change in the running program; each takes effect at once.
struct SettingsActions {
    std::function<std::int32_t()> period;         // the dwell period in effect
    std::function<void(std::int32_t)> setPeriod;  // without pausing clicking
    std::function<void(const RestRule&)> setRule;
    std::function<void(bool)> setCountdown;
};

// A window of large targets for everything a person who can only rest the
// pointer needs to set: the period by steps, the rest rule, the countdown,
// the start at login. Every change is stored at once; there is no OK.
class SettingsWindow {
public:
    SettingsWindow(IWindow& owner, SettingsStore& store, IAutostart& autostart, SettingsActions actions);

    // Shows the values in effect (the rule and countdown as read at start).
    void load(const RestRule& rule, bool countdown);
    // Opens beside `beside` (the main window's frame), on a screen, or brings
    // an open one to the front.
    void open(Rect beside);
    void close() { window_.setVisible(false); }
    bool isOpen() const { return window_.visible(); }
    bool clientAreaContains(Point p) const { return window_.clientAreaContains(p); }
    // The period in effect changed elsewhere (typed in the main window).
    void showPeriod(std::int32_t ms);

    // One step from `ms` in `direction` (+1 or -1): to the next whole step,
    // within the steppers' range; a press that points out of it does nothing.
    static std::int32_t stepPeriod(std::int32_t ms, int direction);
    static constexpr std::int32_t kPeriodStep = 100, kPeriodMin = 100, kPeriodMax = 5000;
    static constexpr int kRadiusMax = 30;

private:
    void stepRadius(int direction);
    void showAutostart();
    void ruleChanged(const char* key, ICheckBox& box, bool& value);

    IWindow& window_;
    SettingsStore& store_;
    IAutostart& autostart_;
    SettingsActions actions_;
    ILabel* periodValue_;
    ICheckBox* steady_;
    ILabel* radiusValue_;
    ICheckBox* repeat_;
    ICheckBox* countdown_;
    ICheckBox* autostartBox_;
    RestRule rule_;
    bool loading_ = false;  // values written by the program, not chosen
};

}  // namespace dwellor
