#include "engine/dwell_engine.h"

#include "engine/numbers.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace dwellor {

DwellEngine::DwellEngine(EngineControls controls, IPointer& pointer, IMouseInput& mouse,
                         std::function<bool(Point)> insideOwnWindow)
    : c_(controls), pointer_(pointer), mouse_(mouse), insideOwnWindow_(std::move(insideOwnWindow)) {}

void DwellEngine::noteReading(Point p) {
    if (!ownHold_) return;
    if (!ownHold_->at) ownHold_->at = p;
    else if (!near(*ownHold_->at, p)) ownHold_.reset();
}

void DwellEngine::holdOwnClicksUntilMoved() {
    ownHold_ = OwnHold{};
    Point p;
    if (pointer_.GetCursorPos(p)) ownHold_->at = p;
}

std::optional<Point> DwellEngine::ownClickHere() {
    Point p;
    if (!ownHold_ || !ownHold_->clicked || !pointer_.GetCursorPos(p)) return std::nullopt;
    noteReading(p);
    if (!ownHold_) return std::nullopt;
    return p;
}

void DwellEngine::Timer1_Timer() {
    if (rule_.steady) return steadyTick();
    // A pointer parked in the top-left corner suspends clicking.
    if (pointer_.GetCursorPos(CursorSample)) {
        noteReading(CursorSample);
        // Parked is a pause: a drag press is let go, as at every other pause.
        if (CursorSample == Point{0, 0}) {
            releaseHeldButton();
            return tell(std::nullopt);
        }
    }

    const bool read = pointer_.GetCursorPos(CursorSample);
    if (read) noteReading(CursorSample);
    if (read && CursorSample.y == PreviousSample.y && CursorSample.x == PreviousSample.x) {
        const bool own = pointer_.overOwnWindow();
        // Clicked there already: a control would flip back and forth.
        if (own && ownHold_) {
            PreviousSample = CursorSample;
            return tell(std::nullopt);
        }
        if (own && insideOwnWindow_ && insideOwnWindow_(CursorSample)) {
            clickOwnWindow(CursorSample);
        } else if (!dragOn()) {
            PerformClick(kTrue);
        } else if (DragPhase == true) {
            PerformClick(kTrue);
            DragPhase = false;
            c_.Timer1.setInterval(dwellPeriod());
        } else {
            if (const std::int32_t now = c_.Timer1.interval(); now > 0) lastDwellPeriod_ = now;
            PerformClick(kFalse);
            c_.Timer1.setInterval(dragPeriod());
            DragPhase = true;
        }
        // A drag press is not a click yet: the release that ends it is.
        if (own && !leftHeld_) ownHold_ = OwnHold{CursorSample, true};
    }
    PreviousSample = CursorSample;
    // The next tick clicks if the pointer stays, unless it stays on the
    // program's own window after a click there.
    if (!read || (ownHold_ && pointer_.overOwnWindow())) return tell(std::nullopt);
    tell(Expected{CursorSample, 0});
}

void DwellEngine::wakeTick(const std::function<bool(Point)>& wakes) {
    Point p;
    if (!pointer_.GetCursorPos(p)) return;
    noteReading(p);
    const bool rest = wakePrevious_ && near(*wakePrevious_, p);
    wakePrevious_ = p;
    if (!rest || ownHold_ || !pointer_.overOwnWindow() || !wakes(p)) return;
    inject(MOUSEEVENTF_LEFTDOWN);
    inject(MOUSEEVENTF_LEFTUP);
    ownHold_ = OwnHold{p, true};
}

void DwellEngine::clickLeft(VBool release) {
    if (!dragOn()) {
        inject(MOUSEEVENTF_LEFTDOWN);
        inject(MOUSEEVENTF_LEFTUP);
    } else if (release) {
        inject(MOUSEEVENTF_LEFTUP);
    } else {
        inject(MOUSEEVENTF_LEFTDOWN);
    }
}

void DwellEngine::PerformClick(VBool release) {
    if (c_.Label4.foreColour() == kRed) clickLeft(release);
    if (c_.Label6.foreColour() == kRed) {
        inject(MOUSEEVENTF_RIGHTDOWN | MOUSEEVENTF_RIGHTUP);
    }
    if (c_.Label7.foreColour() == kRed) {
        inject(MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_LEFTUP);
        inject(MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_LEFTUP);
    }
}

void DwellEngine::inject(std::uint32_t flags) {
    mouse_.mouse_event(flags, 0, 0, 0, 0);
    if (flags & MOUSEEVENTF_LEFTUP) {
        leftHeld_ = false;
    } else if (flags & MOUSEEVENTF_LEFTDOWN) {
        leftHeld_ = true;
    }
}

void DwellEngine::releaseHeldButton() {
    if (!leftHeld_) return;
    inject(MOUSEEVENTF_LEFTUP);
    // With the drag option switched off since the press, the next full click
    // lets go instead; the phase is left for that case as it is.
    if (DragPhase == true) {
        DragPhase = false;
        c_.Timer1.setInterval(dwellPeriod());
    }
}

std::int32_t DwellEngine::dwellPeriod() const { return validPeriod(c_.Text1.text()).value_or(lastDwellPeriod_); }

// No drag period to run on: the press is still let go, a dwell period later.
std::int32_t DwellEngine::dragPeriod() const { return validPeriod(c_.Text2.text()).value_or(dwellPeriod()); }

void DwellEngine::clickOwnWindow(Point at) {
    if (leftHeld_) {
        releaseHeldButton();
    } else {
        inject(MOUSEEVENTF_LEFTDOWN);
        inject(MOUSEEVENTF_LEFTUP);
    }
    ownHold_ = OwnHold{at, true};
}

bool DwellEngine::near(Point a, Point b) const {
    if (!rule_.steady) return a == b;
    const std::int64_t dx = std::int64_t{a.x} - b.x, dy = std::int64_t{a.y} - b.y;
    return std::abs(dx) <= rule_.radius && std::abs(dy) <= rule_.radius;
}

bool DwellEngine::staysSettled(Point p) {
    if (!settled_) return false;
    Box b = *settled_;
    b.left = std::min<std::int64_t>(b.left, p.x);
    b.right = std::max<std::int64_t>(b.right, p.x);
    b.top = std::min<std::int64_t>(b.top, p.y);
    b.bottom = std::max<std::int64_t>(b.bottom, p.y);
    if (b.right - b.left > 2 * rule_.radius || b.bottom - b.top > 2 * rule_.radius) return false;
    settled_ = b;
    return true;
}

// ---- The steady rule

void DwellEngine::useRule(const RestRule& rule, ITickTimer& gap) {
    rule_ = rule;
    if (gap_) gap_->setEnabled(false);
    if (!rule_.steady) {
        // Back to readings on every tick.
        c_.Timer1.setQuiet(false);
        return tell(std::nullopt);
    }
    if (const std::int32_t now = c_.Timer1.interval(); now > 0) lastDwellPeriod_ = now;
    gap_ = &gap;
    gap_->setEnabled(false);
    gap_->setInterval(kMotionGapMs);
    gap_->onTick([this] {
        // Readings at most a gap apart while it moves, and one last reading
        // once it has stopped; then nothing until it moves again.
        if (!movedInGap_) return gap_->setEnabled(false);
        movedInGap_ = false;
        steadyReading();
    });
    forgetRest();
}

void DwellEngine::pointerMoved() {
    if (!rule_.steady || !gap_) return;
    if (gap_->enabled()) {
        movedInGap_ = true;
        return;
    }
    steadyReading();
    gap_->setEnabled(true);
}

void DwellEngine::runStateChanged() {
    if (rule_.steady) forgetRest();
}

void DwellEngine::periodChanged() {
    if (DragPhase != true) c_.Timer1.setInterval(dwellPeriod());
}

void DwellEngine::forgetRest() {
    settled_.reset();
    lastReading_.reset();
    clickedAt_.reset();
    if (rule_.steady) quiet();
}

bool DwellEngine::readSteady(Point& p) {
    if (!pointer_.GetCursorPos(p)) return false;
    noteReading(p);
    if (p != Point{0, 0}) return true;
    // Parked in the corner: a pause, as with the usual rule.
    releaseHeldButton();
    forgetRest();
    return false;
}

void DwellEngine::steadyReading() {
    Point p;
    if (c_.Timer1.enabled() && readSteady(p)) track(p);
}

bool DwellEngine::track(Point p) {
    const std::optional<Point> last = std::exchange(lastReading_, p);
    // Within the radius it is tremor, not movement.
    if (staysSettled(p)) return true;
    // A rest begins at the first of two readings close together: the one
    // before was timed from already. A reading far from the one before it
    // (arriving fast) is not part of the rest.
    if (!settled_ && last && near(p, *last)) {
        settled_ = Box{last->x, last->y, last->x, last->y};
        return staysSettled(p);
    }
    settled_.reset();
    timeRestFrom(p);
    return false;
}

void DwellEngine::timeRestFrom(Point p) {
    const bool pressHeld = DragPhase == true && leftHeld_;
    if (pressHeld && pressAt_) {
        // Still where it was pressed: its time limit runs on. Out of the
        // press's radius the drag has begun.
        if (near(p, *pressAt_)) return;
        pressAt_.reset();
    }
    // One click per rest: none again until the pointer leaves the spot.
    if (!rule_.repeat && clickedAt_) {
        if (near(p, *clickedAt_)) return quiet();
        clickedAt_.reset();
    }
    // A whole period from now; the rest that ends a drag is timed by the
    // drag interval.
    c_.Timer1.setInterval(pressHeld ? dragPeriod() : dwellPeriod());
    c_.Timer1.setQuiet(false);
    tell(Expected{p, 2 * rule_.radius});
}

void DwellEngine::steadyTick() {
    Point p;
    if (!readSteady(p)) return;
    if (!lastReading_) return quiet();
    if (!track(p)) return;
    const bool own = pointer_.overOwnWindow();
    if (own && ownHold_) return quiet();
    if (own && insideOwnWindow_ && insideOwnWindow_(p)) {
        clickOwnWindow(p);
        clickedAt_ = p;
        return quiet();
    }
    if (DragPhase == true) {
        // The rest that ends the drag (or the hold's limit) lets go.
        PerformClick(kTrue);
        DragPhase = false;
        pressAt_.reset();
        c_.Timer1.setInterval(dwellPeriod());
    } else if (dragOn()) {
        PerformClick(kFalse);
        DragPhase = true;
        if (leftHeld_) {
            pressAt_ = p;
            c_.Timer1.setInterval(kHoldLimitMs);
            return tell(Expected{p, rule_.radius});
        }
    } else {
        PerformClick(kTrue);
    }
    if (own && !leftHeld_) ownHold_ = OwnHold{p, true};
    clickedAt_ = p;
    // Once per rest: the next click needs a move out of the radius.
    if (!rule_.repeat || (own && ownHold_)) return quiet();
    tell(Expected{p, 2 * rule_.radius});
}

}  // namespace dwellor
