#include "platform/qt/qt_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTimer>

namespace dwellor::qt {

namespace {

QString lastError() { return QString::fromLocal8Bit(std::strerror(errno)); }

QString runtimeFolder() {
    // Qt makes (or checks) a folder only the user can enter when
    // XDG_RUNTIME_DIR is not set, and gives nothing when it cannot.
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return dir.isEmpty() || !QDir(dir).exists() ? QString() : dir;
}

// Dwellor's settings folder, made if need be: where the lock goes without a
// runtime folder (another user may have made the one Qt falls back to). Only
// a folder of this user's that nobody else may write to will do, or another
// could hold the lock in our place.
QString settingsFolder() {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty()) return {};
    const QString dir = config + QStringLiteral("/Dwellor");
    QDir().mkpath(dir);
    struct stat st {};
    if (lstat(QFile::encodeName(dir).constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid() ||
        (st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return {};
    return dir;
}

QString fileNameSafe(QString s) {
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._-]"));
    return s.replace(unsafe, QStringLiteral("_"));
}

// An address in the abstract namespace: a leading NUL, and no file.
socklen_t abstractAddress(const QByteArray& name, sockaddr_un& addr) {
    addr = {};
    addr.sun_family = AF_UNIX;
    const std::size_t n = std::min<std::size_t>(name.size(), sizeof addr.sun_path - 1);
    std::memcpy(addr.sun_path + 1, name.constData(), n);
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
}

// A listening socket on `name`, or -1 (errno EADDRINUSE: someone has it).
// A raw socket, not a QLocalServer: it is bound before the guardian is forked
// and before Qt starts, so that the name is had or found at once.
int listenOn(const QByteArray& name) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    sockaddr_un addr;
    const socklen_t len = abstractAddress(name, addr);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0 && listen(fd, 50) == 0) return fd;
    const int saved = errno;
    close(fd);
    errno = saved;
    return -1;
}

// A connection to whoever listens on `name`, and the user it runs as; -1
// when nobody takes connections there: none listens (yet), or its backlog is
// full.
int connectTo(const QByteArray& name, uid_t& owner) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    sockaddr_un addr;
    const socklen_t len = abstractAddress(name, addr);
    ucred cred{};
    socklen_t credLen = sizeof cred;
    // A full backlog gives EAGAIN rather than a wait.
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0 &&
        getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &credLen) == 0) {
        owner = cred.uid;
        return fd;
    }
    close(fd);
    return -1;
}

bool fromThisUser(qintptr fd) {
    ucred cred{};
    socklen_t len = sizeof cred;
    return getsockopt(static_cast<int>(fd), SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && cred.uid == geteuid();
}

bool gone(int err) { return err == EPIPE || err == ECONNRESET; }

// Sends one command line on a connected socket and waits for "ok". When the
// time is up the reading end is shut first: no answer can arrive after that,
// and the instance carries out only a command whose answer it could deliver,
// so one reported as unanswered is never carried out later.
SendResult converse(int fd, const QString& command, int timeoutMs, const QElapsedTimer& clock, QString& error) {
    const QByteArray line = (command + QLatin1Char('\n')).toUtf8();
    QByteArray reply;
    bool ended = false, timedOut = false;
    if (::send(fd, line.constData(), line.size(), MSG_NOSIGNAL) != line.size()) {
        ended = gone(errno);
        timedOut = !ended;
    }
    char buf[CommandServer::kMaxLine];
    while (!ended && !timedOut && !reply.contains('\n')) {
        pollfd p{fd, POLLIN, 0};
        const qint64 left = timeoutMs - clock.elapsed();
        const int ready = left > 0 ? poll(&p, 1, static_cast<int>(left)) : 0;
        if (ready < 0 && errno == EINTR) continue;
        timedOut = ready <= 0;
        const ssize_t n = timedOut ? 0 : recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0) reply.append(buf, n);
        ended = !timedOut && (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR));
    }
    if (timedOut) {
        shutdown(fd, SHUT_RD);
        for (ssize_t n; reply.size() < CommandServer::kMaxLine && (n = recv(fd, buf, sizeof buf, MSG_DONTWAIT)) > 0;)
            reply.append(buf, n);
    }
    if (reply.trimmed() == "ok") return SendResult::Done;
    error = reply.isEmpty() ? QStringLiteral("no answer") : QStringLiteral("the command was refused");
    return ended && reply.isEmpty() ? SendResult::Ended : SendResult::Failed;
}

}  // namespace

QString displayKey(const QString& display) {
    QString host = display.section(QLatin1Char(':'), 0, -2).toLower();
    QString number = display.section(QLatin1Char(':'), -1).section(QLatin1Char('.'), 0, 0);
    if (host == QLatin1String("unix")) host.clear();
    // X reads the number as a number: ":0135" is the server ":135" is.
    static const QRegularExpression leadingZeros(QStringLiteral("^0+(?=[0-9])"));
    number.remove(leadingZeros);
    host = fileNameSafe(host);
    number = fileNameSafe(number);
    return host.isEmpty() ? number : host + QLatin1Char('-') + number;
}

// ---- LockFile

LockFile::LockFile(const QString& path) : path_(path) {}

LockFile::State LockFile::take() {
    problem_.clear();
    if (!lock_) {
        lock_ = std::make_unique<QLockFile>(path_);
        // Stale only when its process is gone, never by age: Dwellor runs for days.
        lock_->setStaleLockTime(0);
    }
    const QByteArray native = QFile::encodeName(path_);
    for (int round = 0; round < 3; ++round) {
        struct stat st {};
        if (lstat(native.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
            // Never a lock (those are regular files); and Qt, reading it to
            // see whose it is, would follow a symlink or wait on a FIFO.
            if (S_ISDIR(st.st_mode)) {
                problem_ = QStringLiteral("%1 is a folder").arg(path_);
                return State::Impossible;
            }
            if (unlink(native.constData()) != 0 && errno != ENOENT) {
                problem_ = QStringLiteral("%1 cannot be removed (%2)").arg(path_, lastError());
                return State::Impossible;
            }
            continue;
        }
        if (lock_->tryLock(0)) return State::Ours;
        if (lock_->error() != QLockFile::LockFailedError) {
            problem_ = QStringLiteral("%1 cannot be made (the folder is read-only, full or not ours)").arg(path_);
            return State::Impossible;
        }
        // Qt has already taken over a lock naming a process that is gone;
        // this one names a live one, or nothing it can read. Whatever it
        // says, a lock no process holds is dead: a live QLockFile holds an
        // flock on its file from before it writes a word until it lets go,
        // and removeStaleLockFile() removes the file only under that flock.
        if (lock_->removeStaleLockFile()) continue;
        if (access(QFile::encodeName(QFileInfo(path_).path()).constData(), W_OK) != 0) {
            problem_ = QStringLiteral("%1 cannot be replaced (%2)").arg(path_, lastError());
            return State::Impossible;
        }
        // Gone meanwhile: try again; still there: someone holds it.
        if (lstat(native.constData(), &st) == 0) return State::Held;
    }
    problem_ = QStringLiteral("%1 keeps changing").arg(path_);
    return State::Impossible;
}

void LockFile::release() {
    if (lock_) lock_->unlock();
}

// ---- InstanceLock

InstanceLock::InstanceLock(const QString& display) : InstanceLock(display, runtimeFolder()) {
    if (lock_) return;
    // A home folder may be shared by several machines: the lock names this one.
    if (const QString folder = settingsFolder(); !folder.isEmpty())
        placeLock(folder, fileNameSafe(QSysInfo::machineHostName()) + QLatin1Char('-') + displayKey(display));
}

InstanceLock::InstanceLock(const QString& display, const QString& folder) {
    const QString key = displayKey(display);
    name_ = "dwellor-" + QByteArray::number(geteuid()) + '-' + key.toUtf8();
    if (!folder.isEmpty()) placeLock(folder, key);
}

void InstanceLock::placeLock(const QString& folder, const QString& stem) {
    const QString base = folder + QStringLiteral("/dwellor-") + stem;
    socketPath_ = base + QStringLiteral(".socket");
    lock_ = std::make_unique<LockFile>(base + QStringLiteral(".lock"));
}

InstanceLock::~InstanceLock() { release(); }

void InstanceLock::release() {
    if (nameFd_ >= 0) close(nameFd_);
    nameFd_ = -1;
    if (lock_ && lockState_ == LockFile::State::Ours) lock_->release();
    lockState_ = LockFile::State::Impossible;
    haveName_ = nameTakenByOther_ = runningOnName_ = false;
    nameProblem_.clear();
}

InstanceLock::Claim InstanceLock::claim() {
    release();
    // The name first: whoever has it is the instance, whatever the folder holds.
    nameFd_ = listenOn(name_);
    haveName_ = nameFd_ >= 0;
    const int err = errno;
    if (!haveName_) nameProblem_ = lastError();
    if (!haveName_ && err == EADDRINUSE) {
        uid_t owner = 0;
        const int fd = connectTo(name_, owner);
        if (fd >= 0) close(fd);
        if (fd >= 0 && owner == geteuid()) {
            runningOnName_ = true;
            return Claim::Running;
        }
        // Anyone may bind a name there. One whose listener is another user,
        // or that takes no connections (bound without listening, or its
        // backlog filled) proves nothing: the lock file, ours alone, decides.
        nameTakenByOther_ = fd >= 0;
    }
    if (lock_) {
        lockState_ = lock_->take();
        if (lockState_ == LockFile::State::Held) {
            release();
            return Claim::Running;
        }
    }
    return Claim::Ours;
}

QString InstanceLock::weakness() const {
    const bool name = haveName_;
    const bool file = lockState_ == LockFile::State::Ours;
    if (name && file) return {};
    const QString noLock = !lock_ ? QStringLiteral("no runtime folder for an instance lock")
                                  : QStringLiteral("no instance lock: %1").arg(lock_->problem());
    const QString noName = nameTakenByOther_
                               ? QStringLiteral("the instance name %1 is taken by another user")
                                     .arg(QString::fromUtf8(name_))
                               : QStringLiteral("no instance name %1 (%2)").arg(QString::fromUtf8(name_), nameProblem_);
    if (name) return QStringLiteral("dwellor: %1; a second start on this display still finds this one.").arg(noLock);
    if (file) return QStringLiteral("dwellor: %1; the instance lock alone keeps a second Dwellor out.").arg(noName);
    return QStringLiteral("dwellor: %1, and %2: running without the one-instance guard.").arg(noLock, noName);
}

SendResult InstanceLock::send(const QString& command, int timeoutMs, QString& error) {
    if (!runningOnName_) return sendCommand(socketPath_, command, timeoutMs, error);
    QElapsedTimer clock;
    clock.start();
    uid_t owner = 0;
    const int fd = connectTo(name_, owner);
    if (fd < 0) {
        error = lastError();
        return SendResult::NoListener;
    }
    SendResult result = SendResult::Failed;
    if (owner != geteuid())
        error = QStringLiteral("the instance name is held by another user");
    else
        result = converse(fd, command, timeoutMs, clock, error);
    close(fd);
    return result;
}

int InstanceLock::takeNameSocket() {
    const int fd = nameFd_;
    nameFd_ = -1;
    return fd;
}

QString InstanceLock::socketPath() const {
    return lockState_ == LockFile::State::Ours ? socketPath_ : QString();
}

// ---- Commands

SendResult sendCommand(const QString& socketPath, const QString& command, int timeoutMs, QString& error) {
    QElapsedTimer clock;
    clock.start();
    QLocalSocket s;
    s.connectToServer(socketPath);
    if (!s.waitForConnected(timeoutMs)) {
        error = s.errorString();
        return SendResult::NoListener;
    }
    return converse(static_cast<int>(s.socketDescriptor()), command, timeoutMs, clock, error);
}

CommandServer::CommandServer(std::function<void(Command)> run, int idleMs) : run_(std::move(run)), idleMs_(idleMs) {}

CommandServer::~CommandServer() {
    // Their connections go with them, while the map they are listed in still exists.
    qDeleteAll(servers_);
}

QLocalServer* CommandServer::addServer() {
    auto* server = new QLocalServer(this);
    servers_.push_back(server);
    QObject::connect(server, &QLocalServer::newConnection, this, [this, server] { accept(server); });
    return server;
}

bool CommandServer::listen(const QString& path, QString& error) {
    QLocalServer* server = addServer();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    // We hold the lock: a socket still there was left by an instance that died.
    QLocalServer::removeServer(path);
    if (server->listen(path)) return true;
    error = server->errorString();
    return false;
}

bool CommandServer::listen(int listeningFd, QString& error) {
    QLocalServer* server = addServer();
    if (server->listen(static_cast<qintptr>(listeningFd))) return true;
    error = server->errorString();
    close(listeningFd);
    return false;
}

void CommandServer::accept(QLocalServer* server) {
    while (QLocalSocket* s = server->nextPendingConnection()) {
        // An abstract name has no file permissions: the peer's user is checked instead.
        if (pending_.size() >= kMaxConnections || !fromThisUser(s->socketDescriptor())) {
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
    const std::optional<Command> command = commandNamed(buf.left(end).trimmed().toStdString());
    // One command per connection; anything after it is ignored. Answered
    // before it is run, and run only once the answer is with its sender: one
    // that gave up waiting has shut its end, and the write fails.
    const bool taken = command && ::send(static_cast<int>(s->socketDescriptor()), "ok\n", 3,
                                         MSG_NOSIGNAL | MSG_DONTWAIT) == 3;
    s->disconnectFromServer();
    if (taken && run_) run_(*command);
}

}  // namespace dwellor::qt
