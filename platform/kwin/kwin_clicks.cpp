#include "platform/kwin/kwin_clicks.h"

#include <unistd.h>

#include "platform/kwin/kwin_script.h"

namespace dwellor::kwin {

std::unique_ptr<KWinClicks> KWinClicks::open(std::string& error) {
    FakeInput::Opened why;
    auto input = FakeInput::open(why);
    if (input) return std::unique_ptr<KWinClicks>(new KWinClicks(std::move(input)));
    error = why == FakeInput::Opened::NotGranted
                ? kNotGranted
                : "dwellor: no Wayland display could be reached (WAYLAND_DISPLAY).";
    return nullptr;
}

void KWinClicks::guardHeldPress() {
    if (guardian_) return;
    guardian_ = posix::Guardian::start([pid = long(getpid())](bool held) {
        if (held) {
            // A connection of its own: Dwellor's went with it.
            FakeInput::Opened why;
            if (auto input = FakeInput::open(why)) {
                input->mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
                input->sync();
            }
        }
        KWinScript::unload(pid);
    });
}

bool KWinClicks::guardianGone() {
    if (!guardian_ || !guardian_->gone()) return false;
    guardian_.reset();
    return true;
}

void KWinClicks::mouse_event(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::int32_t data,
                             std::uintptr_t extraInfo) {
    const bool wasHeld = input_->leftHeld();
    // The guardian hears of a press before KWin gets it, and of a release
    // after.
    if (guardian_ && (flags & MOUSEEVENTF_LEFTDOWN) && !(flags & MOUSEEVENTF_LEFTUP)) guardian_->pressHeld(true);
    input_->mouse_event(flags, dx, dy, data, extraInfo);
    if (guardian_ && wasHeld != input_->leftHeld() && !input_->leftHeld()) guardian_->pressHeld(false);
}

}  // namespace dwellor::kwin
