#pragma once
#include <memory>

#include "platform/wayland/wayland_client.h"

struct zwlr_virtual_pointer_v1;

namespace dwellor::wlroots {

// Button events (and, for a test's driver, pointer moves) through the
// virtual pointer wlroots compositors offer. One pointer for the whole run:
// a pointer device made and dropped around each click loses its events.
class VirtualPointer final : public wayland::ButtonInjector {
public:
    // Null when no compositor answers or it offers no virtual pointers.
    static std::unique_ptr<VirtualPointer> open();
    ~VirtualPointer() override;

    // To a point of the compositor's space, given its size.
    void moveTo(std::uint32_t x, std::uint32_t y, std::uint32_t width, std::uint32_t height);

protected:
    void button(std::uint32_t code, bool pressed) override;

private:
    VirtualPointer(std::unique_ptr<wayland::Connection> c, zwlr_virtual_pointer_v1* pointer)
        : ButtonInjector(std::move(c)), pointer_(pointer) {}
    zwlr_virtual_pointer_v1* pointer_;
};

}  // namespace dwellor::wlroots
