#pragma once
// The window, its controls and handlers and the click keep the names of the
// program's design on purpose (Form1, Timer1, Text1, Command3_Click,
// PerformClick, cSysTray, ...): do not restyle them.
#include <functional>
#include <optional>

#include "platform/check_box.h"
#include "platform/label.h"
#include "platform/mouse_input.h"
#include "platform/pointer.h"
#include "platform/text_box.h"
#include "platform/tick_timer.h"
#include "platform/types.h"

namespace dwellor {

// The controls the engine reads at the moment it needs them; it keeps no copy
// of the configuration.
struct EngineControls {
    ITickTimer& Timer1;
    ITextBox& Text1;   // dwell interval
    ITextBox& Text2;   // drag interval
    ICheckBox& Check2; // drag option, 1 = on
    ILabel& Label4;    // Left
    ILabel& Label6;    // Right
    ILabel& Label7;    // Double
};

// Decides on every tick whether the pointer rests and injects the selected
// click; in drag mode alternates press and release.
class DwellEngine {
public:
    // `insideOwnWindow` tells whether a point on the screen lies in the
    // client area of the program's own window.
    DwellEngine(EngineControls controls, IPointer& pointer, IMouseInput& mouse,
                std::function<bool(Point)> insideOwnWindow = {});

    // The tick of Timer1.
    void Timer1_Timer();

    // While clicking is off, a tick of the watch that runs while the pointer
    // is over the window: a rest on the one control `wakes` says yes to gets
    // one plain left click, once per rest. Nothing else is ever clicked.
    void wakeTick(const std::function<bool(Point)>& wakes);
    // Starts a new rest for wakeTick: the first tick after this only looks.
    void restartWakeWatch() { wakePrevious_.reset(); }

    // The program's own windows get one click per rest: after a click there,
    // the pointer must move before the next. The same holds from now on, so
    // that a window appearing under a resting pointer is not clicked.
    void holdOwnClicksUntilMoved();
    // Where the pointer is, when it is still where the engine last clicked
    // the program's own window: what was just clicked was the engine's doing.
    std::optional<Point> ownClickHere();

    // Injects the selected click. `release` matters only for Left with the
    // drag option on: true releases, false presses.
    void PerformClick(VBool release);

    // Releases a left press injected in drag mode that is still held, as
    // the next rest would (the drag ends, the dwell period is back), so that
    // no button stays down while clicking is paused or after the program ends.
    void releaseHeldButton();

    // The dwell period from Text1; while its text gives none a timer could
    // run on, the one clicking ran on before the last press.
    std::int32_t dwellPeriod() const;

private:
    void inject(std::uint32_t flags);
    void clickLeft(VBool release);
    bool dragOn() const { return c_.Check2.value() == 1; }

    EngineControls c_;
    IPointer& pointer_;
    IMouseInput& mouse_;
    std::function<bool(Point)> insideOwnWindow_;
    // The resting pointer is over the program's own window: its controls
    // answer the left button only, so that is what it gets.
    bool overOwnWindow_ = false;

    Point CursorSample;
    // Coordinates are kept whole even beyond the 16-bit range, so a pointer
    // resting far out on a large desktop is still recognised and two distinct
    // far positions are never taken for the same one.
    Point PreviousSample;
    std::optional<bool> DragPhase;  // not set, false or true
    std::int32_t lastDwellPeriod_ = 1000;
    bool leftHeld_ = false;

    // A reading elsewhere than `at` ends the hold on own-window clicks.
    void noteReading(Point p);
    struct OwnHold {
        std::optional<Point> at;  // unset: taken at the next reading
        bool clicked = false;     // set by a click, not by a window appearing
    };
    std::optional<OwnHold> ownHold_;
    std::optional<Point> wakePrevious_;
};

}  // namespace dwellor
