#pragma once
#include <cstdint>

#include "platform/types.h"

namespace dwellor {

// A two-state check box, value 0 or 1. The click handler runs on a user click
// and, synchronously, whenever code writes a different value.
class ICheckBox {
public:
    virtual ~ICheckBox() = default;
    virtual std::int16_t value() const = 0;
    virtual void setValue(std::int16_t v) = 0;
    virtual void onClick(Handler h) = 0;
};

}  // namespace dwellor
