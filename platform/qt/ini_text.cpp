#include "platform/qt/ini_text.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QVariantMap>

namespace dwellor::qt {

namespace {

QString keyOf(const std::string& section, const std::string& key) {
    return QString::fromStdString(section) + QLatin1Char('/') + QString::fromStdString(key);
}

bool writeAll(int fd, const std::string& text) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// QSettings reads only files by name. This one is in memory, so nothing on
// disk can be swapped in between our check of the settings file and the read.
class MemoryCopy {
public:
    explicit MemoryCopy(const std::string& text) : fd_(memfd_create("dwellor-settings", MFD_CLOEXEC)) {
        // QSettings keeps what it read of a path, and reads it again only
        // when its size or time changed: each copy gets a time of its own.
        static std::atomic<time_t> stamp{0};
        const timespec times[2] = {{0, UTIME_OMIT}, {++stamp, 0}};
        if (fd_ >= 0 && (!writeAll(fd_, text) || futimens(fd_, times) != 0)) {
            close(fd_);
            fd_ = -1;
        }
    }
    ~MemoryCopy() {
        if (fd_ >= 0) close(fd_);
    }
    MemoryCopy(const MemoryCopy&) = delete;
    MemoryCopy& operator=(const MemoryCopy&) = delete;
    bool ok() const { return fd_ >= 0; }
    QString path() const { return QStringLiteral("/proc/self/fd/%1").arg(fd_); }

private:
    int fd_;
};

std::optional<QVariantMap> valuesOf(const std::string& text) {
    const MemoryCopy copy(text);
    if (!copy.ok()) return std::nullopt;
    const QSettings settings(copy.path(), QSettings::IniFormat);
    QVariantMap values;
    for (const QString& key : settings.allKeys()) values.insert(key, settings.value(key));
    return values;
}

std::optional<std::string> readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return file.readAll().toStdString();
}

}  // namespace

std::optional<std::string> iniValue(const std::string& text, const std::string& section, const std::string& key) {
    const std::optional<QVariantMap> values = valuesOf(text);
    if (!values) return std::nullopt;
    const auto it = values->constFind(keyOf(section, key));
    if (it == values->constEnd()) return std::nullopt;
    return it->toString().toStdString();
}

std::optional<std::string> iniWithValues(const std::string& text, const std::vector<IniEntry>& entries) {
    QTemporaryDir scratch;
    if (!scratch.isValid()) return std::nullopt;
    const QString path = scratch.filePath(QStringLiteral("settings.conf"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
            file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()))
            return std::nullopt;
    }
    QVariantMap meant;
    {
        QSettings settings(path, QSettings::IniFormat);
        for (const IniEntry& e : entries) settings.setValue(keyOf(e.section, e.key), QString::fromStdString(e.value));
        settings.sync();
        // A format error only says that a line it read was not understood.
        if (settings.status() == QSettings::AccessError) return std::nullopt;
        for (const QString& key : settings.allKeys()) meant.insert(key, settings.value(key));
    }
    // QSettings can report a write cut short by a full disk as done: the text
    // must give back every value it meant to write.
    std::optional<std::string> written = readAll(path);
    if (!written || valuesOf(*written) != meant) return std::nullopt;
    return written;
}

}  // namespace dwellor::qt
