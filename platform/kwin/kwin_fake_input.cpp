#include "platform/kwin/kwin_fake_input.h"

#include <linux/input-event-codes.h>
#include <wayland-client.h>

#include <cstring>

#include "fake-input-client-protocol.h"

namespace dwellor::kwin {

struct FakeInput::Impl {
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    org_kde_kwin_fake_input* input = nullptr;

    ~Impl() {
        if (input) org_kde_kwin_fake_input_destroy(input);
        if (registry) wl_registry_destroy(registry);
        if (display) wl_display_disconnect(display);
    }
};

namespace {

void global(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version) {
    auto* impl = static_cast<FakeInput::Impl*>(data);
    if (impl->input || std::strcmp(interface, org_kde_kwin_fake_input_interface.name) != 0) return;
    // Version 3 brought absolute moves; 2 is enough for clicks.
    impl->input = static_cast<org_kde_kwin_fake_input*>(
        wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, version < 4 ? version : 4));
}

void globalRemove(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener kRegistry{global, globalRemove};

}  // namespace

std::unique_ptr<FakeInput> FakeInput::open(Opened& why) {
    auto impl = std::make_unique<Impl>();
    impl->display = wl_display_connect(nullptr);
    if (!impl->display) {
        why = Opened::NoDisplay;
        return nullptr;
    }
    impl->registry = wl_display_get_registry(impl->display);
    wl_registry_add_listener(impl->registry, &kRegistry, impl.get());
    if (wl_display_roundtrip(impl->display) < 0) {
        why = Opened::NoDisplay;
        return nullptr;
    }
    if (!impl->input) {
        why = Opened::NotGranted;
        return nullptr;
    }
    org_kde_kwin_fake_input_authenticate(impl->input, "Dwellor", "clicks where the pointer rests");
    why = Opened::Yes;
    return std::unique_ptr<FakeInput>(new FakeInput(std::move(impl)));
}

FakeInput::FakeInput(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

FakeInput::~FakeInput() { releaseHeldLeft(); }

void FakeInput::mouse_event(std::uint32_t flags, std::int32_t, std::int32_t, std::int32_t, std::uintptr_t) {
    const bool wasHeld = leftHeld_;
    struct Step {
        std::uint32_t flag, button, state;
    };
    for (const Step s : {Step{MOUSEEVENTF_LEFTDOWN, BTN_LEFT, 1}, Step{MOUSEEVENTF_LEFTUP, BTN_LEFT, 0},
                         Step{MOUSEEVENTF_RIGHTDOWN, BTN_RIGHT, 1}, Step{MOUSEEVENTF_RIGHTUP, BTN_RIGHT, 0}}) {
        if (!(flags & s.flag)) continue;
        org_kde_kwin_fake_input_button(impl_->input, s.button, s.state);
        if (s.button == BTN_LEFT) leftHeld_ = s.state == 1;
    }
    // A release that ends a held press must not be lost with the process.
    if (wasHeld && !leftHeld_) {
        sync();
    } else {
        wl_display_flush(impl_->display);
    }
}

void FakeInput::releaseHeldLeft() {
    if (leftHeld_) mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
}

void FakeInput::moveTo(double x, double y) {
    org_kde_kwin_fake_input_pointer_motion_absolute(impl_->input, wl_fixed_from_double(x), wl_fixed_from_double(y));
    wl_display_flush(impl_->display);
}

void FakeInput::moveBy(double dx, double dy) {
    org_kde_kwin_fake_input_pointer_motion(impl_->input, wl_fixed_from_double(dx), wl_fixed_from_double(dy));
    wl_display_flush(impl_->display);
}

bool FakeInput::sync() { return wl_display_roundtrip(impl_->display) >= 0; }

}  // namespace dwellor::kwin
