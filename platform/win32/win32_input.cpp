#include "platform/win32/win32_input.h"

#include "platform/win32/win32_object_window.h"

namespace dwellor::win32 {

// Hears raw mouse input while registered for it. Raw input costs the rest of
// the system nothing: unlike a low-level mouse hook, no other program's input
// waits on us, and Windows never drops the registration for being slow.
class Win32Input::MotionWindow final : public ObjectWindow {
public:
    explicit MotionWindow(Handler moved) : moved_(std::move(moved)) {
        createWindow(L"DwellorPointerMotion", 0, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, false);
    }
    ~MotionWindow() override { watch(false); }

    bool watch(bool on) {
        if (!hwnd_ || (!on && !watching_)) return false;
        // Generic desktop page, mouse usage: every pointing device that
        // reports as a mouse, relative or absolute.
        RAWINPUTDEVICE mouse{0x01, 0x02, on ? DWORD{RIDEV_INPUTSINK} : DWORD{RIDEV_REMOVE}, on ? hwnd_ : nullptr};
        const bool done = RegisterRawInputDevices(&mouse, 1, sizeof mouse);
        watching_ = on && done;
        haveAbsolute_ = false;
        return watching_;
    }

private:
    LRESULT handle(UINT m, WPARAM w, LPARAM l) override {
        // Input queued before the registration was removed is not told.
        if (m == WM_INPUT && watching_ && moves(reinterpret_cast<HRAWINPUT>(l)) && moved_) moved_();
        return ObjectWindow::handle(m, w, l);  // the system frees the input there
    }

    // Whether the event moved the pointer: our own clicks, the wheel and the
    // buttons come this way too.
    bool moves(HRAWINPUT input) {
        RAWINPUT in;
        UINT size = sizeof in;
        if (GetRawInputData(input, RID_INPUT, &in, &size, sizeof(RAWINPUTHEADER)) == static_cast<UINT>(-1) ||
            in.header.dwType != RIM_TYPEMOUSE)
            return false;
        const RAWMOUSE& mouse = in.data.mouse;
        if (!(mouse.usFlags & MOUSE_MOVE_ABSOLUTE)) return mouse.lLastX != 0 || mouse.lLastY != 0;
        // An absolute device (a tablet, an eye tracker, a remote desktop)
        // tells where it is with every event, its button presses too.
        const POINT at{mouse.lLastX, mouse.lLastY};
        const bool moved = !haveAbsolute_ || at.x != lastAbsolute_.x || at.y != lastAbsolute_.y;
        lastAbsolute_ = at;
        haveAbsolute_ = true;
        return moved;
    }

    Handler moved_;
    bool watching_ = false;
    bool haveAbsolute_ = false;
    POINT lastAbsolute_{};
};

Win32Input::Win32Input() = default;
Win32Input::~Win32Input() = default;

bool Win32Input::watchMotion(bool on) {
    if (!motion_) {
        if (!on) return false;
        motion_ = std::make_unique<MotionWindow>([this] {
            if (moved_) moved_();
        });
    }
    return motion_->watch(on);
}

bool Win32Input::GetCursorPos(Point& pos) {
    POINT p;
    if (!::GetCursorPos(&p)) return false;
    pos = {p.x, p.y};
    // The window under the pointer, frame included, with what is stacked above it.
    const HWND under = WindowFromPoint(p);
    overOwn_ = isOwn_ && isOwn_(under ? GetAncestor(under, GA_ROOT) : nullptr, p);
    return true;
}

std::vector<INPUT> Win32Input::inputsFor(std::uint32_t flags, std::uintptr_t extraInfo) {
    static constexpr DWORD order[] = {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, MOUSEEVENTF_RIGHTDOWN,
                                      MOUSEEVENTF_RIGHTUP};
    std::vector<INPUT> inputs;
    for (DWORD flag : order) {
        if (!(flags & flag)) continue;
        INPUT in{};
        in.type = INPUT_MOUSE;
        in.mi.dwFlags = flag;
        in.mi.dwExtraInfo = static_cast<ULONG_PTR>(extraInfo);
        inputs.push_back(in);
    }
    return inputs;
}

void Win32Input::mouse_event(std::uint32_t flags, std::int32_t, std::int32_t, std::int32_t,
                             std::uintptr_t extraInfo) {
    // One call, so that a click is never split by the user's own input.
    std::vector<INPUT> inputs = inputsFor(flags, extraInfo);
    // A click (down and up in one call) never counts as held.
    const bool holding = (flags & MOUSEEVENTF_LEFTUP) ? false : (flags & MOUSEEVENTF_LEFTDOWN) ? true : holding_;
    if (holding && !holding_ && leftHeld_) leftHeld_(true);
    if (!inputs.empty()) SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    if (!holding && holding_ && leftHeld_) leftHeld_(false);
    holding_ = holding;
}

}  // namespace dwellor::win32
