#pragma once
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QWindow>

#include "platform/pointer.h"
#include "platform/pointer_motion.h"
#include "platform/qt/qt_window_places.h"
#include "platform/wlroots/hyprland_cursor.h"
#include "platform/wlroots/idle_watch.h"
#include "platform/wlroots/rest_clock.h"

class QSocketNotifier;

namespace dwellor::wlroots {

// The pointer as far as a wlroots compositor (sway...) lets a client see it:
// it tells no client where the pointer is, only when input comes and goes.
// A reading is then a mark that stays the same while no input comes and is
// new after any: a rest is a whole period with no input at all, and no
// position is ever the top-left corner. Over Dwellor's own windows the
// position comes from the windows' own pointer events, in a space of their
// own (the compositor places windows and does not say where): each window's
// client area lies there, far from the screens, as it tells it as its place.
// Hyprland does say where the pointer is: there every reading is its answer,
// and a window's place is the pointer's less where the window saw it.
class WlrootsPointer final : public QObject, public IPointer, public IPointerMotion, public qt::WindowPlaces {
public:
    // How long without input the compositor waits before it says "idle".
    static constexpr int kQuietMs = 40;
    // Null, with `error`, when the compositor neither sends idle notices
    // nor is Hyprland.
    static std::unique_ptr<WlrootsPointer> open(std::string& error);
    ~WlrootsPointer() override;

    // Dwellor's own click at this moment: input, but not the person's.
    void injected();

    bool GetCursorPos(Point& pos) override;
    bool overOwnWindow() const override { return own_ != nullptr; }
    bool watchMotion(bool on) override;
    void onMoved(Handler moved) override { moved_ = std::move(moved); }

    std::optional<QRect> frame(const QWidget* w) const override;
    std::optional<QRect> client(const QWidget* w) const override;
    void moveTo(const QWidget* w, QPoint topLeft) override;

    // Where windows lie in their own space.
    static constexpr int kOwnSpace = 1 << 20;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    WlrootsPointer();
    QPoint originOf(const QWindow* w) const;
    void tell();

    RestClock clock_{kQuietMs};
    std::unique_ptr<IdleWatch> idle_;
    std::unique_ptr<HyprlandCursor> hypr_;
    std::map<const QWindow*, QPoint> origins_;  // on Hyprland: where each window's client area lies
    static constexpr std::int64_t kReuseMs = 5;
    std::optional<std::pair<std::int64_t, Point>> hyprRead_;  // when, and what Hyprland last said
    QSocketNotifier* notifier_ = nullptr;
    std::int64_t mark_ = 0;
    QPointer<QWindow> own_;
    QPoint ownAt_;
    mutable std::map<const QWindow*, int> windows_;  // the order they were first seen in
    std::map<const QWidget*, QPoint> wished_;
    bool watching_ = false;
    Handler moved_;
};

}  // namespace dwellor::wlroots
