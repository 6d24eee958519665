#include "platform/qt/qt_window.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QMoveEvent>
#include <QWindow>

#include "platform/qt/qt_countdown_mark.h"
#include "platform/qt/qt_images.h"
#include "platform/qt/qt_prompt.h"
#include "platform/qt/qt_timer.h"
#include "platform/qt/qt_window_places.h"

namespace dwellor::qt {

namespace {
constexpr Handle kFirstWindowHandle = 0x1000;
// Small controls laid out at fixed pixel positions need a compact font; a
// large control's text is read from afar.
constexpr int kFontPixels = 11;
constexpr double kLargeFont = 2.5;

QColor toQColor(Colour c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }
Colour fromQColor(const QColor& c) {
    return static_cast<Colour>(c.red()) | static_cast<Colour>(c.green()) << 8 | static_cast<Colour>(c.blue()) << 16;
}

// A status line as assistive technology sees it: the status role, named by
// its text. QLabel::setText raises the name change that announces a new text.
class StatusAccessible final : public QAccessibleWidget {
public:
    explicit StatusAccessible(ClickLabel* l) : QAccessibleWidget(l, QAccessible::StatusBar) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<const ClickLabel*>(widget())->text();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* statusAccessible(const QString&, QObject* object) {
    auto* l = dynamic_cast<ClickLabel*>(object);
    return l && l->status ? new StatusAccessible(l) : nullptr;
}
}  // namespace

void FormWidget::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    if (resized) resized();
}

void FormWidget::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
    // Spontaneous: the window system moved it (the user's drag, or a move
    // it carried out), not Qt placing a window it has not shown yet.
    if (moved && e->spontaneous() && isVisible()) moved();
}

void FormWidget::changeEvent(QEvent* e) {
    QWidget::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange && resized) resized();
}

void FormWidget::closeEvent(QCloseEvent* e) {
    if (!closeRequested) {
        QWidget::closeEvent(e);
        if (quitsOnClose) QCoreApplication::quit();
        return;
    }
    e->ignore();
    closeRequested();
}

void FormWidget::enterEvent(QEnterEvent* e) {
    QWidget::enterEvent(e);
    if (pointerInside) pointerInside(true);
}

void FormWidget::leaveEvent(QEvent* e) {
    QWidget::leaveEvent(e);
    if (pointerInside) pointerInside(false);
}

void FormWidget::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    // A hidden window sends no leave event.
    if (pointerInside) pointerInside(false);
}

bool onScreenContains(const QWidget* w, const QRect& g, Point screen) {
    const qreal f = w->devicePixelRatioF();
    return QRectF(g.x() * f, g.y() * f, g.width() * f, g.height() * f).contains(QPointF(screen.x, screen.y));
}

QScreen* screenAt(Point p) {
    for (QScreen* s : QGuiApplication::screens()) {
        const QRect g = s->geometry();
        const qreal f = s->devicePixelRatio();
        if (QRectF(g.topLeft(), QSizeF(g.size()) * f).contains(QPointF(p.x, p.y))) return s;
    }
    return QGuiApplication::primaryScreen();
}

QPoint toLogical(Point p, const QScreen* s) {
    if (!s) return {p.x, p.y};
    const QPoint o = s->geometry().topLeft();
    const qreal f = s->devicePixelRatio();
    return {o.x() + qRound((p.x - o.x()) / f), o.y() + qRound((p.y - o.y()) / f)};
}

namespace {
WindowPlaces* places = nullptr;
Rect rectOf(const QRect& r) { return {r.left(), r.top(), r.width(), r.height()}; }
}  // namespace

WindowPlaces* windowPlaces() { return places; }
void setWindowPlaces(WindowPlaces* p) { places = p; }

Rect toNative(const QRect& r, const QScreen* s) {
    const QPoint o = s ? s->geometry().topLeft() : QPoint();
    const qreal f = s ? s->devicePixelRatio() : 1.0;
    return {o.x() + qRound((r.x() - o.x()) * f), o.y() + qRound((r.y() - o.y()) * f), qRound(r.width() * f),
            qRound(r.height() * f)};
}

bool QtButton::contains(Point screen) const {
    if (!w_->isVisible()) return false;
    return onScreenContains(w_, QRect(w_->mapToGlobal(QPoint(0, 0)), w_->size()), screen);
}

void ClickLabel::mousePressEvent(QMouseEvent* e) {
    pressed_ = e->button() == Qt::LeftButton;
    QLabel::mousePressEvent(e);
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* e) {
    const bool click = pressed_ && e->button() == Qt::LeftButton && rect().contains(e->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(e);
    if (click && clicked) clicked();
}

QtTextBox::QtTextBox(QLineEdit* w) : w_(w) {
    QObject::connect(w_, &QLineEdit::textChanged, [this] {
        if (change_) change_();
    });
}

QtCheckBox::QtCheckBox(QCheckBox* w) : w_(w) {
    // toggled fires for user clicks and for code writing a different value.
    QObject::connect(w_, &QCheckBox::toggled, [this] {
        if (click_) click_();
    });
}

QtLabel::QtLabel(ClickLabel* w) : w_(w), colour_(fromQColor(w->palette().color(QPalette::WindowText))) {}

void QtLabel::setForeColour(Colour c) {
    colour_ = c;
    QPalette p = w_->palette();
    p.setColor(QPalette::WindowText, toQColor(c));
    w_->setPalette(p);
}

void QtLabel::setAccessibleDescription(const std::string& text) {
    // Qt announces every write, also of the same text: tell only real changes.
    const QString d = QString::fromStdString(text);
    if (w_->accessibleDescription() != d) w_->setAccessibleDescription(d);
}

QtButton::QtButton(QPushButton* w) : w_(w) {
    QObject::connect(w_, &QPushButton::clicked, [this] {
        if (click_) click_();
    });
}

QtWindow::QtWindow(QtWindow* owner)
    : w_(std::make_unique<FormWidget>(owner ? owner->w_.get() : nullptr)), second_(owner != nullptr) {
    w_->setObjectName(QStringLiteral("Form1"));
    // A fixed-size window: it can be minimised and closed, not maximised.
    // Kept above ordinary windows, so that no window can cover it for good.
    // A second window is a dialog of the first: the window manager keeps it
    // out of the task bar and gives it no minimise box.
    w_->setWindowFlags(second_ ? Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                     Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                                     Qt::WindowStaysOnTopHint
                               : Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                     Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                                     Qt::WindowStaysOnTopHint);
    w_->quitsOnClose = !second_;
    QFont f = w_->font();
    f.setPixelSize(kFontPixels);
    w_->setFont(f);
}

QtWindow::~QtWindow() {
    // Adapters hold pointers into the widget tree; drop them first, and the
    // second windows before the widget that parents theirs.
    windows_.clear();
    mark_.reset();
    textBoxes_.clear();
    checkBoxes_.clear();
    labels_.clear();
    buttons_.clear();
    timers_.clear();
    prompts_.clear();
}

template <class W>
W* QtWindow::place(W* widget, const ControlDesc& desc) {
    widget->setObjectName(QString::fromStdString(desc.name));
    widget->setGeometry(desc.rect.left, desc.rect.top, desc.rect.width, desc.rect.height);
    if (!desc.tooltip.empty()) widget->setToolTip(QString::fromStdString(desc.tooltip));
    if (!desc.accessibleName.empty()) widget->setAccessibleName(QString::fromStdString(desc.accessibleName));
    if (!desc.accessibleDescription.empty())
        widget->setAccessibleDescription(QString::fromStdString(desc.accessibleDescription));
    widget->setVisible(desc.visible);
    if (desc.large) {
        QFont f = widget->font();
        f.setPixelSize(qRound(kFontPixels * kLargeFont));
        f.setBold(true);
        widget->setFont(f);
    }
    if (widget->focusPolicy() != Qt::NoFocus) {
        if (lastInTabOrder_) QWidget::setTabOrder(lastInTabOrder_, widget);
        lastInTabOrder_ = widget;
    }
    return widget;
}

IButton& QtWindow::addButton(const ControlDesc& desc) {
    auto* b = place(new QPushButton(QString::fromStdString(desc.text), w_.get()), desc);
    buttons_.push_back(std::make_unique<QtButton>(b));
    return *buttons_.back();
}

ITextBox& QtWindow::addTextBox(const ControlDesc& desc) {
    auto* e = place(new QLineEdit(QString::fromStdString(desc.text), w_.get()), desc);
    textBoxes_.push_back(std::make_unique<QtTextBox>(e));
    return *textBoxes_.back();
}

ICheckBox& QtWindow::addCheckBox(const ControlDesc& desc) {
    auto* c = place(new QCheckBox(QString::fromStdString(desc.text), w_.get()), desc);
    checkBoxes_.push_back(std::make_unique<QtCheckBox>(c));
    return *checkBoxes_.back();
}

ILabel& QtWindow::addLabel(const ControlDesc& desc) {
    auto* l = new ClickLabel(w_.get());
    if (desc.status) {
        // Marked before its text is set: setting it makes Qt create, and keep,
        // the label's accessible interface.
        l->status = true;
        QAccessible::installFactory(statusAccessible);  // installed once however often asked
    }
    l->setText(QString::fromStdString(desc.text));
    place(l, desc);
    l->setAlignment(desc.align == Align::Centre ? Qt::AlignHCenter | Qt::AlignTop : Qt::AlignLeft | Qt::AlignTop);
    if (desc.large) l->setAlignment((l->alignment() & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter);
    l->setWordWrap(desc.wordWrap);
    if (desc.wordWrap) {
        // Shrink a wrapped text until all of it fits its fixed box.
        QFont f = l->font();
        while (f.pixelSize() > 7 &&
               QFontMetrics(f).boundingRect(l->contentsRect(), Qt::TextWordWrap, l->text()).height() >
                   l->contentsRect().height()) {
            f.setPixelSize(f.pixelSize() - 1);
        }
        l->setFont(f);
    }
    if (desc.border) l->setFrameStyle(QFrame::Box | QFrame::Plain);
    if (desc.exactColour) {
        QFont f = l->font();
        f.setStyleStrategy(QFont::NoAntialias);
        l->setFont(f);
    }
    labels_.push_back(std::make_unique<QtLabel>(l));
    return *labels_.back();
}

IPictureBox& QtWindow::addPictureBox(const ControlDesc&) {
    pictures_.push_back(std::make_unique<PictureBox>(kFirstWindowHandle + static_cast<Handle>(pictures_.size())));
    return *pictures_.back();
}

ITickTimer& QtWindow::addTimer(const std::string&) {
    timers_.push_back(std::make_unique<QtTickTimer>());
    return *timers_.back();
}

IPrompt& QtWindow::addPrompt() {
    prompts_.push_back(std::make_unique<QtPrompt>());
    return *prompts_.back();
}

IWindow& QtWindow::addWindow(const std::string& name) {
    windows_.push_back(std::make_unique<QtWindow>(this));
    windows_.back()->w_->setObjectName(QString::fromStdString(name));
    return *windows_.back();
}

ICountdownMark& QtWindow::addCountdownMark() {
    mark_ = std::make_unique<QtCountdownMark>();
    return *mark_;
}

Handle QtWindow::loadImage(Image image) { return imageHandle(image); }

void QtWindow::setCaption(const std::string& caption) { w_->setWindowTitle(QString::fromStdString(caption)); }

void QtWindow::setIcon(Handle icon) {
    icon_ = icon;
    w_->setWindowIcon(iconFor(icon));
}

WindowState QtWindow::windowState() const {
    return w_->isMinimized() ? WindowState::Minimised : WindowState::Normal;
}

void QtWindow::setWindowState(WindowState s) {
    const Qt::WindowStates st = w_->windowState();
    w_->setWindowState(s == WindowState::Minimised ? st | Qt::WindowMinimized : st & ~Qt::WindowMinimized);
}

bool QtWindow::clientAreaContains(Point screen) const {
    if (!w_->isVisible() || w_->isMinimized()) return false;
    if (places) {
        const auto client = places->client(w_.get());
        return client && client->contains(screen.x, screen.y);
    }
    return onScreenContains(w_.get(), w_->geometry(), screen);
}

Rect QtWindow::frame() const {
    if (places) return rectOf(places->frame(w_.get()).value_or(QRect(QPoint(0, 0), w_->frameGeometry().size())));
    return toNative(w_->frameGeometry(), w_->screen());
}

std::vector<Rect> QtWindow::screens() const {
    std::vector<Rect> all;
    // A compositor's pixels are Qt's own.
    for (const QScreen* s : QGuiApplication::screens())
        all.push_back(places ? rectOf(s->availableGeometry()) : toNative(s->availableGeometry(), s));
    return all;
}

void QtWindow::moveTo(Point p) {
    if (places) return places->moveTo(w_.get(), {p.x, p.y});
    w_->move(toLogical(p, screenAt(p)));
    // Shown again there, not where it was hidden.
    if (hiddenAt_ && !w_->isVisible()) hiddenAt_ = w_->geometry().topLeft();
}

void QtWindow::setVisible(bool on) {
    // The compositor puts a window shown again back where it was.
    if (places) return w_->setVisible(on);
    if (!on && w_->isVisible()) hiddenAt_ = w_->geometry().topLeft();
    // A window manager places a window anew when it is mapped again.
    const bool back = on && !w_->isVisible() && hiddenAt_;
    w_->setVisible(on);
    if (back) {
        // Asked again once mapped, as a move the window manager carries out.
        // Qt sends nothing for a move to where it thinks the window already
        // is: a pixel aside first.
        if (QWindow* handle = w_->windowHandle()) {
            handle->setPosition(*hiddenAt_ + QPoint(1, 0));
            handle->setPosition(*hiddenAt_);
        }
    }
}

void QtWindow::show() {
    setVisible(true);
    w_->raise();
    w_->activateWindow();
}

void QtWindow::unload() {
    if (second_) return setVisible(false);
    w_->closeRequested = nullptr;
    w_->pointerInside = nullptr;
    w_->hide();
    QCoreApplication::quit();
}

}  // namespace dwellor::qt
