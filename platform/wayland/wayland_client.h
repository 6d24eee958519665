#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/mouse_input.h"
#include "platform/posix/guardian.h"

struct wl_display;
struct wl_interface;
struct wl_registry;

namespace dwellor::wayland {

// A connection of its own to the compositor WAYLAND_DISPLAY names, and the
// globals it offers this client.
class Connection {
public:
    // Null when no compositor answers.
    static std::unique_ptr<Connection> open();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    wl_display* display() const { return display_; }
    // The global of that interface, bound at no more than `maxVersion`; null
    // when it is not offered.
    void* bind(const wl_interface& interface, std::uint32_t maxVersion);
    // Waits until the compositor has taken every request sent so far; false
    // once the connection is gone.
    bool sync();
    void flush();
    int fd() const;
    // Reads what has arrived (call when fd() is readable) and runs the
    // listeners; false once the connection is gone.
    bool dispatch();

    struct Global {
        std::uint32_t name;
        std::string interface;
        std::uint32_t version;
    };
    std::vector<Global> globals;  // filled by the registry's listener

private:
    Connection(wl_display* display, wl_registry* registry) : display_(display), registry_(registry) {}
    wl_display* display_;
    wl_registry* registry_;
};

// Button events injected through a protocol of the compositor's, each flag
// as one event in flag order, where the pointer is; a release that ends a
// held left press is waited for until the compositor has it.
class ButtonInjector : public IMouseInput {
public:
    void mouse_event(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::int32_t data,
                     std::uintptr_t extraInfo) final;
    bool leftHeld() const { return leftHeld_; }
    bool sync() { return connection_->sync(); }

protected:
    explicit ButtonInjector(std::unique_ptr<Connection> connection) : connection_(std::move(connection)) {}
    // One event: a Linux button code (BTN_LEFT...), pressed or released.
    virtual void button(std::uint32_t code, bool pressed) = 0;
    Connection& connection() { return *connection_; }

private:
    std::unique_ptr<Connection> connection_;
    bool leftHeld_ = false;
};

// Clicks with a guardian that, however Dwellor ends, lets go of a left
// press still held through a connection of its own (`reopen`) and then does
// `atEnd`.
class GuardedClicks final : public IMouseInput {
public:
    using Reopen = std::function<std::unique_ptr<ButtonInjector>()>;
    GuardedClicks(std::unique_ptr<ButtonInjector> input, Reopen reopen, std::function<void()> atEnd);
    ~GuardedClicks() override;

    // Forks the guardian: call once, before any thread starts.
    void guardHeldPress();
    int guardianFd() const;
    bool guardianGone();
    // Told after each injection (a rest judged from idle time discounts
    // Dwellor's own clicks).
    void onInjected(std::function<void()> injected) { injected_ = std::move(injected); }

    void mouse_event(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::int32_t data,
                     std::uintptr_t extraInfo) override;

private:
    std::unique_ptr<ButtonInjector> input_;
    Reopen reopen_;
    std::function<void()> atEnd_;
    std::unique_ptr<posix::Guardian> guardian_;
    std::function<void()> injected_;
};

}  // namespace dwellor::wayland
