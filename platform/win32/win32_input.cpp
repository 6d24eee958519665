#include "platform/win32/win32_input.h"

namespace dwellor::win32 {

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
