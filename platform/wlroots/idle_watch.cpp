#include "platform/wlroots/idle_watch.h"

#include <wayland-client.h>

#include "ext-idle-notify-v1-client-protocol.h"
#include "idle-client-protocol.h"

namespace dwellor::wlroots {

struct IdleWatch::Listener {
    static void idle(void* data, auto*) { static_cast<IdleWatch*>(data)->idle_(); }
    static void resumed(void* data, auto*) { static_cast<IdleWatch*>(data)->resumed_(); }
};

namespace {

const ext_idle_notification_v1_listener kExt{IdleWatch::Listener::idle<ext_idle_notification_v1>,
                                             IdleWatch::Listener::resumed<ext_idle_notification_v1>};
const org_kde_kwin_idle_timeout_listener kKde{IdleWatch::Listener::idle<org_kde_kwin_idle_timeout>,
                                              IdleWatch::Listener::resumed<org_kde_kwin_idle_timeout>};

}  // namespace

std::unique_ptr<IdleWatch> IdleWatch::open(int quietMs, std::function<void()> idle, std::function<void()> resumed) {
    auto c = wayland::Connection::open();
    if (!c) return nullptr;
    auto* seat = static_cast<wl_seat*>(c->bind(wl_seat_interface, 1));
    if (!seat) return nullptr;
    std::unique_ptr<IdleWatch> w(new IdleWatch());
    w->idle_ = std::move(idle);
    w->resumed_ = std::move(resumed);
    const auto timeout = static_cast<std::uint32_t>(quietMs);
    if (auto* notifier = static_cast<ext_idle_notifier_v1*>(c->bind(ext_idle_notifier_v1_interface, 1))) {
        auto* notice = ext_idle_notifier_v1_get_idle_notification(notifier, timeout, seat);
        ext_idle_notification_v1_add_listener(notice, &kExt, w.get());
        ext_idle_notifier_v1_destroy(notifier);
        w->notice_ = notice;
        w->ext_ = true;
    } else if (auto* kde = static_cast<org_kde_kwin_idle*>(c->bind(org_kde_kwin_idle_interface, 1))) {
        auto* notice = org_kde_kwin_idle_get_idle_timeout(kde, seat, timeout);
        org_kde_kwin_idle_timeout_add_listener(notice, &kKde, w.get());
        org_kde_kwin_idle_destroy(kde);
        w->notice_ = notice;
    } else {
        wl_seat_destroy(seat);
        return nullptr;
    }
    wl_seat_destroy(seat);
    w->connection_ = std::move(c);
    w->connection_->flush();
    return w;
}

IdleWatch::~IdleWatch() {
    if (ext_) {
        ext_idle_notification_v1_destroy(static_cast<ext_idle_notification_v1*>(notice_));
    } else {
        org_kde_kwin_idle_timeout_release(static_cast<org_kde_kwin_idle_timeout*>(notice_));
    }
    connection_->flush();
}

}  // namespace dwellor::wlroots
