#include "platform/qt/qt_countdown_mark.h"

#include <algorithm>

#include <QPainter>
#include <QWidget>

#include "platform/qt/qt_window.h"
#include "platform/qt/qt_window_places.h"
#include "platform/screen_place.h"

namespace dwellor::qt {

namespace {
// A dark disc and a light track keep the ring readable on light and dark
// backgrounds alike; the bright arc is what fills.
const QColor kDisc(0x20, 0x20, 0x20), kTrack(0x8a, 0x8a, 0x8a), kFill(0xff, 0xd0, 0x1a), kHeld(0x30, 0xd0, 0xff);
constexpr int kSteps = 60;  // of the arc, about a pixel each: a redraw only when one is gained
}  // namespace

class QtCountdownMark::Ring final : public QWidget {
public:
    Ring() {
        setObjectName(QStringLiteral("CountdownMark"));
        // A tool tip's window is override-redirect on X11, has no place in a
        // task bar or the window list, and is not one of the windows that
        // count as Dwellor's own for the clicks.
        setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint |
                       Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus |
                       Qt::NoDropShadowWindowHint);
        setAttribute(Qt::WA_ShowWithoutActivating);
        setFocusPolicy(Qt::NoFocus);
    }
    int side = 0;
    int steps = -1;
    bool held = false;

    void resizeTo(int s) {
        if (s == side) return;
        side = s;
        setFixedSize(s, s);
        // Without a compositor a window has no see-through pixels: shaped.
        setMask(QRegion(0, 0, s, s, QRegion::Ellipse));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal s = side, pen = std::max<qreal>(3, s / 5);
        p.setPen(Qt::NoPen);
        p.setBrush(kDisc);
        p.drawEllipse(QRectF(0, 0, s, s));
        const QRectF ring = QRectF(0, 0, s, s).adjusted(1 + pen / 2, 1 + pen / 2, -1 - pen / 2, -1 - pen / 2);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(kTrack, pen / 2.5));
        p.drawEllipse(ring);
        if (steps > 0) {
            // From the top, clockwise (Qt counts angles anticlockwise, in
            // sixteenths of a degree).
            p.setPen(QPen(kFill, pen, Qt::SolidLine, Qt::FlatCap));
            p.drawArc(ring, 90 * 16, -steps * 16 * 360 / kSteps);
        }
        if (held) {
            const qreal h = s / 3;
            p.setPen(Qt::NoPen);
            p.setBrush(kHeld);
            p.drawRect(QRectF((s - h) / 2, (s - h) / 2, h, h));
        }
    }
};

QtCountdownMark::QtCountdownMark() : w_(std::make_unique<Ring>()) {}

QtCountdownMark::~QtCountdownMark() = default;

void QtCountdownMark::show(Point pointer, double filled, bool held) {
    // Called many times a second while a click comes: only what changed is
    // done.
    const QScreen* screen = screenAt(pointer);
    const QPoint at = toLogical(pointer, screen);
    // Sized for the screen's DPI where Qt does not scale for it.
    const qreal k = screen ? std::max<qreal>(1, screen->logicalDotsPerInch() / 96) : 1;
    w_->resizeTo(qRound(kSize * k));
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1 << 15, 1 << 15);
    const Rect r = markPlace({at.x(), at.y()}, {area.x(), area.y(), area.width(), area.height()}, w_->side,
                             qRound(kPointerReach * k));
    if (w_->pos() != QPoint(r.left, r.top)) w_->move(r.left, r.top);
    const int steps = std::clamp(static_cast<int>(filled * kSteps + 0.5), 0, kSteps);
    if (steps != w_->steps || held != w_->held) {
        w_->steps = steps;
        w_->held = held;
        w_->update();
    }
    if (!w_->isVisible()) {
        w_->show();
        // Above the windows raised while it was away (mapping keeps its
        // place in the stack).
        w_->raise();
    }
}

void QtCountdownMark::hide() { w_->hide(); }

bool QtCountdownMark::shown() const { return w_->isVisible(); }

bool QtCountdownMark::canShow() const { return windowPlaces() == nullptr; }

}  // namespace dwellor::qt
