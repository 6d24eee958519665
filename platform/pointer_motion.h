#pragma once

#include "platform/types.h"

namespace dwellor {

// Tells, as it happens, that the pointer moved, so that a rest can be judged
// without reading the pointer on a timer: nothing is said while it is still.
// A backend may tell of one move several times, as fast as the device
// reports; whoever listens reads the pointer (IPointer) at its own pace.
class IPointerMotion {
public:
    virtual ~IPointerMotion() = default;
    // While watching, `moved` runs on the event thread after the pointer
    // moved. False (and nothing told) when motion cannot be watched here.
    virtual bool watchMotion(bool on) = 0;
    virtual void onMoved(Handler moved) = 0;
};

}  // namespace dwellor
