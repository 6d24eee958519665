#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/mouse_input.h"
#include "platform/pointer.h"
#include "platform/pointer_motion.h"

#include "platform/win32/win32_api.h"

namespace dwellor::win32 {

// The pointer through GetCursorPos, the clicks through SendInput, its moves
// through raw input.
class Win32Input final : public IPointer, public IPointerMotion, public IMouseInput {
public:
    // Tells whether a top-level window, or a point of the screen, is one of
    // the program's own (the main window, a prompt, the tray icon).
    void setOwnWindows(std::function<bool(HWND topLevel, POINT at)> isOwn) { isOwn_ = std::move(isOwn); }
    // Told when a left press starts to be held (before the system gets it)
    // and when it is let go (after).
    void onLeftHeld(std::function<void(bool held)> h) { leftHeld_ = std::move(h); }

    // Virtual-screen pixels (negative left of or above the primary monitor).
    // Fails while another desktop (a UAC prompt, the lock screen) has the input.
    bool GetCursorPos(Point& pos) override;
    bool overOwnWindow() const override { return overOwn_; }
    // Raw mouse input, sent to a message-only window of ours whether or not
    // we have the focus: device moves, relative or absolute, and moves
    // injected with SendInput; never SetCursorPos, which is no input. Nothing
    // is registered while not watching, so an idle Dwellor is not woken.
    bool watchMotion(bool on) override;
    void onMoved(Handler moved) override { moved_ = std::move(moved); }
    // One SendInput call with one button event per flag, in flag order;
    // never a motion.
    void mouse_event(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::int32_t data,
                     std::uintptr_t extraInfo) override;

    Win32Input();
    ~Win32Input() override;

    // What mouse_event hands to SendInput.
    static std::vector<INPUT> inputsFor(std::uint32_t flags, std::uintptr_t extraInfo);

private:
    class MotionWindow;

    std::function<bool(HWND, POINT)> isOwn_;
    Handler moved_;
    std::unique_ptr<MotionWindow> motion_;  // made when first watched
    bool overOwn_ = false;
    std::function<void(bool)> leftHeld_;
    bool holding_ = false;
};

}  // namespace dwellor::win32
