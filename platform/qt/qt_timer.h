#pragma once
#include <QTimer>

#include "platform/tick_timer.h"

namespace dwellor::qt {

// The tick timer on a precise QTimer (a coarse one fires up to 5 % late).
class QtTickTimer final : public TickTimerBase {
public:
    QtTickTimer();
    bool running() const { return timer_.isActive(); }

private:
    void start(std::int32_t ms) override { timer_.start(ms); }
    void stop() override { timer_.stop(); }
    QTimer timer_;
};

}  // namespace dwellor::qt
