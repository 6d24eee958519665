#pragma once

#include "platform/types.h"

namespace dwellor {

class IButton {
public:
    virtual ~IButton() = default;
    virtual void onClick(Handler h) = 0;
    // Whether a point on the screen lies on the button while it is shown.
    virtual bool contains(Point screen) const = 0;
};

}  // namespace dwellor
