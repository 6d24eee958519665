#pragma once
#include <functional>

#include "platform/types.h"

namespace dwellor {

// A never-shown child that owns the tray icon. Tray callbacks arrive as its
// mouse-move event; measuring in pixels, X is the callback's message number.
class IPictureBox {
public:
    virtual ~IPictureBox() = default;
    virtual Handle hWnd() const = 0;
    virtual void setPicture(Handle icon) = 0;
    virtual void onMouseMove(std::function<void(int x)> h) = 0;
};

}  // namespace dwellor
