#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

#include "platform/window.h"

namespace dwellor::qt {

// Whether a pointer reading (in the server's pixels) falls in `rect`, a
// global rectangle in `w`'s device-independent pixels.
bool onScreenContains(const QWidget* w, const QRect& rect, Point screen);

// The screen holding a point in the server's pixels (the primary one when
// none does), and the point in Qt's device-independent pixels there: each
// screen keeps its top-left corner and scales from it.
QScreen* screenAt(Point native);
QPoint toLogical(Point native, const QScreen* screen);
// A global rectangle in device-independent pixels, in the server's.
Rect toNative(const QRect& logical, const QScreen* screen);

// The top-level widget; reports size and state changes, moves, the pointer
// coming and going, and requests to close (it closes itself only without a
// handler, and then ends the program only when `quitsOnClose`).
class FormWidget final : public QWidget {
public:
    using QWidget::QWidget;
    Handler resized;
    Handler moved;
    Handler closeRequested;
    std::function<void(bool)> pointerInside;
    bool quitsOnClose = true;

protected:
    void resizeEvent(QResizeEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void changeEvent(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void hideEvent(QHideEvent* e) override;
};

// A label that reports a click: a left press and release on it.
class ClickLabel final : public QLabel {
public:
    using QLabel::QLabel;
    Handler clicked;
    bool status = false;  // screen readers take it for a status line

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    bool pressed_ = false;
};

class QtTextBox final : public ITextBox {
public:
    explicit QtTextBox(QLineEdit* w);
    std::string text() const override { return w_->text().toStdString(); }
    void setText(const std::string& text) override { w_->setText(QString::fromStdString(text)); }
    bool visible() const override { return !w_->isHidden(); }
    void setVisible(bool on) override { w_->setVisible(on); }
    void onChange(Handler h) override { change_ = std::move(h); }

private:
    QLineEdit* w_;
    Handler change_;
};

class QtCheckBox final : public ICheckBox {
public:
    explicit QtCheckBox(QCheckBox* w);
    std::int16_t value() const override { return w_->isChecked() ? 1 : 0; }
    void setValue(std::int16_t v) override { w_->setChecked(v == 1); }
    void onClick(Handler h) override { click_ = std::move(h); }

private:
    QCheckBox* w_;
    Handler click_;
};

class QtLabel final : public ILabel {
public:
    explicit QtLabel(ClickLabel* w);
    std::string text() const override { return w_->text().toStdString(); }
    void setText(const std::string& text) override { w_->setText(QString::fromStdString(text)); }
    Colour foreColour() const override { return colour_; }
    void setForeColour(Colour c) override;
    Handle mouseIcon() const override { return icon_; }
    void setMouseIcon(Handle icon) override { icon_ = icon; }
    void setAccessibleDescription(const std::string& text) override;
    void onClick(Handler h) override { w_->clicked = std::move(h); }

private:
    ClickLabel* w_;
    Colour colour_;
    Handle icon_ = 0;
};

class QtButton final : public IButton {
public:
    explicit QtButton(QPushButton* w);
    void onClick(Handler h) override { click_ = std::move(h); }
    bool contains(Point screen) const override;

private:
    QPushButton* w_;
    Handler click_;
};

class QtCountdownMark;

class QtWindow final : public IWindow {
public:
    // The program's main window; with an `owner`, a second window of its
    // (see addWindow).
    explicit QtWindow(QtWindow* owner = nullptr);
    ~QtWindow() override;

    IButton& addButton(const ControlDesc& desc) override;
    ITextBox& addTextBox(const ControlDesc& desc) override;
    ICheckBox& addCheckBox(const ControlDesc& desc) override;
    ILabel& addLabel(const ControlDesc& desc) override;
    IPictureBox& addPictureBox(const ControlDesc& desc) override;
    ITickTimer& addTimer(const std::string& name) override;
    IPrompt& addPrompt() override;
    IWindow& addWindow(const std::string& name) override;
    ICountdownMark& addCountdownMark() override;

    void setClientSize(int width, int height) override { w_->setFixedSize(width, height); }
    Handle loadImage(Image image) override;
    std::string caption() const override { return w_->windowTitle().toStdString(); }
    void setCaption(const std::string& caption) override;
    Handle icon() const override { return icon_; }
    void setIcon(Handle icon) override;
    bool visible() const override { return w_->isVisible(); }
    void setVisible(bool on) override;
    WindowState windowState() const override;
    void setWindowState(WindowState s) override;
    void show() override;
    bool clientAreaContains(Point screen) const override;
    Rect frame() const override;
    std::vector<Rect> screens() const override;
    void moveTo(Point topLeft) override;
    void onMoved(Handler h) override { w_->moved = std::move(h); }
    void onResize(Handler h) override { w_->resized = std::move(h); }
    void onPointerInside(std::function<void(bool)> h) override { w_->pointerInside = std::move(h); }
    void onCloseRequest(Handler h) override { w_->closeRequested = std::move(h); }
    void unload() override;

private:
    template <class W>
    W* place(W* widget, const ControlDesc& desc);

    std::unique_ptr<FormWidget> w_;
    QWidget* lastInTabOrder_ = nullptr;
    Handle icon_ = 0;
    std::vector<std::unique_ptr<ITextBox>> textBoxes_;
    std::vector<std::unique_ptr<ICheckBox>> checkBoxes_;
    std::vector<std::unique_ptr<ILabel>> labels_;
    std::vector<std::unique_ptr<IButton>> buttons_;
    std::vector<std::unique_ptr<ITickTimer>> timers_;
    std::vector<std::unique_ptr<PictureBox>> pictures_;
    std::vector<std::unique_ptr<IPrompt>> prompts_;
    std::vector<std::unique_ptr<QtWindow>> windows_;
    std::unique_ptr<QtCountdownMark> mark_;
    bool second_;
    // Where the window was when it was last hidden: it comes back there.
    std::optional<QPoint> hiddenAt_;
};

}  // namespace dwellor::qt
