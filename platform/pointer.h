#pragma once

#include "platform/types.h"

namespace dwellor {

// Reads the pointer position in screen pixels. Returns false, leaving `pos`
// untouched, when the position cannot be read.
class IPointer {
public:
    virtual ~IPointer() = default;
    virtual bool GetCursorPos(Point& pos) = 0;
};

}  // namespace dwellor
