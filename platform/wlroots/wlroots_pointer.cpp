#include "platform/wlroots/wlroots_pointer.h"

#include <chrono>
#include <cstdlib>

#include <QApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QSocketNotifier>
#include <QWidget>

namespace dwellor::wlroots {

namespace {

std::int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

WlrootsPointer::WlrootsPointer() = default;

std::unique_ptr<WlrootsPointer> WlrootsPointer::open(std::string& error) {
    std::unique_ptr<WlrootsPointer> p(new WlrootsPointer());
    WlrootsPointer* self = p.get();
    p->idle_ = IdleWatch::open(
        kQuietMs, [self] { self->clock_.idle(nowMs()); },
        [self] {
            self->clock_.resumed(nowMs());
            if (self->clock_.busy()) self->tell();
        });
    p->hypr_ = HyprlandCursor::open(std::getenv("HYPRLAND_INSTANCE_SIGNATURE"), std::getenv("XDG_RUNTIME_DIR"));
    if (!p->idle_ && !p->hypr_) {
        error = "the compositor does not say when input comes (no idle notices), so Dwellor cannot tell a rest.";
        return nullptr;
    }
    qApp->installEventFilter(p.get());
    // Without notices, motion is told by Dwellor's own windows alone.
    if (!p->idle_) return p;
    p->notifier_ = new QSocketNotifier(p->idle_->fd(), QSocketNotifier::Read, p.get());
    QObject::connect(p->notifier_, &QSocketNotifier::activated, p.get(), [self] {
        // A closed connection stays readable: off, or the loop would spin.
        if (!self->idle_->dispatch()) self->notifier_->setEnabled(false);
    });
    return p;
}

WlrootsPointer::~WlrootsPointer() {
    if (qApp) qApp->removeEventFilter(this);
}

void WlrootsPointer::injected() { clock_.injected(nowMs()); }

bool WlrootsPointer::GetCursorPos(Point& pos) {
    if (hypr_) {
        // A tick reads twice in a row (the corner, then the rest): one
        // question to Hyprland, whose whole desktop waits while it answers.
        const std::int64_t now = nowMs();
        if (!hyprRead_ || now - hyprRead_->first > kReuseMs) {
            Point p;
            if (!hypr_->read(p)) return false;
            hyprRead_ = {now, p};
        }
        pos = hyprRead_->second;
        if (own_) origins_[own_] = QPoint(pos.x, pos.y) - ownAt_;
        return true;
    }
    if (own_) {
        const QPoint p = originOf(own_) + ownAt_;
        pos = {p.x(), p.y()};
        return true;
    }
    if (clock_.inputSince(nowMs())) mark_ = (mark_ + 1) % 100000;
    // Left of and above every screen, and apart by more than any radius.
    pos = {static_cast<std::int32_t>(-1000 - mark_ * 1000), -1000};
    return true;
}

bool WlrootsPointer::watchMotion(bool on) {
    watching_ = on;
    return true;
}

void WlrootsPointer::tell() {
    if (watching_ && moved_) moved_();
}

bool WlrootsPointer::eventFilter(QObject* watched, QEvent* e) {
    // Every pointer event of a window reaches its QWindow first.
    auto* window = qobject_cast<QWindow*>(watched);
    if (!window) return false;
    switch (e->type()) {
        case QEvent::Enter:
        case QEvent::MouseMove:
            own_ = window;
            ownAt_ = static_cast<QSinglePointEvent*>(e)->position().toPoint();
            tell();
            break;
        case QEvent::Leave:
        case QEvent::Hide:
            if (own_ == window) own_ = nullptr;
            tell();
            break;
        default:
            break;
    }
    return false;
}

QPoint WlrootsPointer::originOf(const QWindow* w) const {
    const auto it = windows_.try_emplace(w, int(windows_.size())).first;
    return {kOwnSpace + it->second * (kOwnSpace / 8), kOwnSpace};
}

std::optional<QRect> WlrootsPointer::frame(const QWidget* w) const {
    // Only what Dwellor asked for: the compositor does not say.
    if (const auto it = wished_.find(w); it != wished_.end()) return QRect(it->second, w->frameGeometry().size());
    if (const QScreen* s = QGuiApplication::primaryScreen()) {
        QRect r(QPoint(), w->frameGeometry().size());
        r.moveCenter(s->availableGeometry().center());
        return r;
    }
    return std::nullopt;
}

std::optional<QRect> WlrootsPointer::client(const QWidget* w) const {
    if (!w->windowHandle()) return std::nullopt;
    if (hypr_) {
        const auto it = origins_.find(w->windowHandle());
        if (it == origins_.end()) return std::nullopt;
        return QRect(it->second, w->size());
    }
    return QRect(originOf(w->windowHandle()), w->size());
}

void WlrootsPointer::moveTo(const QWidget* w, QPoint topLeft) { wished_[w] = topLeft; }

}  // namespace dwellor::wlroots
