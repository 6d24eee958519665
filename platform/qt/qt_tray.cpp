#include "platform/qt/qt_tray.h"

#include <algorithm>

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

#include "platform/qt/qt_images.h"
#include "platform/qt/qt_tray_host.h"

namespace dwellor::qt {

namespace {

bool isEmbeddedTrayWidget(const QObject* o) {
    return o->isWidgetType() && o->objectName() == QLatin1String(TrayIconReleases::kEmbeddedWidgetName);
}

bool hasEmbeddedTrayWidget() {
    const auto widgets = QApplication::topLevelWidgets();
    return std::any_of(widgets.begin(), widgets.end(), isEmbeddedTrayWidget);
}

}  // namespace

TrayIconReleases::TrayIconReleases(QSystemTrayIcon& icon, std::function<void(TrayEvent)> report)
    : report_(std::move(report)) {
    connect(&icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (hasEmbeddedTrayWidget()) return;  // the widget reports releases itself
        if (reason == QSystemTrayIcon::Trigger) report_(TrayEvent::LeftRelease);
        else if (reason == QSystemTrayIcon::Context) report_(TrayEvent::RightRelease);
    });
    qApp->installEventFilter(this);
}

TrayIconReleases::~TrayIconReleases() { qApp->removeEventFilter(this); }

bool TrayIconReleases::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseButtonRelease || !isEmbeddedTrayWidget(watched)) return false;
    const auto* me = static_cast<const QMouseEvent*>(event);
    // A release away from the icon is not a click on it.
    if (!static_cast<const QWidget*>(watched)->rect().contains(me->position().toPoint())) return false;
    if (me->button() == Qt::LeftButton) report_(TrayEvent::LeftRelease);
    else if (me->button() == Qt::RightButton) report_(TrayEvent::RightRelease);
    return false;
}

QtTray::QtTray() = default;

QtTray::~QtTray() { drop(); }

bool QtTray::show(Handle image, const std::string& tip) {
    if (icon_ || !QSystemTrayIcon::isSystemTrayAvailable()) return false;
    auto icon = std::make_unique<QSystemTrayIcon>(iconFor(image));
    icon->setToolTip(QString::fromStdString(tip));
    icon->show();
    // Qt has picked its protocol by now: only an XEmbed icon has a widget.
    auto host = std::make_unique<TrayHostWatch>(
        hasEmbeddedTrayWidget() ? TrayHostWatch::XEmbed : TrayHostWatch::StatusNotifier,
        [this] { post(TrayEvent::HostGone); });
    if (!host->present()) {  // gone in the meantime: there is nothing to come back through
        host.reset();
        icon->hide();
        return false;
    }
    ++shown_;
    icon_ = std::move(icon);
    host_ = std::move(host);
    releases_ = std::make_unique<TrayIconReleases>(*icon_, [this](TrayEvent e) { post(e); });
    return true;
}

bool QtTray::setImage(Handle image) {
    if (!icon_) return false;
    icon_->setIcon(iconFor(image));
    return true;
}

bool QtTray::remove() {
    if (!icon_) return false;
    drop();
    return true;
}

void QtTray::drop() {
    releases_.reset();
    host_.reset();
    if (icon_) icon_->hide();
    icon_.reset();
}

void QtTray::post(TrayEvent e) {
    const std::uint64_t icon = shown_;
    QMetaObject::invokeMethod(
        this,
        [this, e, icon] {
            if (!icon_ || icon != shown_) return;  // that icon is gone already
            if (e == TrayEvent::HostGone) drop();
            if (event_) event_(e);
        },
        Qt::QueuedConnection);
}

}  // namespace dwellor::qt
