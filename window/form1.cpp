#include "window/form1.h"

#include "engine/numbers.h"
#include "platform/screen_place.h"

namespace dwellor {

namespace {

constexpr int kTwipsPerPixel = 15;

ControlDesc control(const char* name, const char* text, const char* tooltip, int left, int top,
                    int width, int height) {
    ControlDesc s;
    s.name = name;
    s.text = text;
    s.tooltip = tooltip;
    s.rect = {left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
              height / kTwipsPerPixel};
    return s;
}

ControlDesc centred(ControlDesc s) {
    s.align = Align::Centre;
    return s;
}

// The mode is read from the labels' colour; show it unblended. A screen
// reader hears the mode's name instead of the letter.
ControlDesc modeLabel(ControlDesc s, const char* accessibleName) {
    s.exactColour = true;
    s.accessibleName = accessibleName;
    return s;
}

// An interval field: its label is the text above it, which a screen reader
// does not tie to it; its tooltip says what to do.
ControlDesc intervalBox(ControlDesc s, const char* accessibleName) {
    s.accessibleName = accessibleName;
    s.accessibleDescription = s.tooltip;
    return s;
}

constexpr const char* kSelected = "selected";
constexpr const char* kNotSelected = "not selected";

ControlDesc labelOne() {
    ControlDesc s = control("Label1",
                            "Specify for how much time the mouse has to stay in the same position "
                            "before clicking (ms):",
                            "", 120, 600, 2535, 615);
    s.wordWrap = true;
    return s;
}

ControlDesc statusLine() {
    ControlDesc s = centred(control("Label3", "Dwellor is alive and clicking.", "", 0, 2640, 2805, 255));
    s.border = true;
    s.status = true;
    return s;
}

// Under the status line, the width of the window: a large target.
ControlDesc settingsButton() {
    ControlDesc s;
    s.name = "Settings";
    s.text = Form1::kSettings;
    s.tooltip = "The period, steady rest, the countdown and more, with large buttons";
    s.rect = {0, 195, 188, 32};
    return s;
}

ControlDesc trayOwner() {
    ControlDesc s = control("cSysTray", "", "", 120, 2160, 240, 240);
    s.visible = false;
    return s;
}

}  // namespace

// Controls are created in tab order.
Form1::Form1(Platform p)
    : window_(p.window),
      settings_(p.settings),
      tray_(p.tray),
      Command1(window_.addButton(control("Command1", "Hide", "Hide Dwellor's main window", 75, 120, 735, 375))),
      Command2(window_.addButton(control("Command2", "Exit", "You don't want to press this", 1995, 120, 735, 375))),
      Text1(window_.addTextBox(intervalBox(control("Text1", "1000", "Enter the interval", 600, 1200, 1815, 285),
                                           "Dwell interval in milliseconds"))),
      Label1(window_.addLabel(labelOne())),
      Label3(window_.addLabel(statusLine())),
      Check2(window_.addCheckBox(control("Check2", "Enable Dragging", "Check this to be able to drag", 120, 1560, 2655, 255))),
      Text2(window_.addTextBox(intervalBox(control("Text2", "500", "Specify the dragging interval", 600, 1920, 1815, 285),
                                           "Drag interval in milliseconds"))),
      cSysTray(window_.addPictureBox(trayOwner())),
      Label7(window_.addLabel(modeLabel(control("Label7", "Double", "Double-click. Appears as yellow in the system tray", 1155, 2400, 615, 255), "Double click"))),
      Label6(window_.addLabel(modeLabel(centred(control("Label6", "R", "Right-click. Appears as red in the system tray", 1755, 2400, 255, 255)), "Right click"))),
      Label4(window_.addLabel(modeLabel(centred(control("Label4", "L", "Left-click. Appears as green in the system tray", 795, 2400, 255, 255)), "Left click"))),
      Command3(window_.addButton(control("Command3", "Toggle", "Enable/Disable Dwellor", 1035, 120, 735, 375))),
      SettingsButton(window_.addButton(settingsButton())),
      Timer1(window_.addTimer("Timer1")),
      wakeWatch_(window_.addTimer("WakeWatch")),
      askTimeout_(window_.addTimer("AskTimeout")),
      ask_(window_.addPrompt()),
      motionGap_(window_.addTimer("MotionGap")),
      motion_(p.motion),
      placeSave_(window_.addTimer("PlaceSave")),
      engine_({Timer1, Text1, Text2, Check2, Label4, Label6, Label7}, p.pointer, p.mouse,
              [this](Point at) {
                  return window_.clientAreaContains(at) || ask_.clientAreaContains(at) ||
                         settingsWindow_.clientAreaContains(at);
              }),
      settingsWindow_(window_, settings_, p.autostart,
                      {[this] { return validPeriod(Text1.text()).value_or(Timer1.interval()); }, [this](std::int32_t ms) { setPeriod(ms); },
                       [this](const RestRule& r) { applyRule(r); }, [this](bool on) { countdown_.setOn(on); }}),
      countdown_(window_.addTimer("CountdownFrame"), Timer1, p.pointer, window_.addCountdownMark(),
                 [this] { return engine_.pressHeld(); }) {
    // One row more than the controls above need: the Settings button.
    window_.setClientSize(2820 / kTwipsPerPixel, 2895 / kTwipsPerPixel + 36);
    window_.setIcon(window_.loadImage(Image::WindowIcon));
    window_.setCaption(kCaptionEnabled);
    Label6.setForeColour(kBlack);
    Label4.setForeColour(kRed);
    describeModes();
    Label4.setMouseIcon(window_.loadImage(Image::Green));
    Label6.setMouseIcon(window_.loadImage(Image::Red));
    Label7.setMouseIcon(window_.loadImage(Image::Yellow));
    cSysTray.setPicture(window_.loadImage(Image::Green));
    Timer1.setInterval(1000);
    Timer1.setEnabled(true);

    Command1.onClick([this] { Command1_Click(); });
    Command2.onClick([this] { Command2_Click(); });
    Command3.onClick([this] { Command3_Click(); });
    SettingsButton.onClick([this] { Settings_Click(); });
    window_.onMoved([this] { Form_Moved(); });
    placeSave_.setEnabled(false);
    placeSave_.onTick([this] {
        placeSave_.setEnabled(false);
        savePlace();
    });
    engine_.onExpect([this](std::optional<DwellEngine::Expected> e) { countdown_.expect(e); });
    Text1.onChange([this] { Text1_Change(); });
    Text2.onChange([this] { Text2_Change(); });
    Check2.onClick([this] { Check2_Click(); });
    Label4.onClick([this] { Label4_Click(); });
    Label6.onClick([this] { Label6_Click(); });
    Label7.onClick([this] { Label7_Click(); });
    tray_.onMouseMove([this](int x) { cSysTray_MouseMove(x); });
    tray_.onHostGone([this] { cSysTray_HostGone(); });
    Timer1.onTick([this] { Timer1_Timer(); });
    window_.onResize([this] { Form_Resize(); });
    window_.onPointerInside([this](bool inside) { Form_PointerInside(inside); });
    window_.onCloseRequest([this] { Form_QueryUnload(); });

    wakeWatch_.setEnabled(false);
    wakeWatch_.onTick([this] { engine_.wakeTick([this](Point at) { return Command3.contains(at); }); });
    askTimeout_.setEnabled(false);
    askTimeout_.setInterval(kAskTimeoutMs);
    askTimeout_.onTick([this] { answer(false); });
    ask_.onAnswer([this](bool exit) { answer(exit); });
    motion_.onMoved([this] { engine_.pointerMoved(); });
}

void Form1::updateWakeWatch() {
    const bool moving = engine_.rule().steady && Timer1.enabled();
    if (moving != watchingMotion_) {
        watchingMotion_ = moving;
        motion_.watchMotion(moving);
        engine_.runStateChanged();
    }
    const bool on = !Timer1.enabled() && pointerInside_ && window_.visible() &&
                    window_.windowState() == WindowState::Normal;
    if (on == wakeWatch_.enabled()) return;
    if (on) {
        // The dwell period when it is one a person can wait out.
        const std::int32_t period = Timer1.interval();
        wakeWatch_.setInterval(period > 0 && period < 35000 ? period : 1000);
        engine_.restartWakeWatch();
    }
    wakeWatch_.setEnabled(on);
}

void Form1::Form_PointerInside(bool inside) {
    pointerInside_ = inside;
    updateWakeWatch();
}

void Form1::showRunState(bool enabled) {
    if (enabled) {
        Label3.setText(kAlive);
        window_.setCaption(kCaptionEnabled);
    } else {
        Label3.setText(kDisabled);
        window_.setCaption(kCaptionDisabled);
    }
}

void Form1::Form_Load() {
    Timer1.setInterval(settings_.interval());
    showPeriod(Timer1.interval());
    // A different value runs Check2's click handler right here.
    Check2.setValue(settings_.drag());
    Timer1.setEnabled(settings_.enabled());
    const RestRule rule{settings_.steady(), settings_.radius(), settings_.repeat()};
    applyRule(rule);
    countdown_.setOn(settings_.countdown());
    settingsWindow_.load(rule, countdown_.on());
    restorePlace();
    if (Timer1.enabled()) {
        showRunState(true);
    } else {
        window_.setCaption(kCaptionDisabled);
        Label3.setText(kDisabled);
    }
    updateWakeWatch();
}

void Form1::applyRule(RestRule rule) {
    // Where the pointer's moves cannot be watched, rests are told as always.
    if (rule.steady && !watchingMotion_) {
        if (!motion_.watchMotion(true)) rule.steady = false;
        motion_.watchMotion(false);
    }
    // A press is not carried from one rule to the other.
    releaseHeldButton();
    engine_.useRule(rule, motionGap_);
    updateWakeWatch();
}

void Form1::showPeriod(std::int32_t ms) {
    // The period in use is the one shown, and the drag interval is derived
    // from it as an edit would; showing it pauses and stores nothing.
    showingStored_ = true;
    Text1.setText(std::to_string(ms));
    showingStored_ = false;
}

void Form1::setPeriod(std::int32_t ms) {
    showPeriod(ms);
    engine_.periodChanged();
    settings_.saveInterval(ms);
    settingsWindow_.showPeriod(ms);
    // A field left invalid is mended now; clicking stays as it was.
    if (!Timer1.enabled()) showRunState(false);
}

void Form1::Settings_Click() {
    // Opened beside the window, not under the pointer; still, nothing there
    // is clicked before the pointer moves.
    engine_.holdOwnClicksUntilMoved();
    settingsWindow_.open(window_.frame());
}

void Form1::restorePlace() {
    placeSaved_ = settings_.place();
    if (!placeSaved_) return;
    const Rect f = window_.frame();
    window_.moveTo(keepOnScreen({placeSaved_->x, placeSaved_->y, f.width, f.height}, window_.screens()));
}

void Form1::Form_Moved() {
    // Restarted by every move: a drag is stored once, where it ends.
    placeSave_.setInterval(kPlaceSaveMs);
    placeSave_.setEnabled(true);
}

void Form1::savePlace() {
    // A minimised window's place is not where it comes back.
    if (window_.windowState() == WindowState::Minimised) return;
    const Rect f = window_.frame();
    const Point at{f.left, f.top};
    if (placeSaved_ == at) return;
    placeSaved_ = at;
    settings_.savePlace(at);
}

void Form1::Command3_Click() {
    // A drag press must not stay held while nothing clicks.
    if (Timer1.enabled()) releaseHeldButton();
    Timer1.setEnabled(!Timer1.enabled());
    settings_.saveEnabled(Timer1.enabled());
    if (Timer1.enabled()) {
        settings_.saveInterval(Timer1.interval());
        settings_.saveDrag(Check2.value());
    }
    showRunState(Timer1.enabled());
    keepToggleInSight();
    updateWakeWatch();
}

void Form1::keepToggleInSight() {
    // Switched off from elsewhere (a command) while in the tray or minimised:
    // only a rest on Toggle wakes it now, so Toggle must be in sight.
    if (!Timer1.enabled() && !(window_.visible() && window_.windowState() == WindowState::Normal)) RestoreFromTray();
}

void Form1::Command2_Click() { endOrAsk(); }

void Form1::Form_QueryUnload() { endOrAsk(); }

void Form1::endOrAsk() {
    const std::optional<Point> at = engine_.ownClickHere();
    if (!at) return end();
    PromptDesc d;
    d.caption = "Dwellor";
    d.yes = kAskExit;
    d.no = kAskKeep;
    d.near = *at;
    // Opened beside the pointer, not under it; still, nothing there is
    // clicked before the pointer moves.
    engine_.holdOwnClicksUntilMoved();
    ask_.open(d);
    // A question asked again waits its full time again.
    askTimeout_.setEnabled(false);
    askTimeout_.setEnabled(true);
}

void Form1::closeAsk() {
    askTimeout_.setEnabled(false);
    ask_.close();
}

void Form1::answer(bool exit) {
    if (exit) return end();
    closeAsk();
}

void Form1::end() {
    closeAsk();
    savePlace();
    releaseHeldButton();
    window_.unload();
}

void Form1::Text1_Change() {
    if (showingStored_) return Text2.setText(decimalText(parseNumber(Text1.text()) / 2));
    releaseHeldButton();
    Timer1.setEnabled(false);
    settings_.saveEnabled(Timer1.enabled());
    showRunState(false);
    updateWakeWatch();
    if (const std::optional<std::int32_t> period = validPeriod(Text1.text())) {
        Timer1.setInterval(*period);
        settingsWindow_.showPeriod(*period);
        Text2.setText(decimalText(parseNumber(Text1.text()) / 2));  // runs Text2_Change nested
        Label3.setText(kDisabled);
    } else {
        Label3.setText(kInvalid);
    }
}

void Form1::Text2_Change() {
    if (!Text2.text().empty()) Text2.setText(decimalText(parseNumber(Text2.text())));
    const double dwell = parseNumber(Text1.text());
    if (parseNumber(Text2.text()) > dwell) Text2.setText(decimalText(dwell / 2));
}

void Form1::Check2_Click() {
    settings_.saveDrag(Check2.value());
    if (Check2.value() == 1) {
        Text2.setVisible(true);
    } else {
        Text2.setVisible(false);
        // A dwell text that gives no period leaves the one running.
        if (const std::optional<std::int32_t> period = validPeriod(Text1.text())) Timer1.setInterval(*period);
    }
}

void Form1::selectMode(ILabel& chosen, ILabel& first, ILabel& second) {
    chosen.setForeColour(kRed);
    first.setForeColour(kBlack);
    second.setForeColour(kBlack);
    describeModes();
    // Refused while the window is shown (there is no icon then); that is fine.
    tray_.SetTrayIcon(cSysTray, chosen.mouseIcon(), 1);
}

void Form1::describeModes() {
    for (ILabel* l : {&Label4, &Label7, &Label6})
        l->setAccessibleDescription(l->foreColour() == kRed ? kSelected : kNotSelected);
}

void Form1::Label4_Click() { selectMode(Label4, Label6, Label7); }
void Form1::Label6_Click() { selectMode(Label6, Label4, Label7); }
void Form1::Label7_Click() { selectMode(Label7, Label6, Label4); }

void Form1::HideToTray() {
    if (tray_.AddTrayIcon(cSysTray, "Dwellor", window_.icon(), 1)) {
        window_.setVisible(false);
        updateWakeWatch();
        return;
    }
    // Without an icon to come back through, hiding would lose the window: it
    // goes to the task bar instead. Minimising runs this again, and that try
    // leaves it minimised.
    if (window_.windowState() != WindowState::Minimised) window_.setWindowState(WindowState::Minimised);
}

void Form1::Command1_Click() { HideToTray(); }

void Form1::Form_Resize() {
    if (window_.windowState() == WindowState::Minimised) HideToTray();
    updateWakeWatch();
}

void Form1::ShowWindow() {
    // Appearing under a resting pointer is not a rest on a control. Taken
    // before it appears: any move from then on counts.
    engine_.holdOwnClicksUntilMoved();
    window_.show();
    updateWakeWatch();
}

void Form1::RestoreFromTray() {
    window_.setWindowState(WindowState::Normal);
    ShowWindow();
    tray_.RemoveTrayIcon(cSysTray, 1);
}

bool Form1::StartInTray() {
    return Timer1.enabled() && tray_.AddTrayIcon(cSysTray, "Dwellor", window_.icon(), 1) != kFalse;
}

void Form1::RemoteCommand(Command command) {
    switch (command) {
        case Command::Toggle: Command3_Click(); break;
        case Command::Enable:
        case Command::Disable:
            if (Timer1.enabled() != (command == Command::Enable)) Command3_Click();
            else keepToggleInSight();
            break;
        // Also when the window is shown: it comes to the front. Removing an
        // icon that does not exist is refused harmlessly.
        case Command::Show: RestoreFromTray(); break;
        case Command::Quit: end(); break;
    }
}

void Form1::cSysTray_MouseMove(int x) {
    if (x == WM_LBUTTONUP) {
        RestoreFromTray();
    } else if (x == WM_RBUTTONUP) {
        if (Label4.foreColour() == kRed) {
            Label7_Click();
        } else if (Label7.foreColour() == kRed) {
            Label6_Click();
        } else if (Label6.foreColour() == kRed) {
            Label4_Click();
        }
    }
}

void Form1::cSysTray_HostGone() {
    // The icon went with the tray: the window is the only way back.
    window_.setWindowState(WindowState::Normal);
    ShowWindow();
}

}  // namespace dwellor
