#pragma once
#include <cstdint>
#include <vector>

#include "platform/mouse_input.h"
#include "platform/pointer.h"

#include <windows.h>

namespace dwellor::win32 {

// The pointer through GetCursorPos, the clicks through SendInput.
class Win32Input final : public IPointer, public IMouseInput {
public:
    // The program's own top-level window.
    void setOwnWindow(HWND window) { own_ = window; }

    // Virtual-screen pixels (negative left of or above the primary monitor).
    // Fails while another desktop (a UAC prompt, the lock screen) has the input.
    bool GetCursorPos(Point& pos) override;
    bool overOwnWindow() const override { return overOwn_; }
    // One SendInput call with one button event per flag, in flag order;
    // never a motion.
    void mouse_event(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::int32_t data,
                     std::uintptr_t extraInfo) override;

    // What mouse_event hands to SendInput.
    static std::vector<INPUT> inputsFor(std::uint32_t flags, std::uintptr_t extraInfo);

private:
    HWND own_ = nullptr;
    bool overOwn_ = false;
};

}  // namespace dwellor::win32
