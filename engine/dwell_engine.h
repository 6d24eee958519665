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

// How a rest is told. Off: two readings of the pointer a period apart, equal
// to the pixel. On (steady rest): the pointer settles when it stays within
// `radius` pixels of one point, across and down, and the click comes once it
// has stayed settled for a whole period, once per rest unless `repeat`.
struct RestRule {
    bool steady = false;
    int radius = 6;
    bool repeat = false;
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

    // The steady rule watches the pointer move instead of sampling it: Timer1
    // then stays quiet unless a rest is being timed, and `gap` (a timer of its
    // own) spaces the readings after moves at least kMotionGapMs apart.
    void useRule(const RestRule& rule, ITickTimer& gap);
    const RestRule& rule() const { return rule_; }
    // The pointer moved (told while the steady rule watches).
    void pointerMoved();
    // Clicking was switched on or off: a steady rest starts afresh.
    void runStateChanged();
    // The dwell period in Text1 changed while clicking goes on: the next
    // rest is timed by it (a drag press held keeps its drag interval).
    void periodChanged();

    // What comes next if the pointer stays: a click at Timer1's next tick,
    // while the pointer stays within `tolerance` pixels of `at`.
    struct Expected {
        Point at;
        int tolerance = 0;
    };
    // Told after every change of what comes next; nothing when no click is
    // coming.
    void onExpect(std::function<void(std::optional<Expected>)> h) { expect_ = std::move(h); }
    // Whether a drag press made here is held.
    bool pressHeld() const { return leftHeld_; }
    static constexpr int kMotionGapMs = 16;
    // A steady drag press that the pointer never leaves is let go after this.
    static constexpr int kHoldLimitMs = 5000;

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
    // A rest on the program's own window: one plain left click, whatever the
    // mode and the drag option; a press held from elsewhere is let go there.
    void clickOwnWindow(Point at);
    // Within the rule's radius (steady) or the same pixel.
    bool near(Point a, Point b) const;
    std::int32_t dragPeriod() const;
    void steadyTick();
    void steadyReading();
    // Reads the pointer for the steady rule; false when it cannot, or when it
    // is parked in the corner (a pause).
    bool readSteady(Point& p);
    // Whether `p` keeps the pointer settled; if so it is taken in.
    bool staysSettled(Point p);
    // Takes a reading in: true when the pointer is settled with it.
    bool track(Point p);
    // The pointer moved: a rest is timed from now, unless it is still where
    // the last click was (one per rest) or where a drag press was made.
    void timeRestFrom(Point p);
    void quiet() {
        c_.Timer1.setQuiet(true);
        tell(std::nullopt);
    }
    void tell(std::optional<Expected> e) {
        if (expect_) expect_(e);
    }
    // The corner, or clicking switched off: no rest is being timed.
    void forgetRest();

    EngineControls c_;
    IPointer& pointer_;
    IMouseInput& mouse_;
    std::function<bool(Point)> insideOwnWindow_;

    RestRule rule_;
    ITickTimer* gap_ = nullptr;
    bool movedInGap_ = false;
    // Where the pointer has been since it settled: it stays settled while
    // all of it fits a square of twice the radius.
    struct Box {
        std::int64_t left, top, right, bottom;
    };
    std::optional<Box> settled_;
    std::optional<Point> lastReading_;
    std::optional<Point> clickedAt_;  // where the last steady rest was clicked
    std::optional<Point> pressAt_;  // where a steady drag press was made

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
    std::function<void(std::optional<Expected>)> expect_;
};

}  // namespace dwellor
