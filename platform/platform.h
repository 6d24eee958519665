#pragma once

#include "platform/autostart.h"
#include "platform/mouse_input.h"
#include "platform/pointer.h"
#include "platform/pointer_motion.h"
#include "platform/settings_backend.h"
#include "platform/tray.h"
#include "platform/window.h"

namespace dwellor {

// Every platform service the program uses, as one bundle handed to the window.
struct Platform {
    IWindow& window;
    IPointer& pointer;
    IPointerMotion& motion;
    IMouseInput& mouse;
    ITray& tray;
    ISettingsBackend& settings;
    IAutostart& autostart;
};

}  // namespace dwellor
