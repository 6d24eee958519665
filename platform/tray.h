#pragma once
#include <functional>
#include <string>

#include "platform/types.h"

namespace dwellor {

// What happens to the tray icon that the program needs to hear of.
enum class TrayEvent {
    LeftRelease,   // the left button released on the icon (or the host's activation)
    RightRelease,  // the right button released on the icon (or the host's context request)
    HostGone,      // the tray host ended; the icon went with it and is forgotten
};

// The notification area: one icon with an image and a tip.
class ITray {
public:
    virtual ~ITray() = default;
    // False when there is no notification area or the icon is already shown.
    virtual bool show(Handle image, const std::string& tip) = 0;
    // False when no icon is shown.
    virtual bool setImage(Handle image) = 0;
    virtual bool remove() = 0;
    // Events are raised from the event loop, never inside a call above; the
    // handler may call any of them. HostGone is raised only while an icon is
    // shown, after the icon has been dropped.
    virtual void onEvent(std::function<void(TrayEvent)> h) = 0;
};

}  // namespace dwellor
