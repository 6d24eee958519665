#include "platform/qt/qt_timer.h"

namespace dwellor::qt {

QtTickTimer::QtTickTimer() {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        if (tick_) tick_();
    });
}

void QtTickTimer::setEnabled(bool on) {
    if (on == enabled_) return;
    enabled_ = on;
    apply();
}

void QtTickTimer::setInterval(std::int32_t ms) {
    interval_ = ms;
    apply();  // a new period counts from now
}

void QtTickTimer::apply() {
    if (enabled_ && interval_ > 0) {
        timer_.start(interval_);
    } else {
        timer_.stop();
    }
}

}  // namespace dwellor::qt
