#pragma once
#include <map>
#include <memory>
#include <utility>

#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>

#include "platform/notify_icon.h"

namespace dwellor::qt {

class QtWindow;

// Notification icons on QSystemTrayIcon. Mouse activity is delivered to the
// owning picture box as mouse message numbers. On an XEmbed tray Qt reports
// activation on the button press; the owner must hear of the release, so the
// icon's own widget is watched for button releases instead. A StatusNotifier
// host decides itself when the icon is activated, and that counts as the
// release.
class QtNotifyIcon final : public QObject, public INotifyIcon {
public:
    explicit QtNotifyIcon(QtWindow& window);
    ~QtNotifyIcon() override;

    bool Shell_NotifyIconA(std::uint32_t message, NotifyIconData& data) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using Key = std::pair<Handle, std::uint32_t>;
    void deliver(Handle owner, int message);
    void watchEmbedded(Handle owner);

    QtWindow& window_;
    std::map<Key, std::unique_ptr<QSystemTrayIcon>> icons_;
    QPointer<QWidget> embedded_;
    Handle embeddedOwner_ = 0;
};

}  // namespace dwellor::qt
