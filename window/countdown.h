#pragma once
#include <functional>
#include <optional>

#include "engine/dwell_engine.h"
#include "platform/countdown_mark.h"
#include "platform/pointer.h"
#include "platform/tick_timer.h"

namespace dwellor {

// Shows the click coming: a ring beside the pointer that fills over the time
// left until the click timer's next tick, while the pointer stays where the
// engine expects it; a held mark while a drag press is held. Its frame timer
// runs only while the ring is shown or about to be: otherwise it costs
// nothing.
class Countdown {
public:
    Countdown(ITickTimer& frame, const ITickTimer& click, IPointer& pointer, ICountdownMark& mark,
              std::function<bool()> pressHeld);

    void setOn(bool on);
    bool on() const { return on_; }
    // What the engine expects next (DwellEngine::onExpect).
    void expect(std::optional<DwellEngine::Expected> e);

    static constexpr int kFrameMs = 33;  // about 30 frames a second

private:
    void frame();  // one frame: read the pointer, draw or hide
    void stop();
    void startFrames();

    ITickTimer& frame_;
    const ITickTimer& click_;
    IPointer& pointer_;
    ICountdownMark& mark_;
    std::function<bool()> pressHeld_;
    bool on_ = false;
    std::optional<DwellEngine::Expected> expected_;
};

}  // namespace dwellor
