#include "window/countdown.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace dwellor {

Countdown::Countdown(ITickTimer& frames, const ITickTimer& click, IPointer& pointer, ICountdownMark& mark,
                     std::function<bool()> pressHeld)
    : frame_(frames), click_(click), pointer_(pointer), mark_(mark), pressHeld_(std::move(pressHeld)) {
    frame_.setEnabled(false);
    frame_.setInterval(kFrameMs);
    frame_.onTick([this] { frame(); });
}

void Countdown::setOn(bool on) {
    if (on_ && !on) stop();
    on_ = on && mark_.canShow();
    expected_.reset();
}

void Countdown::startFrames() {
    // Restarted, so the first frame comes a whole frame from now.
    frame_.setInterval(kFrameMs);
    frame_.setEnabled(true);
}

void Countdown::expect(std::optional<DwellEngine::Expected> e) {
    if (!on_) return;
    const bool same = e && expected_ && e->at == expected_->at;
    expected_ = e;
    // The next click at the same spot: the ring goes on, from empty.
    if (same) return;
    if (pressHeld_()) {
        // The held mark stays and follows the pointer.
        if (!frame_.enabled()) startFrames();
        return;
    }
    // A new rest shows only once the pointer is still there a frame later:
    // a pointer on the move gets no ring flashing after it.
    mark_.hide();
    if (e) startFrames();
    else frame_.setEnabled(false);
}

void Countdown::stop() {
    mark_.hide();
    frame_.setEnabled(false);
}

void Countdown::frame() {
    Point p;
    if (!pointer_.GetCursorPos(p)) return stop();
    const std::int32_t left = click_.msUntilTick();
    const bool counting = expected_ && left >= 0 && std::abs(std::int64_t{p.x} - expected_->at.x) <= expected_->tolerance &&
                          std::abs(std::int64_t{p.y} - expected_->at.y) <= expected_->tolerance;
    // Moved away: gone until the engine times a new rest.
    if (!counting) expected_.reset();
    const bool held = pressHeld_();
    if (!counting && !held) return stop();
    const std::int32_t period = click_.interval();
    const double filled = counting && period > 0 ? std::clamp(1.0 - double(left) / period, 0.0, 1.0) : 0.0;
    mark_.show(p, filled, held);
}

}  // namespace dwellor
