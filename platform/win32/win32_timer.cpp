#include "platform/win32/win32_timer.h"

namespace dwellor::win32 {

void Win32TickTimer::setEnabled(bool on) {
    if (on == enabled_) return;
    enabled_ = on;
    apply();
}

void Win32TickTimer::setInterval(std::int32_t ms) {
    interval_ = ms;
    apply();  // a new period counts from now
}

void Win32TickTimer::apply() {
    // A period of 0 (or below) raises nothing, and costs nothing.
    if (enabled_ && interval_ > 0) {
        SetTimer(owner_, id_, static_cast<UINT>(interval_), nullptr);  // replaces a running one
    } else {
        KillTimer(owner_, id_);
    }
}

}  // namespace dwellor::win32
