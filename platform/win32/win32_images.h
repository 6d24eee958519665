#pragma once
#include "platform/types.h"
#include "platform/window.h"

#include "platform/win32/win32_api.h"

namespace dwellor::win32 {

// The shipped images, each known to the rest of the program by a handle.
Handle imageHandle(Image image);
// The image a handle stands for at `size` pixels, loaded once and kept for
// the life of the process; null for an unknown handle.
HICON iconFor(Handle handle, int size);

}  // namespace dwellor::win32
