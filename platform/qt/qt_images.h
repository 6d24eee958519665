#pragma once
#include <QIcon>

#include "platform/types.h"
#include "platform/window.h"

namespace dwellor::qt {

// The shipped drawings, each known to the rest of the program by a handle.
Handle imageHandle(Image image);
// The icon a handle stands for; a null icon for an unknown handle.
QIcon iconFor(Handle handle);

}  // namespace dwellor::qt
