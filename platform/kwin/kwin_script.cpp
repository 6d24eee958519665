#include "platform/kwin/kwin_script.h"

#include <dbus/dbus.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDir>
#include <QMoveEvent>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace dwellor::kwin {

namespace {

const QString kPath = QStringLiteral("/io/github/dwellor/KWin");
const QString kInterface = QStringLiteral("io.github.dwellor.KWin");
constexpr int kCallTimeoutMs = 5000;
// Readings are taken a period apart, 100 ms at the shortest.
constexpr int kReportEveryMs = 50;

// Runs inside KWin. A move of the pointer is told at once, and while it
// goes on, once every @EVERY@ ms at most, the last place always (nothing is
// told while the pointer is still): a pointer moving all day costs Dwellor
// little. The topmost window under it is judged here, where the stacking
// order is known.
constexpr const char* kWatcher = R"js(
const service = "@SERVICE@", path = "@PATH@", iface = "@INTERFACE@", pid = @PID@;
// KWin 5 names windows "clients"; KWin 6 "windows", each on a list of desktops.
const windows = () => workspace.windowList ? workspace.windowList() : workspace.clientList();
const added = workspace.windowAdded || workspace.clientAdded;
const removed = workspace.windowRemoved || workspace.clientRemoved;
function mine(w) { return w.pid === pid; }
function onThisDesktop(w) {
    if (w.onAllDesktops) return true;
    return w.desktops ? w.desktops.includes(workspace.currentDesktop) : w.desktop === workspace.currentDesktop;
}
function showing(w) { return !w.minimized && !w.hidden && !w.deleted && onThisDesktop(w); }
function topAt(p) {
    let top = null;
    for (const w of windows()) {
        const g = w.frameGeometry;
        if (!showing(w) || p.x < g.x || p.y < g.y || p.x >= g.x + g.width || p.y >= g.y + g.height) continue;
        if (top === null || w.stackingOrder > top.stackingOrder) top = w;
    }
    return top;
}
function report() {
    const p = workspace.cursorPos, top = topAt(p);
    callDBus(service, path, iface, "Moved", p.x, p.y, top !== null && mine(top));
}
function framed(w) {
    const f = w.frameGeometry, b = w.bufferGeometry;
    callDBus(service, path, iface, "Framed", w.internalId.toString(),
             Math.round(f.x), Math.round(f.y), Math.round(f.width), Math.round(f.height),
             Math.round(b.x), Math.round(b.y), Math.round(b.width), Math.round(b.height));
}
function adopt(w) {
    if (!mine(w)) return;
    // Never covered for good: a person who only dwells could not get it back.
    w.keepAbove = true;
    callDBus(service, path, iface, "Place", w.internalId.toString(), w.caption, function (at) {
        const xy = at.split(" ");
        if (xy.length === 2)
            w.frameGeometry = {x: Number(xy[0]), y: Number(xy[1]), width: w.width, height: w.height};
        framed(w);
    });
    w.frameGeometryChanged.connect(function () { framed(w); });
}
added.connect(adopt);
removed.connect(function (w) {
    if (mine(w)) callDBus(service, path, iface, "Gone", w.internalId.toString());
});
windows().forEach(adopt);
// Where QTimer is missing, every move is told.
const pause = typeof QTimer === "function" ? new QTimer() : null;
let untold = false;
if (pause) {
    pause.singleShot = true;
    pause.interval = @EVERY@;
    pause.timeout.connect(function () {
        if (!untold) return;
        untold = false;
        report();
        pause.start();
    });
}
workspace.cursorPosChanged.connect(function () {
    if (pause && pause.active) {
        untold = true;
        return;
    }
    report();
    if (pause) pause.start();
});
report();
)js";

// Moves one window, then unloads itself.
constexpr const char* kMover = R"js(
for (const w of (workspace.windowList ? workspace.windowList() : workspace.clientList()))
    if (w.internalId.toString() === "@ID@")
        w.frameGeometry = {x: @X@, y: @Y@, width: w.width, height: w.height};
callDBus("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting", "unloadScript", "@NAME@");
)js";

QDBusMessage scripting(const QString& method, const QVariantList& args) {
    auto m = QDBusMessage::createMethodCall(QStringLiteral("org.kde.KWin"), QStringLiteral("/Scripting"),
                                            QStringLiteral("org.kde.kwin.Scripting"), method);
    m.setArguments(args);
    return m;
}

QString fill(QString text, const std::map<QString, QString>& values) {
    for (const auto& [key, value] : values) text.replace(QLatin1Char('@') + key + QLatin1Char('@'), value);
    return text;
}

}  // namespace

class KWinScript::Receiver final : public QDBusVirtualObject {
public:
    explicit Receiver(KWinScript& script) : script_(script) {}
    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& m, const QDBusConnection& bus) override {
        const QVariantList a = m.arguments();
        const QString& member = m.member();
        QVariantList reply;
        if (member == QLatin1String("Moved") && a.size() == 3) {
            script_.moved(a[0].toInt(), a[1].toInt(), a[2].toBool());
        } else if (member == QLatin1String("Place") && a.size() == 2) {
            reply << script_.place(a[0].toString(), a[1].toString());
        } else if (member == QLatin1String("Framed") && a.size() == 9) {
            script_.framed(a[0].toString(), QRect(a[1].toInt(), a[2].toInt(), a[3].toInt(), a[4].toInt()),
                           QRect(a[5].toInt(), a[6].toInt(), a[7].toInt(), a[8].toInt()));
        } else if (member == QLatin1String("Gone") && a.size() == 1) {
            script_.gone(a[0].toString());
        } else {
            return false;
        }
        if (m.isReplyRequired()) bus.send(m.createReply(reply));
        return true;
    }

private:
    KWinScript& script_;
};

KWinScript::KWinScript() : receiver_(std::make_unique<Receiver>(*this)) {}

QString KWinScript::scriptName(long pid) { return QStringLiteral("dwellor-%1").arg(pid); }

std::unique_ptr<KWinScript> KWinScript::load(std::string& error) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        error = "there is no session bus, so KWin cannot be asked where the pointer is.";
        return nullptr;
    }
    std::unique_ptr<KWinScript> script(new KWinScript());
    if (!bus.registerVirtualObject(kPath, script->receiver_.get(), QDBusConnection::SingleNode)) {
        error = "the session bus refused Dwellor's object: " + bus.lastError().message().toStdString();
        return nullptr;
    }
    const QString text = fill(QString::fromLatin1(kWatcher), {{QStringLiteral("SERVICE"), bus.baseService()},
                                                               {QStringLiteral("PATH"), kPath},
                                                               {QStringLiteral("INTERFACE"), kInterface},
                                                               {QStringLiteral("PID"), QString::number(getpid())},
                                                               {QStringLiteral("EVERY"), QString::number(kReportEveryMs)}});
    if (!script->runScript(scriptName(getpid()), text, error)) return nullptr;
    return script;
}

bool KWinScript::runScript(const QString& name, const QString& text, std::string& error) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    // KWin reads the file on a thread of its own once the script starts:
    // written to a private folder, and kept until the script has been heard
    // from (a mover until the next one).
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    files_.clear();
    auto& file = *files_.emplace_back(std::make_unique<QTemporaryFile>(dir + QStringLiteral("/dwellor-XXXXXX.js")));
    if (!file.open() || file.write(text.toUtf8()) < 0 || !file.flush()) {
        error = "the KWin script could not be written in " + dir.toStdString() + ".";
        return false;
    }
    // A script of this name left by an earlier process of this number.
    bus.call(scripting(QStringLiteral("unloadScript"), {name}), QDBus::Block, kCallTimeoutMs);
    const QDBusMessage loaded =
        bus.call(scripting(QStringLiteral("loadScript"), {file.fileName(), name}), QDBus::Block, kCallTimeoutMs);
    if (loaded.type() != QDBusMessage::ReplyMessage || loaded.arguments().value(0).toInt() < 0) {
        error = "KWin did not load Dwellor's script" +
                (loaded.type() == QDBusMessage::ErrorMessage ? ": " + loaded.errorMessage().toStdString() : "") + ".";
        return false;
    }
    const QDBusMessage started = bus.call(scripting(QStringLiteral("start"), {}), QDBus::Block, kCallTimeoutMs);
    if (started.type() != QDBusMessage::ReplyMessage) {
        error = "KWin did not start Dwellor's script: " + started.errorMessage().toStdString();
        return false;
    }
    return true;
}

KWinScript::~KWinScript() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.call(scripting(QStringLiteral("unloadScript"), {scriptName(getpid())}), QDBus::Block, kCallTimeoutMs);
    bus.unregisterObject(kPath);
}

void KWinScript::unload(long pid) {
    // libdbus, not Qt: this runs in a process forked before Qt started,
    // where Qt's threads would not be safe.
    DBusError error;
    dbus_error_init(&error);
    DBusConnection* bus = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
    if (!bus) return dbus_error_free(&error);
    dbus_connection_set_exit_on_disconnect(bus, false);
    DBusMessage* call = dbus_message_new_method_call("org.kde.KWin", "/Scripting", "org.kde.kwin.Scripting", "unloadScript");
    const QByteArray name = scriptName(pid).toUtf8();
    const char* text = name.constData();
    if (call && dbus_message_append_args(call, DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID)) {
        if (DBusMessage* reply = dbus_connection_send_with_reply_and_block(bus, call, kCallTimeoutMs, &error))
            dbus_message_unref(reply);
    }
    if (call) dbus_message_unref(call);
    dbus_error_free(&error);
    dbus_connection_close(bus);
    dbus_connection_unref(bus);
}

bool KWinScript::GetCursorPos(Point& pos) {
    if (!at_) return false;
    pos = *at_;
    return true;
}

bool KWinScript::watchMotion(bool on) {
    watching_ = on;
    return true;
}

void KWinScript::moved(int x, int y, bool own) {
    if (!at_) files_.clear();
    at_ = Point{x, y};
    own_ = own;
    if (watching_ && moved_) moved_();
}

QString KWinScript::place(const QString& id, const QString& caption) {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible() || w->windowTitle() != caption) continue;
        const bool known = std::any_of(shown_.begin(), shown_.end(), [w](const auto& s) { return s.second.widget == w; });
        if (known) continue;
        shown_[id] = {w, {}, {}};
        const auto next = next_.find(w);
        if (next == next_.end()) return {};
        const QPoint at = next->second;
        next_.erase(next);
        return QStringLiteral("%1 %2").arg(at.x()).arg(at.y());
    }
    return {};
}

void KWinScript::framed(const QString& id, const QRect& frame, const QRect& client) {
    const auto it = shown_.find(id);
    if (it == shown_.end() || !it->second.widget) return;
    const QPoint was = it->second.frame.topLeft();
    it->second.frame = frame;
    it->second.client = client;
    if (frame.topLeft() != was) {
        // Told as Qt tells a move on X11.
        QMoveEvent e(frame.topLeft(), was);
        QCoreApplication::sendEvent(it->second.widget, &e);
    }
}

void KWinScript::gone(const QString& id) {
    const auto it = shown_.find(id);
    if (it == shown_.end()) return;
    // Shown again where it was, unless asked otherwise meanwhile.
    if (it->second.widget && !it->second.frame.isNull()) next_[it->second.widget] = it->second.frame.topLeft();
    shown_.erase(it);
}

std::optional<QRect> KWinScript::known(const QWidget* w, QRect Shown::*rect) const {
    for (const auto& [id, s] : shown_)
        if (s.widget == w && !(s.*rect).isNull()) return s.*rect;
    return std::nullopt;
}

std::optional<QRect> KWinScript::frame(const QWidget* w) const { return known(w, &Shown::frame); }

std::optional<QRect> KWinScript::client(const QWidget* w) const { return known(w, &Shown::client); }

void KWinScript::moveTo(const QWidget* w, QPoint topLeft) {
    for (const auto& [id, s] : shown_) {
        if (s.widget != w) continue;
        const QString name = scriptName(getpid()) + QStringLiteral("-move-%1").arg(++moves_);
        std::string error;
        runScript(name,
                  fill(QString::fromLatin1(kMover), {{QStringLiteral("ID"), id},
                                                     {QStringLiteral("X"), QString::number(topLeft.x())},
                                                     {QStringLiteral("Y"), QString::number(topLeft.y())},
                                                     {QStringLiteral("NAME"), name}}),
                  error);
        return;
    }
    next_[w] = topLeft;
}

}  // namespace dwellor::kwin
