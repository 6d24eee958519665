#pragma once
#include <chrono>
#include <cstdint>
#include <utility>

#include "platform/types.h"

namespace dwellor {

// A periodic timer on the event thread. It ticks every interval() ms while
// enabled; an interval of 0 (or below) raises no ticks at all.
class ITickTimer {
public:
    virtual ~ITickTimer() = default;
    virtual bool enabled() const = 0;
    virtual void setEnabled(bool on) = 0;
    virtual std::int32_t interval() const = 0;
    virtual void setInterval(std::int32_t ms) = 0;
    virtual void onTick(Handler h) = 0;
    // Quiet, an enabled timer keeps its period but raises no ticks (and costs
    // nothing) until it is told otherwise; its period then counts from then.
    virtual void setQuiet(bool quiet) = 0;
    // Milliseconds until the next tick; -1 while it raises none.
    virtual std::int32_t msUntilTick() const = 0;
};

// What every backend's timer shares. It runs only while enabled with a
// period above 0 (a platform timer given 0 may fire without pause), keeps the
// period it was given for reading back, and a new period counts from now. A
// timer starts disabled; the backend says only how to start and stop.
class TickTimerBase : public ITickTimer {
public:
    bool enabled() const final { return enabled_; }
    void setEnabled(bool on) final {
        if (on == enabled_) return;
        enabled_ = on;
        apply();
    }
    std::int32_t interval() const final { return interval_; }
    void setInterval(std::int32_t ms) final {
        interval_ = ms;
        apply();
    }
    void onTick(Handler h) final { tick_ = std::move(h); }
    void setQuiet(bool quiet) final {
        if (quiet == quiet_) return;
        quiet_ = quiet;
        apply();
    }
    std::int32_t msUntilTick() const final {
        if (!running_) return -1;
        const auto gone = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since_).count();
        return gone >= interval_ ? 0 : static_cast<std::int32_t>(interval_ - gone);
    }
    // The platform's timer fired.
    void tick() {
        since_ = Clock::now();
        if (tick_) tick_();
    }

protected:
    // Starts the platform's timer at `ms` (> 0), replacing a running one.
    virtual void start(std::int32_t ms) = 0;
    virtual void stop() = 0;

private:
    using Clock = std::chrono::steady_clock;
    void apply() {
        running_ = enabled_ && interval_ > 0 && !quiet_;
        since_ = Clock::now();
        if (running_) start(interval_);
        else stop();
    }
    bool enabled_ = false;
    bool quiet_ = false;
    std::int32_t interval_ = 0;
    bool running_ = false;
    Clock::time_point since_;  // the last start or tick
    Handler tick_;
};

}  // namespace dwellor
