#pragma once
#include <cstdint>
#include <memory>

#include <QAbstractNativeEventFilter>
#include <QObject>

#include "platform/types.h"

class QDBusServiceWatcher;

namespace dwellor::qt {

// Tells once when the tray host that shows the icon ends. XEmbed: the
// screen's tray manager selection loses its owner, seen as an XFixes
// notification among the events of Qt's own X connection. StatusNotifier:
// the watcher's name leaves the session bus. Nothing is polled; a host that
// is replaced by another without a gap is not an ending (Qt moves the icon).
class TrayHostWatch final : public QObject, public QAbstractNativeEventFilter {
public:
    enum Protocol { XEmbed, StatusNotifier };

    TrayHostWatch(Protocol protocol, Handler gone);
    ~TrayHostWatch() override;

    // Whether the host was there once the watch had started.
    bool present() const { return present_; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    void ended();

    Handler gone_;
    bool present_ = false;
    bool reported_ = false;
    // XEmbed: the selection watched and the event code of its notifications.
    std::uint32_t selection_ = 0;
    int selectionNotify_ = -1;
    std::unique_ptr<QDBusServiceWatcher> bus_;
};

}  // namespace dwellor::qt
