#pragma once

#include "platform/types.h"

namespace dwellor {

// Reads the pointer position in screen pixels. Returns false, leaving `pos`
// untouched, when the position cannot be read.
class IPointer {
public:
    virtual ~IPointer() = default;
    virtual bool GetCursorPos(Point& pos) = 0;
    // Whether the last successful reading found one of the program's own
    // windows under the pointer, with nothing stacked above it there: the
    // main window with its frame, the prompt, the tray icon.
    virtual bool overOwnWindow() const { return false; }
};

}  // namespace dwellor
