#pragma once
#include <cstdint>
#include <functional>
#include <memory>

#include <QObject>
#include <QSystemTrayIcon>

#include "platform/tray.h"

namespace dwellor::qt {

class TrayHostWatch;

// Hears the releases on one QSystemTrayIcon and reports them at once. On an
// XEmbed tray Qt reports activation on the button press; a release is what
// counts, so the icon's own widget is watched for releases instead (Qt names
// it QSystemTrayIconSys and makes a new one when the tray changes, hence the
// application-wide filter). A StatusNotifier host decides itself when the
// icon is activated or asks for its menu, and that counts as the release.
class TrayIconReleases final : public QObject {
public:
    TrayIconReleases(QSystemTrayIcon& icon, std::function<void(TrayEvent)> report);
    ~TrayIconReleases() override;

    static constexpr const char* kEmbeddedWidgetName = "QSystemTrayIconSys";

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void(TrayEvent)> report_;
};

// The tray on QSystemTrayIcon, through whichever protocol Qt picks
// (StatusNotifier when a watcher with a host is on the session bus, XEmbed
// otherwise). Events reach the handler from the event loop, after Qt has
// finished with whatever raised them: the handler may remove the icon.
class QtTray final : public QObject, public ITray {
public:
    QtTray();
    ~QtTray() override;

    bool show(Handle image, const std::string& tip) override;
    bool setImage(Handle image) override;
    bool remove() override;
    void onEvent(std::function<void(TrayEvent)> h) override { event_ = std::move(h); }

private:
    void post(TrayEvent e);
    void drop();

    std::function<void(TrayEvent)> event_;
    std::unique_ptr<QSystemTrayIcon> icon_;
    std::unique_ptr<TrayIconReleases> releases_;
    std::unique_ptr<TrayHostWatch> host_;
    std::uint64_t shown_ = 0;  // counts the icons shown, so late events of an old one are dropped
};

}  // namespace dwellor::qt
