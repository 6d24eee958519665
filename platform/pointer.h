#pragma once

#include "platform/types.h"

namespace dwellor {

// Reads the pointer position in screen pixels. Returns false, leaving `pos`
// untouched, when the position cannot be read.
class IPointer {
public:
    virtual ~IPointer() = default;
    virtual bool GetCursorPos(Point& pos) = 0;
    // Whether the last successful reading found the program's own top-level
    // window under the pointer, with nothing stacked above it there. Comes
    // with the reading itself: it costs no request of its own.
    virtual bool overOwnWindow() const { return false; }
};

}  // namespace dwellor
