#pragma once

#include "platform/types.h"

namespace dwellor {

class IButton {
public:
    virtual ~IButton() = default;
    virtual void onClick(Handler h) = 0;
};

}  // namespace dwellor
