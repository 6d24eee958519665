#include "platform/qt/qt_tray.h"

#include <cstring>

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

#include "platform/qt/qt_images.h"
#include "platform/qt/qt_window.h"

namespace dwellor::qt {

namespace {

// The widget Qt embeds into an XEmbed tray for an icon.
bool isEmbeddedTrayWidget(const QObject* o) { return o->inherits("QSystemTrayIconSys"); }

QWidget* findEmbeddedTrayWidget(QWidget* except) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w != except && isEmbeddedTrayWidget(w)) return w;
    }
    return nullptr;
}

QString tipOf(const NotifyIconData& d) {
    return QString::fromLatin1(d.szTip, static_cast<qsizetype>(strnlen(d.szTip, sizeof d.szTip)));
}

}  // namespace

QtNotifyIcon::QtNotifyIcon(QtWindow& window) : window_(window) {}

QtNotifyIcon::~QtNotifyIcon() {
    if (embedded_) embedded_->removeEventFilter(this);
}

bool QtNotifyIcon::Shell_NotifyIconA(std::uint32_t message, NotifyIconData& d) {
    const Key key{d.hWnd, d.uID};
    auto it = icons_.find(key);
    switch (message) {
        case NIM_ADD: {
            if (it != icons_.end() || !QSystemTrayIcon::isSystemTrayAvailable()) return false;
            auto icon = std::make_unique<QSystemTrayIcon>();
            if (d.uFlags & NIF_ICON) icon->setIcon(iconFor(d.hIcon));
            if (d.uFlags & NIF_TIP) icon->setToolTip(tipOf(d));
            const Handle owner = d.hWnd;
            QObject::connect(icon.get(), &QSystemTrayIcon::activated, this,
                             [this, owner](QSystemTrayIcon::ActivationReason reason) {
                                 if (embedded_) return;  // the XEmbed widget reports releases itself
                                 if (reason == QSystemTrayIcon::Trigger) deliver(owner, WM_LBUTTONUP);
                                 else if (reason == QSystemTrayIcon::Context) deliver(owner, WM_RBUTTONUP);
                                 else if (reason == QSystemTrayIcon::DoubleClick) deliver(owner, WM_LBUTTONDBLCLK);
                             });
            icon->show();
            icons_[key] = std::move(icon);
            watchEmbedded(owner);
            return true;
        }
        case NIM_MODIFY:
            if (it == icons_.end()) return false;
            if (d.uFlags & NIF_ICON) it->second->setIcon(iconFor(d.hIcon));
            if (d.uFlags & NIF_TIP) it->second->setToolTip(tipOf(d));
            return true;
        case NIM_DELETE:
            if (it == icons_.end()) return false;
            if (embedded_) embedded_->removeEventFilter(this);
            embedded_ = nullptr;
            it->second->hide();
            icons_.erase(it);
            return true;
        default:
            return false;
    }
}

void QtNotifyIcon::watchEmbedded(Handle owner) {
    QWidget* w = findEmbeddedTrayWidget(window_.widget());
    if (!w) return;
    embedded_ = w;
    embeddedOwner_ = owner;
    w->installEventFilter(this);
}

bool QtNotifyIcon::eventFilter(QObject* watched, QEvent* event) {
    if (watched != embedded_) return false;
    const auto type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease &&
        type != QEvent::MouseButtonDblClick) {
        return false;
    }
    const auto* me = static_cast<QMouseEvent*>(event);
    const bool left = me->button() == Qt::LeftButton;
    const bool right = me->button() == Qt::RightButton;
    if (!left && !right) return false;
    int message = 0;
    if (type == QEvent::MouseButtonPress) {
        message = left ? WM_LBUTTONDOWN : WM_RBUTTONDOWN;
    } else if (type == QEvent::MouseButtonDblClick) {
        message = left ? WM_LBUTTONDBLCLK : WM_RBUTTONDBLCLK;
    } else {
        // A release away from the icon is not a click on it.
        if (!embedded_->rect().contains(me->position().toPoint())) return false;
        message = left ? WM_LBUTTONUP : WM_RBUTTONUP;
    }
    // Delivered after Qt has finished with the event: the handler may remove
    // the icon and with it the widget this event is for.
    const Handle owner = embeddedOwner_;
    QMetaObject::invokeMethod(this, [this, owner, message] { deliver(owner, message); }, Qt::QueuedConnection);
    return false;
}

void QtNotifyIcon::deliver(Handle owner, int message) {
    if (QtPictureBox* box = window_.pictureBox(owner)) box->deliverMouseMessage(message);
}

}  // namespace dwellor::qt
