#pragma once
#include <cstdint>

#include "platform/tick_timer.h"

#include "platform/win32/win32_api.h"

namespace dwellor::win32 {

// SetTimer on a window of the event thread; the window hands its WM_TIMER
// with this timer's id to tick(). Periods under 10 ms tick every 10 ms.
class Win32TickTimer final : public ITickTimer {
public:
    Win32TickTimer(HWND owner, UINT_PTR id) : owner_(owner), id_(id) {}
    ~Win32TickTimer() override { KillTimer(owner_, id_); }

    bool enabled() const override { return enabled_; }
    void setEnabled(bool on) override;
    std::int32_t interval() const override { return interval_; }
    void setInterval(std::int32_t ms) override;
    void onTick(Handler h) override { tick_ = std::move(h); }

    UINT_PTR id() const { return id_; }
    void tick() {
        if (tick_) tick_();
    }

private:
    void apply();
    HWND owner_;
    UINT_PTR id_;
    bool enabled_ = true;
    std::int32_t interval_ = 0;
    Handler tick_;
};

}  // namespace dwellor::win32
