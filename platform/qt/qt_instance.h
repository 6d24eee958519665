#pragma once
#include <functional>
#include <map>
#include <memory>
#include <string>

#include <QByteArray>
#include <QLockFile>
#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

namespace dwellor::qt {

// One Dwellor per user and X display: a lock file and a local socket in the
// user's private runtime folder, both named after the display.
class InstanceLock {
public:
    // `display` as X names it (":0", ":0.1", "host:10.0"); the screen part
    // is ignored. The folder is $XDG_RUNTIME_DIR, or a private 0700 one.
    explicit InstanceLock(const QString& display);
    // True when this process is now the one instance. A lock left behind by
    // a process that no longer runs is taken over.
    bool tryLock();
    const QString& socketPath() const { return socketPath_; }
    // Empty when the folder could not be had.
    bool usable() const { return !socketPath_.isEmpty(); }

private:
    QString socketPath_;
    std::unique_ptr<QLockFile> lock_;
};

// A file-name-safe key for a display: ":1.0" gives "1", "host:10" "host-10".
QString displayKey(const QString& display);

enum class SendResult { Done, NoListener, Failed };
// Sends one command to the running instance and waits up to `timeoutMs` for
// its answer "ok". NoListener: nobody listens on the socket (yet).
SendResult sendCommand(const QString& socketPath, const QString& command, int timeoutMs, QString& error);

// The running instance's end of the socket. Each connection carries one
// command line; it is handed to `handler`, which says whether it knew it. A
// known command is answered "ok"; anything else (unknown, oversized, never
// finished) is dropped without effect. Nothing here blocks.
class CommandServer final : public QObject {
public:
    using CommandHandler = std::function<bool(const std::string&)>;
    explicit CommandServer(CommandHandler handler, int idleMs = kIdleMs);
    ~CommandServer() override;
    bool listen(const QString& path, QString& error);

    static constexpr int kMaxLine = 64;        // bytes, newline included
    static constexpr std::size_t kMaxConnections = 8;  // at once
    static constexpr int kIdleMs = 5000;       // a client that sends nothing is dropped

private:
    void accept();
    void read(QLocalSocket* s);

    CommandHandler handler_;
    int idleMs_;
    QLocalServer* server_;
    std::map<QLocalSocket*, QByteArray> pending_;  // what each client has sent so far
};

}  // namespace dwellor::qt
