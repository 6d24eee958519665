#pragma once
#include <QTimer>

#include "platform/tick_timer.h"

namespace dwellor::qt {

// ITickTimer on a precise QTimer. A zero-period QTimer would fire without
// pause and a negative one reports itself active without firing, so neither
// is ever handed to QTimer: the timer only runs while enabled with a period
// above 0, and keeps the period it was given for reading back.
class QtTickTimer final : public ITickTimer {
public:
    QtTickTimer();
    bool enabled() const override { return enabled_; }
    void setEnabled(bool on) override;
    std::int32_t interval() const override { return interval_; }
    void setInterval(std::int32_t ms) override;
    void onTick(Handler h) override { tick_ = std::move(h); }

    bool running() const { return timer_.isActive(); }

private:
    void apply();

    QTimer timer_;
    bool enabled_ = false;
    std::int32_t interval_ = 0;
    Handler tick_;
};

}  // namespace dwellor::qt
