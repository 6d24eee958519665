#include "platform/qt/qt_timer.h"

namespace dwellor::qt {

QtTickTimer::QtTickTimer() {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
}

}  // namespace dwellor::qt
