#pragma once
// The window, its controls and handlers and the click keep the names of the
// program's design on purpose (Form1, Timer1, Text1, Command3_Click,
// PerformClick, cSysTray, ...): do not restyle them.
#include <string>

#include "engine/dwell_engine.h"
#include "platform/command.h"
#include "platform/platform.h"
#include "settings/settings_store.h"
#include "tray/tray_icon.h"
#include "window/countdown.h"
#include "window/settings_window.h"

namespace dwellor {

// The program's one window: its controls, start-up, run state, interval
// fields, click-mode selector and tray handling. It owns all state for the
// life of the process; the controls hold the configuration.
class Form1 {
public:
    explicit Form1(Platform platform);

    // Handlers, one per control event.
    void Form_Load();
    void Form_Resize();
    void Command1_Click();  // Hide
    void Command2_Click();  // Exit
    void Command3_Click();  // Toggle
    void Text1_Change();
    void Text2_Change();
    void Check2_Click();
    void Label4_Click();  // Left
    void Label6_Click();  // Right
    void Label7_Click();  // Double
    void cSysTray_MouseMove(int x);
    void cSysTray_HostGone();
    void Timer1_Timer() { engine_.Timer1_Timer(); }
    // The window system asks the window to close (its title bar's button).
    void Form_QueryUnload();
    void Form_PointerInside(bool inside);
    // The "Settings…" button.
    void Settings_Click();
    // The window was moved: its place is stored once it has stayed a while.
    void Form_Moved();

    // Shows the window (at start-up, from the tray, on request).
    void ShowWindow();

    // A command sent by a later start of the program.
    void RemoteCommand(Command command);
    // Start-up in the notification area; false (and nothing changed) when no
    // icon could be added, so the caller shows the window instead.
    // Never while clicking is off: the Toggle that wakes it must be in reach.
    bool StartInTray();

    // Lets go of a drag press the engine still holds; run before the program ends.
    void releaseHeldButton() { engine_.releaseHeldButton(); }

    static constexpr const char* kAlive = "Dwellor is alive and clicking";
    static constexpr const char* kDisabled = "Dwellor is currently disabled";
    static constexpr const char* kInvalid = "Please enter a valid interval!";
    static constexpr const char* kCaptionEnabled = "Dwellor - Enabled";
    static constexpr const char* kCaptionDisabled = "Dwellor - Disabled";
    static constexpr const char* kAskExit = "Exit Dwellor";
    static constexpr const char* kAskKeep = "Keep clicking";
    static constexpr int kAskTimeoutMs = 10000;
    static constexpr const char* kSettings = "Settings\u2026";
    // A window dragged about is stored once, after it has stayed this long.
    static constexpr int kPlaceSaveMs = 1000;

private:
    void showRunState(bool enabled);
    void selectMode(ILabel& chosen, ILabel& first, ILabel& second);
    // Tells a screen reader which mode label is selected, read from the colours.
    void describeModes();
    void HideToTray();
    void RestoreFromTray();
    void keepToggleInSight();
    // Ending that the engine's own click asked for is asked once more.
    void endOrAsk();
    void end();
    void answer(bool exit);
    void closeAsk();
    // Runs the wake watch exactly while clicking is off and the pointer is
    // over the shown window, and watches the pointer move exactly while the
    // steady rule clicks.
    void updateWakeWatch();
    // Tells rests by `rule`, where the pointer's moves can be watched for it.
    void applyRule(RestRule rule);
    // Shows a period in effect in Text1 (and its drag interval in Text2).
    void showPeriod(std::int32_t ms);
    // Sets the dwell period from the Settings window: shown, stored, and in
    // effect from the next rest, without pausing.
    void setPeriod(std::int32_t ms);
    // Puts the window where it was last time, on a screen.
    void restorePlace();
    void savePlace();

    IWindow& window_;
    SettingsStore settings_;
    TrayIcon tray_;

    IButton& Command1;
    IButton& Command2;
    ITextBox& Text1;
    ILabel& Label1;
    ILabel& Label3;
    ICheckBox& Check2;
    ITextBox& Text2;
    IPictureBox& cSysTray;
    ILabel& Label7;
    ILabel& Label6;
    ILabel& Label4;
    IButton& Command3;
    IButton& SettingsButton;
    ITickTimer& Timer1;
    ITickTimer& wakeWatch_;
    ITickTimer& askTimeout_;
    IPrompt& ask_;
    ITickTimer& motionGap_;
    IPointerMotion& motion_;
    ITickTimer& placeSave_;
    std::optional<Point> placeSaved_;
    bool pointerInside_ = false;
    bool watchingMotion_ = false;
    bool showingStored_ = false;

    DwellEngine engine_;
    SettingsWindow settingsWindow_;
    Countdown countdown_;
};

}  // namespace dwellor
