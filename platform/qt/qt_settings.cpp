#include "platform/qt/qt_settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QDateTime>
#include <QLockFile>

#include <cerrno>

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

// The lock QSettings takes beside a file, taken as QLockFile takes it, but
// never waiting. QLockFile takes over a lock whose process is gone or is
// another program. One it cannot read an owner from (left by a write killed
// before it wrote one) it would wait on for half a minute: no process holds
// it, so it is removed, under its flock, once it is too old to be one just
// being made.
class SettingsLock {
public:
    explicit SettingsLock(const QString& path) : lock_(path) { lock_.setStaleLockTime(0); }

    enum Result { Held, Busy, Impossible };
    Result take() {
        if (lock_.tryLock(0)) return Held;
        if (lock_.error() != QLockFile::LockFailedError) return Impossible;
        const QDateTime made = QFileInfo(lock_.fileName()).lastModified();
        if (made.isValid() && qAbs(made.msecsTo(QDateTime::currentDateTime())) < kMakingMs) return Busy;
        // Refused while a live QLockFile holds it.
        if (lock_.removeStaleLockFile() && lock_.tryLock(0)) return Held;
        return lock_.error() == QLockFile::LockFailedError || lock_.error() == QLockFile::NoError ? Busy : Impossible;
    }
    // Who holds it, for a write put off.
    QString owner() {
        qint64 pid = 0;
        QString host, app;
        if (!lock_.getLockInfo(&pid, &host, &app)) return QStringLiteral("a writer just starting");
        return QStringLiteral("%1 (process %2)").arg(app.isEmpty() ? QStringLiteral("a program") : app).arg(pid);
    }

private:
    static constexpr qint64 kMakingMs = 1000;
    QLockFile lock_;
};

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
    // Only the newest value of a key is worth waiting to write.
    const QString file = fileOf(app);
    std::erase_if(pending_, [&](const Write& w) { return w.file == file && w.section == section && w.key == key; });
    pending_.push_back({file, section, key, text});
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
        if (taken == SettingsLock::Busy) {
            if (!toldPutOff_)
                qWarning("Dwellor: %s is locked by %s; the settings are saved once it lets go.",
                         qPrintable(file), qPrintable(lock.owner()));
            toldPutOff_ = true;
            return false;
        }
        const std::vector<Write> batch = dropPending(file);
        if (taken == SettingsLock::Impossible) {
            warnOnce(QStringLiteral("cannot save the settings in %1: no lock can be made beside it").arg(file));
            continue;
        }
        // Read again under the lock: another writer may have been first.
        const SettingsFileCheck check = checkSettingsFile(file, false);
        if (!usable(check, file)) continue;
        std::vector<IniEntry> entries;
        for (const Write& w : batch) entries.push_back({w.section, w.key, w.text});
        const std::optional<std::string> content = iniWithValues(check.content, entries);
        if (!content) {
            warnOnce(QStringLiteral("cannot save the settings in %1: no room to prepare them").arg(file));
            continue;
        }
        // A file we would refuse to read next time is not written.
        if (content->size() > static_cast<std::size_t>(SettingsFileCheck::kMaxSize)) {
            warnOnce(QStringLiteral("cannot save the settings in %1: it would grow past 64 KiB").arg(file));
            continue;
        }
        // Unbuffered, so that a full disk fails the write itself and the old
        // file is kept, rather than a flush at commit failing unseen.
        QSaveFile out(file);
        // Synced here, where a failure is seen: some file systems report a
        // full disk only then, and the commit ignores it.
        const bool written = out.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
                             out.write(content->data(), static_cast<qint64>(content->size())) ==
                                 static_cast<qint64>(content->size()) &&
                             fdatasync(out.handle()) == 0;
        if (!written) out.cancelWriting();
        if (!out.commit() || !written)
            warnOnce(QStringLiteral("cannot save the settings in %1: %2").arg(file, out.errorString()));
    }
    toldPutOff_ = false;
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
