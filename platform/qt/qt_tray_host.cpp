#include "platform/qt/qt_tray_host.h"

#include <string>

#include <QByteArray>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QGuiApplication>

// Xlib last: its macros break Qt's headers.
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

namespace dwellor::qt {

namespace {

const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

// An XFixes selection notification as it comes off the wire.
struct WireSelectionNotify {
    std::uint8_t responseType;
    std::uint8_t subtype;
    std::uint16_t sequence;
    std::uint32_t window;
    std::uint32_t owner;
    std::uint32_t selection;
    std::uint32_t timestamp;
    std::uint32_t selectionTimestamp;
};

constexpr unsigned long kSelectionEvents =
    XFixesSetSelectionOwnerNotifyMask | XFixesSelectionWindowDestroyNotifyMask | XFixesSelectionClientCloseNotifyMask;

// Qt's own connection; null off X11 (the offscreen platform).
Display* qtDisplay() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->display() : nullptr;
}

}  // namespace

TrayHostWatch::TrayHostWatch(Protocol protocol, Handler gone) : gone_(std::move(gone)) {
    if (protocol == StatusNotifier) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) return;
        bus_ = std::make_unique<QDBusServiceWatcher>(kWatcherService, bus, QDBusServiceWatcher::WatchForUnregistration);
        QObject::connect(bus_.get(), &QDBusServiceWatcher::serviceUnregistered, this, [this] { ended(); });
        // Asked after the watch has started, so that no ending falls between.
        present_ = bus.interface()->isServiceRegistered(kWatcherService);
        return;
    }
    Display* dpy = qtDisplay();
    int eventBase = 0, errorBase = 0;
    if (!dpy || !XFixesQueryExtension(dpy, &eventBase, &errorBase)) return;
    const std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(dpy));
    const Atom selection = XInternAtom(dpy, name.c_str(), False);
    selection_ = static_cast<std::uint32_t>(selection);
    selectionNotify_ = eventBase + XFixesSelectionNotify;
    QCoreApplication::instance()->installNativeEventFilter(this);
    XFixesSelectSelectionInput(dpy, DefaultRootWindow(dpy), selection, kSelectionEvents);
    present_ = XGetSelectionOwner(dpy, selection) != 0;
}

TrayHostWatch::~TrayHostWatch() {
    if (selectionNotify_ < 0) return;
    QCoreApplication::instance()->removeNativeEventFilter(this);
    if (Display* dpy = qtDisplay()) {
        XFixesSelectSelectionInput(dpy, DefaultRootWindow(dpy), selection_, 0);
        XFlush(dpy);
    }
}

bool TrayHostWatch::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    const auto* e = static_cast<const WireSelectionNotify*>(message);
    if ((e->responseType & 0x7F) != selectionNotify_ || e->selection != selection_) return false;
    // A new owner taking over is no ending; no owner at all is.
    if (e->subtype != XFixesSetSelectionOwnerNotify || e->owner == 0) ended();
    return false;
}

void TrayHostWatch::ended() {
    if (reported_ || !present_) return;
    reported_ = true;
    if (gone_) gone_();
}

}  // namespace dwellor::qt
