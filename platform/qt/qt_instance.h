#pragma once
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QByteArray>
#include <QLockFile>
#include <QObject>
#include <QString>

#include "platform/command.h"

class QLocalServer;
class QLocalSocket;

namespace dwellor::qt {

// The X server a display name reaches, as a file-name-safe key: ":0135.1",
// ":135" and "unix:135" all give "135"; "Host:010" gives "host-10".
QString displayKey(const QString& display);

// The lock file half of the one-instance guard.
class LockFile {
public:
    explicit LockFile(const QString& path);
    enum class State {
        Ours,        // taken (a lock left by a process that is gone is taken over)
        Held,        // by a live process: another instance
        Impossible,  // no lock can be made there; problem() says why
    };
    State take();
    void release();
    const QString& path() const { return path_; }
    const QString& problem() const { return problem_; }

private:
    QString path_, problem_;
    std::unique_ptr<QLockFile> lock_;
};

// Done: the instance acknowledged the command and carries it out.
// NoListener: nobody listens on the socket (yet). Ended: the other end closed
// without an answer, as a start that held the claim only to find no instance
// does when it ends. Failed: no answer in time (the instance will never carry
// the command out), or a refusal.
enum class SendResult { Done, NoListener, Ended, Failed };

// One Dwellor per user and X display. Two guards, so that neither a file
// cleaner nor a runtime folder that cannot be had lets a second one run: a
// name in the abstract socket namespace, which the kernel frees when its
// process ends and no file operation can touch, and a lock file in the
// user's private runtime folder, which still decides when another user has
// taken the name first. The running instance takes commands on both.
class InstanceLock {
public:
    // `display` as X names it (":0", ":0.1", "host:10.0"). The folder is
    // $XDG_RUNTIME_DIR, or the private 0700 one Qt falls back to, or when
    // neither can be had Dwellor's settings folder; `folder` overrides it
    // ("" for none).
    explicit InstanceLock(const QString& display);
    InstanceLock(const QString& display, const QString& folder);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    enum class Claim { Ours, Running };
    // Ours: this process is now the instance (weakness() says what guard it
    // lacks). Running: another one is, or is starting; send() reaches it.
    // Nothing of a guard is kept after Running, so that a later claim can
    // take over from an instance that has since ended.
    Claim claim();
    // One line for the user when the guard is incomplete; empty otherwise.
    QString weakness() const;
    // Sends one command to the running instance found by claim().
    SendResult send(const QString& command, int timeoutMs, QString& error);

    // What the instance listens on: the abstract name's listening socket
    // (ownership passes to the caller; -1 when not held) and the socket
    // beside the lock file (empty when the lock is not ours).
    int takeNameSocket();
    QString socketPath() const;

    const QByteArray& name() const { return name_; }

private:
    void release();
    void placeLock(const QString& folder, const QString& stem);

    QByteArray name_;       // in the abstract namespace
    QString socketPath_;    // empty when there is no runtime folder
    std::unique_ptr<LockFile> lock_;
    int nameFd_ = -1;
    bool haveName_ = false;
    QString nameProblem_;  // why the name could not be had
    bool nameTakenByOther_ = false;
    LockFile::State lockState_ = LockFile::State::Impossible;
    bool runningOnName_ = false;
};

// Sends one command to the running instance and waits up to `timeoutMs` for
// its answer "ok".
SendResult sendCommand(const QString& socketPath, const QString& command, int timeoutMs, QString& error);

// The running instance's end of the sockets. Each connection carries one
// command line: decoded, acknowledged with "ok", and run only if its sender
// took the answer; anything else
// (unknown, oversized, never finished, from another user, from a sender that
// has given up) is dropped without effect. Nothing here blocks.
class CommandServer final : public QObject {
public:
    explicit CommandServer(std::function<void(Command)> run, int idleMs = kIdleMs);
    ~CommandServer() override;
    // A socket file; one left behind is replaced, so hold its lock first.
    bool listen(const QString& path, QString& error);
    // A socket already listening (the abstract name); this takes it over.
    bool listen(int listeningFd, QString& error);

    static constexpr int kMaxLine = 64;        // bytes, newline included
    static constexpr std::size_t kMaxConnections = 8;  // at once, over all sockets
    static constexpr int kIdleMs = 5000;       // a client that sends nothing is dropped

private:
    QLocalServer* addServer();
    void accept(QLocalServer* server);
    void read(QLocalSocket* s);

    std::function<void(Command)> run_;
    int idleMs_;
    std::vector<QLocalServer*> servers_;
    std::map<QLocalSocket*, QByteArray> pending_;  // what each client has sent so far
};

}  // namespace dwellor::qt
