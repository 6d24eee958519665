#pragma once
#include <cstdint>
#include <memory>

#include "platform/mouse_input.h"

namespace dwellor::kwin {

// Button events (and, for a test's driver, pointer moves) injected through
// KWin's fake input protocol, on a Wayland connection of its own. KWin
// offers the protocol only to a program that its installed .desktop file
// grants it to.
class FakeInput final : public IMouseInput {
public:
    enum class Opened { Yes, NoDisplay, NotGranted };
    // Connects to the compositor WAYLAND_DISPLAY names; null, with `why`,
    // when there is none or it does not offer fake input to this program.
    static std::unique_ptr<FakeInput> open(Opened& why);
    ~FakeInput() override;
    FakeInput(const FakeInput&) = delete;
    FakeInput& operator=(const FakeInput&) = delete;

    // Each flag becomes one button event, in flag order, where the pointer
    // is; a release of a held left press is waited for until KWin has it.
    void mouse_event(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::int32_t data,
                     std::uintptr_t extraInfo) override;
    bool leftHeld() const { return leftHeld_; }
    void releaseHeldLeft();
    // Moves the pointer to a point of the compositor's space, or by a step.
    void moveTo(double x, double y);
    void moveBy(double dx, double dy);
    // Waits until the compositor has taken every request sent so far; false
    // once the connection is gone.
    bool sync();

    struct Impl;  // the connection, seen by its listeners

private:
    explicit FakeInput(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
    bool leftHeld_ = false;
};

}  // namespace dwellor::kwin
