#include "window/settings_window.h"

#include <algorithm>
#include <string>

#include "platform/screen_place.h"

namespace dwellor {

namespace {

constexpr int kWidth = 264, kHeight = 382, kMargin = 12, kGapToMain = 8;

ControlDesc at(const char* name, const char* text, Rect r, const char* tooltip = "") {
    ControlDesc d;
    d.name = name;
    d.text = text;
    d.tooltip = tooltip;
    d.rect = r;
    return d;
}

ControlDesc stepper(const char* name, const char* text, int top, bool right, const char* accessibleName) {
    ControlDesc d = at(name, text, {right ? kWidth - kMargin - 48 : kMargin, top, 48, 48}, accessibleName);
    d.accessibleName = accessibleName;
    d.large = true;  // the sign read from afar, as the value beside it
    return d;
}

ControlDesc value(const char* name, int top) {
    ControlDesc d = at(name, "", {kMargin + 52, top, kWidth - 2 * (kMargin + 52), 48});
    d.align = Align::Centre;
    d.large = true;
    return d;
}

ControlDesc toggle(const char* name, const char* text, int top, const char* tooltip) {
    return at(name, text, {kMargin, top, kWidth - 2 * kMargin, 32}, tooltip);
}

bool onOneScreen(const Rect& r, const std::vector<Rect>& screens) {
    return std::any_of(screens.begin(), screens.end(), [&](const Rect& s) { return within(r, s); });
}

}  // namespace

// Controls are made in tab order.
SettingsWindow::SettingsWindow(IWindow& owner, SettingsStore& store, IAutostart& autostart, SettingsActions actions)
    : window_(owner.addWindow("Settings")), store_(store), autostart_(autostart), actions_(std::move(actions)) {
    const int wide = kWidth - 2 * kMargin;
    window_.addLabel(at("PeriodLabel", "Dwell period (ms)", {kMargin, 10, wide, 18}));
    periodValue_ = &window_.addLabel(value("PeriodValue", 32));
    window_.addButton(stepper("PeriodDown", "\u2212", 32, false, "Shorter dwell period"))
        .onClick([this] { actions_.setPeriod(stepPeriod(actions_.period(), -1)); });
    window_.addButton(stepper("PeriodUp", "+", 32, true, "Longer dwell period"))
        .onClick([this] { actions_.setPeriod(stepPeriod(actions_.period(), +1)); });
    steady_ = &window_.addCheckBox(
        toggle("Steady", "Steady rest", 92, "Click once per rest, for a pointer that is never quite still"));
    window_.addLabel(at("RadiusLabel", "Steady radius (px)", {kMargin, 130, wide, 18}));
    radiusValue_ = &window_.addLabel(value("RadiusValue", 152));
    window_.addButton(stepper("RadiusDown", "\u2212", 152, false, "Smaller steady radius"))
        .onClick([this] { stepRadius(-1); });
    window_.addButton(stepper("RadiusUp", "+", 152, true, "Larger steady radius")).onClick([this] { stepRadius(+1); });
    repeat_ = &window_.addCheckBox(
        toggle("Repeat", "Repeat while resting", 212, "With steady rest: click every period while the pointer rests"));
    countdown_ = &window_.addCheckBox(
        toggle("Countdown", "Countdown at the pointer", 250, "Show a ring beside the pointer that fills until the click"));
    autostartBox_ = &window_.addCheckBox(toggle("Autostart", "Start at login", 288, "Start Dwellor, hidden, when you log in"));
    window_.addButton(at("Close", "Close", {kMargin, 330, wide, 40})).onClick([this] { close(); });
    window_.setCaption("Dwellor Settings");
    window_.setClientSize(kWidth, kHeight);
    window_.onCloseRequest([this] { close(); });

    steady_->onClick([this] { ruleChanged("Steady", *steady_, rule_.steady); });
    repeat_->onClick([this] { ruleChanged("Repeat", *repeat_, rule_.repeat); });
    countdown_->onClick([this] {
        if (loading_) return;
        store_.saveFlag("Countdown", countdown_->value() == 1);
        actions_.setCountdown(countdown_->value() == 1);
    });
    autostartBox_->onClick([this] {
        if (loading_) return;
        // Refused (a read-only folder, a locked registry): the box shows the truth.
        if (!autostart_.setEnabled(autostartBox_->value() == 1)) showAutostart();
    });
}

void SettingsWindow::showAutostart() {
    loading_ = true;
    autostartBox_->setValue(autostart_.enabled() ? 1 : 0);
    loading_ = false;
}

std::int32_t SettingsWindow::stepPeriod(std::int32_t ms, int direction) {
    if (direction > 0 ? ms >= kPeriodMax : ms <= kPeriodMin) return ms;
    // Onto the steps: from 750 up is 800, down is 700.
    const std::int32_t below = ms / kPeriodStep * kPeriodStep;
    const std::int32_t next = direction > 0 ? below + kPeriodStep : (below == ms ? ms - kPeriodStep : below);
    return std::clamp(next, kPeriodMin, kPeriodMax);
}

void SettingsWindow::load(const RestRule& rule, bool countdown) {
    rule_ = rule;
    loading_ = true;
    steady_->setValue(rule.steady ? 1 : 0);
    repeat_->setValue(rule.repeat ? 1 : 0);
    countdown_->setValue(countdown ? 1 : 0);
    loading_ = false;
    radiusValue_->setText(std::to_string(rule.radius));
    showPeriod(actions_.period());
}

void SettingsWindow::showPeriod(std::int32_t ms) { periodValue_->setText(std::to_string(ms)); }

void SettingsWindow::open(Rect beside) {
    // The login entry may have been changed from the command line meanwhile.
    showAutostart();
    showPeriod(actions_.period());
    if (!window_.visible()) {
        // Beside the main window, not over it: right of it, else left of it.
        const Rect f = window_.frame();
        const std::vector<Rect> screens = window_.screens();
        Rect r{beside.left + beside.width + kGapToMain, beside.top, f.width, f.height};
        if (!onOneScreen(r, screens)) r.left = beside.left - kGapToMain - f.width;
        if (!onOneScreen(r, screens)) r.left = beside.left + beside.width + kGapToMain;
        window_.moveTo(keepOnScreen(r, screens));
    }
    window_.show();
}

void SettingsWindow::stepRadius(int direction) {
    const int r = std::clamp(rule_.radius + direction, 0, kRadiusMax);
    if (r == rule_.radius) return;
    rule_.radius = r;
    radiusValue_->setText(std::to_string(r));
    store_.saveRadius(r);
    actions_.setRule(rule_);
}

void SettingsWindow::ruleChanged(const char* key, ICheckBox& box, bool& value) {
    if (loading_) return;
    value = box.value() == 1;
    store_.saveFlag(key, value);
    actions_.setRule(rule_);
}

}  // namespace dwellor
