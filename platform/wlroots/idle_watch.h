#pragma once
#include <functional>
#include <memory>

#include "platform/wayland/wayland_client.h"

namespace dwellor::wlroots {

// The compositor's notices that no input has come for a while ("idle") and
// that input came again ("resumed"), on a connection of its own: through
// ext_idle_notifier_v1 where offered, else org_kde_kwin_idle.
class IdleWatch {
public:
    // Null when the compositor offers neither.
    static std::unique_ptr<IdleWatch> open(int quietMs, std::function<void()> idle, std::function<void()> resumed);
    ~IdleWatch();
    IdleWatch(const IdleWatch&) = delete;
    IdleWatch& operator=(const IdleWatch&) = delete;

    // Readable when notices have come: then dispatch() tells them.
    int fd() const { return connection_->fd(); }
    bool dispatch() { return connection_->dispatch(); }

    struct Listener;

private:
    IdleWatch() = default;
    std::unique_ptr<wayland::Connection> connection_;
    std::function<void()> idle_, resumed_;
    void* notice_ = nullptr;  // the protocol's object
    bool ext_ = false;
};

}  // namespace dwellor::wlroots
