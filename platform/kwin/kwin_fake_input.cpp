#include "platform/kwin/kwin_fake_input.h"

#include <wayland-client.h>

#include "fake-input-client-protocol.h"

namespace dwellor::kwin {

std::unique_ptr<FakeInput> FakeInput::open(Opened& why) {
    auto c = wayland::Connection::open();
    if (!c) {
        why = Opened::NoDisplay;
        return nullptr;
    }
    // Version 3 brought absolute moves.
    auto* input = static_cast<org_kde_kwin_fake_input*>(c->bind(org_kde_kwin_fake_input_interface, 4));
    if (!input) {
        why = Opened::NotGranted;
        return nullptr;
    }
    org_kde_kwin_fake_input_authenticate(input, "Dwellor", "clicks where the pointer rests");
    why = Opened::Yes;
    return std::unique_ptr<FakeInput>(new FakeInput(std::move(c), input));
}

FakeInput::~FakeInput() { org_kde_kwin_fake_input_destroy(input_); }

void FakeInput::button(std::uint32_t code, bool pressed) { org_kde_kwin_fake_input_button(input_, code, pressed ? 1 : 0); }

void FakeInput::moveTo(double x, double y) {
    org_kde_kwin_fake_input_pointer_motion_absolute(input_, wl_fixed_from_double(x), wl_fixed_from_double(y));
    connection().flush();
}

void FakeInput::moveBy(double dx, double dy) {
    org_kde_kwin_fake_input_pointer_motion(input_, wl_fixed_from_double(dx), wl_fixed_from_double(dy));
    connection().flush();
}

}  // namespace dwellor::kwin
