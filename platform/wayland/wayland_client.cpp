#include "platform/wayland/wayland_client.h"

#include <linux/input-event-codes.h>
#include <poll.h>
#include <wayland-client.h>

#include <cstring>


namespace dwellor::wayland {

namespace {

void global(void* data, wl_registry*, std::uint32_t name, const char* interface, std::uint32_t version) {
    static_cast<Connection*>(data)->globals.push_back({name, interface, version});
}

void globalRemove(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener kRegistry{global, globalRemove};

// libwayland's own complaints (no XDG_RUNTIME_DIR, no socket) would come
// before Dwellor's one line of why it cannot start.
void quiet(const char*, va_list) {}

}  // namespace

std::unique_ptr<Connection> Connection::open() {
    wl_log_set_handler_client(quiet);
    wl_display* display = wl_display_connect(nullptr);
    if (!display) return nullptr;
    std::unique_ptr<Connection> c(new Connection(display, wl_display_get_registry(display)));
    wl_registry_add_listener(c->registry_, &kRegistry, c.get());
    if (!c->sync()) return nullptr;
    return c;
}

Connection::~Connection() {
    wl_registry_destroy(registry_);
    wl_display_disconnect(display_);
}

void* Connection::bind(const wl_interface& interface, std::uint32_t maxVersion) {
    for (const Global& g : globals) {
        if (g.interface != interface.name) continue;
        return wl_registry_bind(registry_, g.name, &interface, g.version < maxVersion ? g.version : maxVersion);
    }
    return nullptr;
}

bool Connection::sync() { return wl_display_roundtrip(display_) >= 0; }

void Connection::flush() { wl_display_flush(display_); }

int Connection::fd() const { return wl_display_get_fd(display_); }

bool Connection::dispatch() {
    // Readable now: reading cannot wait.
    while (wl_display_prepare_read(display_) != 0) {
        if (wl_display_dispatch_pending(display_) < 0) return false;
    }
    pollfd p{fd(), POLLIN, 0};
    if (poll(&p, 1, 0) > 0) {
        if (wl_display_read_events(display_) < 0) return false;
    } else {
        wl_display_cancel_read(display_);
    }
    return wl_display_dispatch_pending(display_) >= 0;
}

void ButtonInjector::mouse_event(std::uint32_t flags, std::int32_t, std::int32_t, std::int32_t, std::uintptr_t) {
    const bool wasHeld = leftHeld_;
    struct Step {
        std::uint32_t flag, code;
        bool pressed;
    };
    for (const Step s : {Step{MOUSEEVENTF_LEFTDOWN, BTN_LEFT, true}, Step{MOUSEEVENTF_LEFTUP, BTN_LEFT, false},
                         Step{MOUSEEVENTF_RIGHTDOWN, BTN_RIGHT, true}, Step{MOUSEEVENTF_RIGHTUP, BTN_RIGHT, false}}) {
        if (!(flags & s.flag)) continue;
        button(s.code, s.pressed);
        if (s.code == BTN_LEFT) leftHeld_ = s.pressed;
    }
    // A release that ends a held press must not be lost with the process.
    if (wasHeld && !leftHeld_) {
        connection_->sync();
    } else {
        connection_->flush();
    }
}

GuardedClicks::GuardedClicks(std::unique_ptr<ButtonInjector> input, Reopen reopen, std::function<void()> atEnd)
    : input_(std::move(input)), reopen_(std::move(reopen)), atEnd_(std::move(atEnd)) {}

GuardedClicks::~GuardedClicks() {
    if (input_->leftHeld()) input_->mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
}

void GuardedClicks::guardHeldPress() {
    if (guardian_) return;
    guardian_ = posix::Guardian::start([this](bool held) {
        if (held) {
            if (auto input = reopen_()) {
                input->mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
                input->sync();
            }
        }
        if (atEnd_) atEnd_();
    });
}

int GuardedClicks::guardianFd() const { return guardian_ ? guardian_->fd() : -1; }

bool GuardedClicks::guardianGone() {
    if (!guardian_ || !guardian_->gone()) return false;
    guardian_.reset();
    return true;
}

void GuardedClicks::mouse_event(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::int32_t data,
                                std::uintptr_t extraInfo) {
    posix::Guardian* guardian = guardian_.get();
    const bool wasHeld = input_->leftHeld();
    // The guardian hears of a press before the compositor gets it, and of a
    // release after.
    if (guardian && (flags & MOUSEEVENTF_LEFTDOWN) && !(flags & MOUSEEVENTF_LEFTUP)) guardian->pressHeld(true);
    input_->mouse_event(flags, dx, dy, data, extraInfo);
    if (guardian && wasHeld && !input_->leftHeld()) guardian->pressHeld(false);
    if (injected_) injected_();
}

}  // namespace dwellor::wayland
