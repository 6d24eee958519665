#include "platform/wlroots/wlr_virtual_pointer.h"

#include <wayland-client.h>

#include <chrono>

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace dwellor::wlroots {

namespace {

std::uint32_t nowMs() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

std::unique_ptr<VirtualPointer> VirtualPointer::open() {
    auto c = wayland::Connection::open();
    if (!c) return nullptr;
    auto* manager = static_cast<zwlr_virtual_pointer_manager_v1*>(c->bind(zwlr_virtual_pointer_manager_v1_interface, 1));
    if (!manager) return nullptr;
    auto* seat = static_cast<wl_seat*>(c->bind(wl_seat_interface, 1));
    zwlr_virtual_pointer_v1* pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, seat);
    // The pointer lives on without them.
    zwlr_virtual_pointer_manager_v1_destroy(manager);
    if (seat) wl_seat_destroy(seat);
    if (!c->sync()) return nullptr;
    return std::unique_ptr<VirtualPointer>(new VirtualPointer(std::move(c), pointer));
}

VirtualPointer::~VirtualPointer() {
    zwlr_virtual_pointer_v1_destroy(pointer_);
    connection().sync();
}

void VirtualPointer::button(std::uint32_t code, bool pressed) {
    zwlr_virtual_pointer_v1_button(pointer_, nowMs(), code, pressed ? WL_POINTER_BUTTON_STATE_PRESSED
                                                                    : WL_POINTER_BUTTON_STATE_RELEASED);
    zwlr_virtual_pointer_v1_frame(pointer_);
}

void VirtualPointer::moveTo(std::uint32_t x, std::uint32_t y, std::uint32_t width, std::uint32_t height) {
    zwlr_virtual_pointer_v1_motion_absolute(pointer_, nowMs(), x, y, width, height);
    zwlr_virtual_pointer_v1_frame(pointer_);
    connection().flush();
}

}  // namespace dwellor::wlroots
