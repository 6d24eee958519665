#pragma once
#include <cstdint>

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
};

}  // namespace dwellor
