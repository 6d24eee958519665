#pragma once
#include <map>
#include <vector>
#include <memory>
#include <optional>
#include <string>

#include <QPointer>
#include <QRect>
#include <QString>
#include <QTemporaryFile>
#include <QWidget>

#include "platform/pointer.h"
#include "platform/pointer_motion.h"
#include "platform/qt/qt_window_places.h"

namespace dwellor::kwin {

// Dwellor's eyes in KWin: a KWin script, loaded over the session bus, that
// tells this process (on its own bus name) where the pointer is whenever it
// moves and whether one of Dwellor's windows is under it, keeps Dwellor's
// windows above others and places them where Dwellor asks. Unloaded when
// this is destroyed; the guardian unloads it after any other ending.
class KWinScript final : public IPointer, public IPointerMotion, public qt::WindowPlaces {
public:
    // Null, with `error`, when KWin's scripting cannot be reached.
    static std::unique_ptr<KWinScript> load(std::string& error);
    ~KWinScript() override;
    KWinScript(const KWinScript&) = delete;
    KWinScript& operator=(const KWinScript&) = delete;

    // The name the script of process `pid` is loaded under.
    static QString scriptName(long pid);
    // Unloads that script over a connection of its own (for the guardian,
    // after Dwellor has ended); a script no longer loaded is no fault.
    static void unload(long pid);

    // False until the script has told where the pointer is.
    bool GetCursorPos(Point& pos) override;
    bool overOwnWindow() const override { return own_; }
    bool watchMotion(bool on) override;
    void onMoved(Handler moved) override { moved_ = std::move(moved); }

    std::optional<QRect> frame(const QWidget* w) const override;
    std::optional<QRect> client(const QWidget* w) const override;
    void moveTo(const QWidget* w, QPoint topLeft) override;

private:
    class Receiver;
    KWinScript();
    // What the script says, by method name.
    void moved(int x, int y, bool own);
    QString place(const QString& id, const QString& caption);
    void framed(const QString& id, const QRect& frame, const QRect& client);
    void gone(const QString& id);
    bool runScript(const QString& name, const QString& text, std::string& error);

    std::unique_ptr<Receiver> receiver_;
    std::optional<Point> at_;
    bool own_ = false;
    bool watching_ = false;
    Handler moved_;
    // Dwellor's shown windows by KWin's id for them.
    struct Shown {
        QPointer<QWidget> widget;
        QRect frame, client;
    };
    std::map<QString, Shown> shown_;
    // A rectangle KWin has told of a shown window.
    std::optional<QRect> known(const QWidget* w, QRect Shown::*rect) const;
    // Where a window not shown is to appear: asked for, or where it was.
    std::map<const QWidget*, QPoint> next_;
    int moves_ = 0;
    std::vector<std::unique_ptr<QTemporaryFile>> files_;
};

}  // namespace dwellor::kwin
