#include "platform/qt/qt_settings.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QSysInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/qt/ini_text.h"

namespace dwellor::qt {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

// Opens without blocking (a FIFO), without becoming a terminal's controller
// and without following a final symlink when asked.
int openForReading(const QString& path, bool followLink) {
    return open(QFile::encodeName(path).constData(),
                O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (followLink ? 0 : O_NOFOLLOW));
}

bool processAlive(long pid) { return pid > 0 && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM); }

// The lock QSettings and QLockFile take beside a file, taken here without
// ever waiting: a lock file is created exclusively, and one found in the way
// is read once, without blocking, to see whose it is.
class SettingsLock {
public:
    explicit SettingsLock(QString path) : path_(std::move(path)) {}
    ~SettingsLock() {
        if (held_) unlink(QFile::encodeName(path_).constData());
    }
    SettingsLock(const SettingsLock&) = delete;
    SettingsLock& operator=(const SettingsLock&) = delete;

    enum Result { Held, Busy, Impossible };
    Result take() {
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (create()) return Held;
            if (errno != EEXIST) return impossible();
            const std::optional<std::string> content = readLock();
            // Not a lock file at all: not ours to remove.
            if (!content) return impossible();
            if (decideLock(*content, QSysInfo::machineHostName().toStdString(), processAlive) == LockDecision::Wait)
                return Busy;
            // Its owner is gone: the lock is ours to take over.
            if (unlink(QFile::encodeName(path_).constData()) != 0 && errno != ENOENT) return impossible();
        }
        return Busy;
    }
    // Why the lock could not be had, for Impossible.
    const QString& error() const { return error_; }

private:
    bool create() {
        const int fd = open(QFile::encodeName(path_).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0) return false;
        const QByteArray info = QByteArray::number(static_cast<qint64>(getpid())) + "\n" +
                                QCoreApplication::applicationName().toUtf8() + "\n" +
                                QSysInfo::machineHostName().toUtf8() + "\n";
        [[maybe_unused]] auto n = write(fd, info.constData(), static_cast<size_t>(info.size()));
        close(fd);
        held_ = true;
        return true;
    }
    Result impossible() {
        error_ = QString::fromLocal8Bit(std::strerror(errno));
        return Impossible;
    }
    // The lock's content; nothing when it is not a regular file. Gone
    // meanwhile reads as empty, which is taken over.
    std::optional<std::string> readLock() {
        const int fd = openForReading(path_, false);
        if (fd < 0) return errno == ENOENT ? std::optional<std::string>("") : std::nullopt;
        std::optional<std::string> content;
        struct stat st {};
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
            char buf[256];
            const ssize_t n = read(fd, buf, sizeof buf);
            content = n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
        } else {
            errno = EEXIST;
        }
        close(fd);
        return content;
    }

    QString path_;
    QString error_;
    bool held_ = false;
};

// Leftovers of a write killed before its rename: "<name>.XXXXXX" beside it.
// Only called with the lock held, when no other writer is at work.
void removeLeftovers(const QString& file) {
    const QFileInfo info(file);
    const QDir folder = info.dir();
    const QString prefix = info.fileName() + QLatin1Char('.');
    for (const QFileInfo& f : folder.entryInfoList({prefix + QStringLiteral("??????")}, QDir::Files | QDir::Hidden | QDir::System)) {
        if (f.isSymLink() || !f.isFile()) continue;
        const QString tail = f.fileName().mid(prefix.size());
        if (tail == QLatin1String("lock")) continue;
        QFile::remove(f.filePath());
    }
}

}  // namespace

SettingsFileCheck checkSettingsFile(const QString& file, bool forWriting) {
    const QFileInfo folder(QFileInfo(file).path());
    if (folder.exists() && !folder.isDir()) return {SettingsFileCheck::NotAFile, folder.filePath(), {}};
    if (forWriting) {
        // Only stats: the lock itself is opened without blocking when taken.
        const QFileInfo lock(file + QLatin1String(".lock"));
        if (lock.exists() && !lock.isFile()) return {SettingsFileCheck::NotAFile, lock.filePath(), {}};
    }
    const int fd = openForReading(file, true);
    if (fd < 0) {
        // Nothing there, or a dangling symlink. Anything that cannot be
        // opened (a socket, a file we may not read) is left as it is.
        if (errno == ENOENT) return {SettingsFileCheck::Absent, {}, {}};
        return {SettingsFileCheck::NotAFile, file, {}};
    }
    SettingsFileCheck check{SettingsFileCheck::Regular, {}, {}};
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        check = {SettingsFileCheck::NotAFile, file, {}};
    } else if (st.st_size > SettingsFileCheck::kMaxSize) {
        check.state = SettingsFileCheck::TooLarge;
    } else {
        // One byte more than allowed tells a file that grew since fstat.
        std::string content(SettingsFileCheck::kMaxSize + 1, '\0');
        std::size_t got = 0;
        for (ssize_t n; got < content.size() && (n = read(fd, content.data() + got, content.size() - got)) != 0;) {
            if (n < 0) {
                if (errno == EINTR) continue;
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        content.resize(got);
        if (got > static_cast<std::size_t>(SettingsFileCheck::kMaxSize)) check.state = SettingsFileCheck::TooLarge;
        else check.content = std::move(content);
    }
    close(fd);
    return check;
}

LockDecision decideLock(const std::string& content, const std::string& host, bool (*alive)(long pid)) {
    // "pid\napp\nhost\n"; anything else has no owner to wait for.
    const std::size_t end = content.find('\n');
    const std::string pidText = content.substr(0, end);
    if (pidText.empty() || pidText.size() > 18 || pidText.find_first_not_of("0123456789") != std::string::npos)
        return LockDecision::TakeOver;
    const long pid = std::atol(pidText.c_str());
    std::string lockHost;
    if (end != std::string::npos) {
        const std::size_t appEnd = content.find('\n', end + 1);
        if (appEnd != std::string::npos) lockHost = content.substr(appEnd + 1, content.find('\n', appEnd + 1) - appEnd - 1);
    }
    // Another machine's process cannot be looked at: its lock is respected.
    if (!lockHost.empty() && lockHost != host) return LockDecision::Wait;
    return alive(pid) ? LockDecision::Wait : LockDecision::TakeOver;
}

QtSettings::QtSettings(QString configHome) : configHome_(std::move(configHome)) {
    retry_.setSingleShot(true);
    retry_.setInterval(kRetryMs);
    QObject::connect(&retry_, &QTimer::timeout, [this] {
        if (!flush()) retry_.start();
    });
}

QString QtSettings::fileOf(const std::string& app) const {
    const QString home = configHome_.isEmpty()
                             ? QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                             : configHome_;
    return home + QLatin1Char('/') + q(app) + QLatin1Char('/') + q(app) + QLatin1String(".conf");
}

void QtSettings::warnOnce(const QString& text) {
    if (warned_) return;
    warned_ = true;
    qWarning("Dwellor: %s", qPrintable(text));
}

bool QtSettings::usable(const SettingsFileCheck& check, const QString& file) {
    if (check.state == SettingsFileCheck::Absent || check.state == SettingsFileCheck::Regular) return true;
    if (check.state == SettingsFileCheck::TooLarge)
        warnOnce(QStringLiteral("%1 is larger than 64 KiB, not a settings file; using the defaults and leaving it alone")
                     .arg(file));
    else
        warnOnce(QStringLiteral("%1 is not a regular file; using the default settings and leaving it alone").arg(check.path));
    return false;
}

std::string QtSettings::GetSetting(const std::string& app, const std::string& section,
                                   const std::string& key, const std::string& def) {
    const QString file = fileOf(app);
    // A write still waiting for its lock is the newest value.
    for (auto it = pending_.rbegin(); it != pending_.rend(); ++it)
        if (it->file == file && it->section == section && it->key == key) return it->text;
    const SettingsFileCheck check = checkSettingsFile(file, false);
    if (!usable(check, file)) return def;
    return iniValue(check.content, section, key).value_or(def);
}

void QtSettings::SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                             const std::string& text) {
    pending_.push_back({fileOf(app), section, key, text});
    // Behind a write already waiting, in order.
    if (retry_.isActive()) return;
    if (!flush()) retry_.start();
}

bool QtSettings::flush() {
    while (!pending_.empty()) {
        const QString file = pending_.front().file;
        // Nothing is taken or made beside a file that is not ours.
        if (!usable(checkSettingsFile(file, true), file)) {
            dropPending(file);
            continue;
        }
        QDir().mkpath(QFileInfo(file).path());
        SettingsLock lock(file + QLatin1String(".lock"));
        const SettingsLock::Result taken = lock.take();
        if (taken == SettingsLock::Busy) return false;
        const std::vector<Write> batch = dropPending(file);
        if (taken == SettingsLock::Impossible) {
            warnOnce(QStringLiteral("cannot save the settings in %1: %2").arg(file, lock.error()));
            continue;
        }
        // Read again under the lock: another writer may have been first.
        const SettingsFileCheck check = checkSettingsFile(file, false);
        if (!usable(check, file)) continue;
        removeLeftovers(file);
        std::string content = check.content;
        for (const Write& w : batch) content = iniWithValue(content, w.section, w.key, w.text);
        QSaveFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(content.data(), static_cast<qint64>(content.size())) < 0 ||
            !out.commit())
            warnOnce(QStringLiteral("cannot save the settings in %1: %2").arg(file, out.errorString()));
    }
    return true;
}

std::vector<QtSettings::Write> QtSettings::dropPending(const QString& file) {
    std::vector<Write> taken;
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (it->file == file) {
            taken.push_back(std::move(*it));
            it = pending_.erase(it);
        } else {
            ++it;
        }
    }
    return taken;
}

}  // namespace dwellor::qt
