#pragma once

#include "platform/types.h"

namespace dwellor {

// A small ring beside the pointer that fills as a click comes closer, with a
// mark of its own while a drag press is held. It never takes a click or the
// focus and has no place in the task bar.
class ICountdownMark {
public:
    virtual ~ICountdownMark() = default;
    // Shows (or moves and redraws) the ring beside `pointer` (screen pixels),
    // never under it: filled to `filled` (0 to 1), with the held mark when
    // `held`.
    virtual void show(Point pointer, double filled, bool held) = 0;
    virtual void hide() = 0;
    virtual bool shown() const = 0;
    // False where the ring cannot be put beside the pointer at all (a
    // Wayland compositor places every window itself): the countdown then
    // costs nothing.
    virtual bool canShow() const { return true; }
};

}  // namespace dwellor
