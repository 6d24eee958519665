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

// The state every backend keeps for one: its handle, its picture and the
// handler; a backend only has to raise the event.
class PictureBoxBase : public IPictureBox {
public:
    explicit PictureBoxBase(Handle h) : hwnd_(h) {}
    Handle hWnd() const override { return hwnd_; }
    void setPicture(Handle icon) override { picture_ = icon; }
    void onMouseMove(std::function<void(int x)> h) override { move_ = std::move(h); }
    Handle picture() const { return picture_; }

protected:
    void raiseMouseMove(int x) {
        if (move_) move_(x);
    }

private:
    Handle hwnd_;
    Handle picture_ = 0;
    std::function<void(int x)> move_;
};

}  // namespace dwellor
