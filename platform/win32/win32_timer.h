#pragma once
#include <cstdint>

#include "platform/tick_timer.h"

#include "platform/win32/win32_api.h"

namespace dwellor::win32 {

// SetTimer on a window of the event thread; the window hands its WM_TIMER
// with this timer's id to tick(). Periods under 10 ms tick every 10 ms.
class Win32TickTimer final : public TickTimerBase {
public:
    Win32TickTimer(HWND owner, UINT_PTR id) : owner_(owner), id_(id) {}
    ~Win32TickTimer() override { KillTimer(owner_, id_); }
    UINT_PTR id() const { return id_; }

private:
    // SetTimer replaces a running timer of the same id.
    void start(std::int32_t ms) override { SetTimer(owner_, id_, static_cast<UINT>(ms), nullptr); }
    void stop() override { KillTimer(owner_, id_); }
    HWND owner_;
    UINT_PTR id_;
};

}  // namespace dwellor::win32
