#include "platform/qt/qt_instance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>

namespace dwellor::qt {

QString displayKey(const QString& display) {
    QString host = display.section(QLatin1Char(':'), 0, -2);
    QString number = display.section(QLatin1Char(':'), -1).section(QLatin1Char('.'), 0, 0);
    if (host == QLatin1String("unix")) host.clear();
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._-]"));
    host.replace(unsafe, QStringLiteral("_"));
    number.replace(unsafe, QStringLiteral("_"));
    return host.isEmpty() ? number : host + QLatin1Char('-') + number;
}

InstanceLock::InstanceLock(const QString& display) {
    // Qt makes (or checks) a folder only the user can enter when
    // XDG_RUNTIME_DIR is not set.
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty() || !QDir(dir).exists()) return;
    const QString base = dir + QStringLiteral("/dwellor-") + displayKey(display);
    socketPath_ = base + QStringLiteral(".socket");
    lock_ = std::make_unique<QLockFile>(base + QStringLiteral(".lock"));
    // Stale only when its process is gone, never by age: Dwellor runs for days.
    lock_->setStaleLockTime(0);
}

bool InstanceLock::tryLock() { return lock_ && lock_->tryLock(0); }

SendResult sendCommand(const QString& socketPath, const QString& command, int timeoutMs, QString& error) {
    QElapsedTimer clock;
    clock.start();
    auto left = [&] { return static_cast<int>(std::max<qint64>(1, timeoutMs - clock.elapsed())); };
    QLocalSocket s;
    s.connectToServer(socketPath);
    if (!s.waitForConnected(left())) {
        error = s.errorString();
        return SendResult::NoListener;
    }
    s.write((command + QLatin1Char('\n')).toUtf8());
    QByteArray reply;
    if (s.waitForBytesWritten(left())) {
        while (!reply.contains('\n') && clock.elapsed() < timeoutMs && s.waitForReadyRead(left()))
            reply += s.readAll();
    }
    if (reply.trimmed() == "ok") return SendResult::Done;
    error = reply.isEmpty() ? QStringLiteral("no answer") : QStringLiteral("the command was refused");
    return SendResult::Failed;
}

CommandServer::CommandServer(CommandHandler handler, int idleMs)
    : handler_(std::move(handler)), idleMs_(idleMs), server_(new QLocalServer(this)) {
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    QObject::connect(server_, &QLocalServer::newConnection, this, &CommandServer::accept);
}

CommandServer::~CommandServer() {
    // Its connections go with it, while the map they are listed in still exists.
    delete server_;
}

bool CommandServer::listen(const QString& path, QString& error) {
    // We hold the lock: a socket still there was left by an instance that died.
    QLocalServer::removeServer(path);
    if (server_->listen(path)) return true;
    error = server_->errorString();
    return false;
}

void CommandServer::accept() {
    while (QLocalSocket* s = server_->nextPendingConnection()) {
        if (pending_.size() >= kMaxConnections) {
            s->abort();
            s->deleteLater();
            continue;
        }
        pending_[s];
        QObject::connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
        QObject::connect(s, &QObject::destroyed, this, [this, s] { pending_.erase(s); });
        QObject::connect(s, &QLocalSocket::readyRead, this, [this, s] { read(s); });
        // A child of the connection, so that it goes with it: a timer of its
        // own would outlive it by up to the idle time, and a flood of short
        // connections would pile up timers that all fire at once.
        auto* idle = new QTimer(s);
        idle->setSingleShot(true);
        QObject::connect(idle, &QTimer::timeout, s, &QLocalSocket::abort);
        idle->start(idleMs_);
        read(s);
    }
}

void CommandServer::read(QLocalSocket* s) {
    if (s->state() != QLocalSocket::ConnectedState || !s->isOpen()) return;
    QByteArray& buf = pending_[s];
    buf += s->read(kMaxLine - buf.size());
    const qsizetype end = buf.indexOf('\n');
    if (end < 0) {
        if (buf.size() >= kMaxLine) s->abort();  // too long to be a command
        return;
    }
    const std::string line = buf.left(end).trimmed().toStdString();
    // One command per connection; anything after it is ignored.
    if (handler_ && handler_(line)) {
        s->write("ok\n");
        s->flush();
    }
    s->disconnectFromServer();
}

}  // namespace dwellor::qt
