#include "platform/qt/qt_prompt.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

#include "platform/qt/qt_window.h"
#include "platform/qt/qt_window_places.h"

namespace dwellor::qt {

class QtPrompt::Window final : public QWidget {
public:
    std::function<void()> closeRequested;

protected:
    void closeEvent(QCloseEvent* e) override {
        e->ignore();
        if (closeRequested) closeRequested();
    }
};

QtPrompt::QtPrompt() : w_(std::make_unique<Window>()) {
    w_->setObjectName(QStringLiteral("Prompt"));
    w_->setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    QFont f = w_->font();
    f.setPixelSize(16);
    f.setBold(true);
    w_->setFont(f);
    yes_ = new QPushButton(w_.get());
    no_ = new QPushButton(w_.get());
    yes_->setObjectName(QStringLiteral("Yes"));
    no_->setObjectName(QStringLiteral("No"));
    yes_->setGeometry(kMargin, kMargin, kButtonWidth, kButtonHeight);
    no_->setGeometry(2 * kMargin + kButtonWidth, kMargin, kButtonWidth, kButtonHeight);
    w_->setFixedSize(3 * kMargin + 2 * kButtonWidth, 2 * kMargin + kButtonHeight);
    // Queued: the answer may close this window, whose button is still at work.
    QObject::connect(yes_, &QPushButton::clicked, yes_, [this] { answer(true); }, Qt::QueuedConnection);
    QObject::connect(no_, &QPushButton::clicked, no_, [this] { answer(false); }, Qt::QueuedConnection);
    w_->closeRequested = [this] { answer(false); };
}

QtPrompt::~QtPrompt() = default;


void QtPrompt::answer(bool yes) {
    if (isOpen() && answer_) answer_(yes);
}

void QtPrompt::open(const PromptDesc& desc) {
    w_->setWindowTitle(QString::fromStdString(desc.caption));
    yes_->setText(QString::fromStdString(desc.yes));
    no_->setText(QString::fromStdString(desc.no));
    // Beside the pointer, never under it: to its right and below, or to its
    // left or above where the screen ends. Qt places in device-independent
    // pixels; the point is in the server's.
    QScreen* screen = QGuiApplication::primaryScreen();
    // A compositor's pixels are Qt's own.
    const qreal f = screen && !windowPlaces() ? screen->devicePixelRatio() : 1.0;
    const QPoint at(qRound(desc.near.x / f), qRound(desc.near.y / f));
    for (QScreen* s : QGuiApplication::screens())
        if (s->geometry().contains(at)) screen = s;
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1 << 15, 1 << 15);
    const QSize size = w_->frameGeometry().size().expandedTo(w_->size());
    int x = at.x() + kOffset, y = at.y() + kOffset;
    if (x + size.width() > area.right()) x = at.x() - kOffset - size.width();
    if (y + size.height() > area.bottom()) y = at.y() - kOffset - size.height();
    const QPoint place(std::max(x, area.left()), std::max(y, area.top()));
    if (WindowPlaces* places = windowPlaces()) {
        places->moveTo(w_.get(), place);
    } else {
        w_->move(place);
    }
    w_->show();
    w_->raise();
}

void QtPrompt::close() { w_->hide(); }

bool QtPrompt::isOpen() const { return w_->isVisible(); }

bool QtPrompt::clientAreaContains(Point screen) const {
    if (!isOpen()) return false;
    return onScreenContains(w_.get(), w_->geometry(), screen);
}

}  // namespace dwellor::qt
