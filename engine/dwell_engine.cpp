#include "engine/dwell_engine.h"

#include "engine/numbers.h"

namespace dwellor {

DwellEngine::DwellEngine(EngineControls controls, IPointer& pointer, IMouseInput& mouse,
                         std::function<bool(Point)> insideOwnWindow)
    : c_(controls), pointer_(pointer), mouse_(mouse), insideOwnWindow_(std::move(insideOwnWindow)) {}

void DwellEngine::noteReading(Point p) {
    if (!ownHold_) return;
    if (!ownHold_->at) ownHold_->at = p;
    else if (*ownHold_->at != p) ownHold_.reset();
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
    // A pointer parked in the top-left corner suspends clicking.
    if (pointer_.GetCursorPos(CursorSample)) {
        noteReading(CursorSample);
        // Parked is a pause: a drag press is let go, as at every other pause.
        if (CursorSample == Point{0, 0}) {
            releaseHeldButton();
            return;
        }
    }

    const bool read = pointer_.GetCursorPos(CursorSample);
    if (read) noteReading(CursorSample);
    if (read && CursorSample.y == PreviousSample.y && CursorSample.x == PreviousSample.x) {
        const bool own = pointer_.overOwnWindow();
        overOwnWindow_ = own && insideOwnWindow_ && insideOwnWindow_(CursorSample);
        // Clicked there already: a control would flip back and forth.
        if (own && ownHold_) {
            PreviousSample = CursorSample;
            return;
        }
        if (!dragOn()) {
            PerformClick(kTrue);
        } else if (DragPhase == true) {
            PerformClick(kTrue);
            DragPhase = false;
            c_.Timer1.setInterval(dwellPeriod());
        } else {
            if (const std::int32_t now = c_.Timer1.interval(); now > 0) lastDwellPeriod_ = now;
            PerformClick(kFalse);
            // No drag period to run on: the press is still let go, a dwell period later.
            c_.Timer1.setInterval(validPeriod(c_.Text2.text()).value_or(dwellPeriod()));
            DragPhase = true;
        }
        // A drag press is not a click yet: the release that ends it is.
        if (own && !leftHeld_) ownHold_ = OwnHold{CursorSample, true};
    }
    PreviousSample = CursorSample;
}

void DwellEngine::wakeTick(const std::function<bool(Point)>& wakes) {
    Point p;
    if (!pointer_.GetCursorPos(p)) return;
    noteReading(p);
    const bool rest = wakePrevious_ == p;
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
    if (overOwnWindow_) {
        clickLeft(release);
        return;
    }
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

}  // namespace dwellor
