#pragma once

#include "platform/types.h"

namespace dwellor {

// A never-shown child whose window handle owns the tray icon.
class IPictureBox {
public:
    virtual ~IPictureBox() = default;
    virtual Handle hWnd() const = 0;
    virtual void setPicture(Handle icon) = 0;
};

// The one implementation every backend uses: a handle and a picture.
class PictureBox final : public IPictureBox {
public:
    explicit PictureBox(Handle h) : hwnd_(h) {}
    Handle hWnd() const override { return hwnd_; }
    void setPicture(Handle icon) override { picture_ = icon; }
    Handle picture() const { return picture_; }

private:
    Handle hwnd_;
    Handle picture_ = 0;
};

}  // namespace dwellor
