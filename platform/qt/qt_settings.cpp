#include "platform/qt/qt_settings.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

namespace dwellor::qt {

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

SettingsFileCheck checkSettingsFile(const QString& file, bool forWriting) {
    // QFileInfo only stats; exists() and isFile() follow symlinks.
    const QFileInfo folder(QFileInfo(file).path());
    if (folder.exists() && !folder.isDir()) return {SettingsFileCheck::NotAFile, folder.filePath()};
    if (forWriting) {
        const QFileInfo lock(file + QLatin1String(".lock"));
        if (lock.exists() && !lock.isFile()) return {SettingsFileCheck::NotAFile, lock.filePath()};
    }
    const QFileInfo info(file);
    if (!info.exists()) return {SettingsFileCheck::Absent, {}};
    if (!info.isFile()) return {SettingsFileCheck::NotAFile, file};
    if (info.size() > SettingsFileCheck::kMaxSize) return {SettingsFileCheck::TooLarge, {}};
    return {SettingsFileCheck::Regular, {}};
}

QtSettings::QtSettings(QString configHome) : configHome_(std::move(configHome)) {}

QString QtSettings::fileOf(const std::string& app) const {
    const QString home = configHome_.isEmpty()
                             ? QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                             : configHome_;
    return home + QLatin1Char('/') + q(app) + QLatin1Char('/') + q(app) + QLatin1String(".conf");
}

bool QtSettings::usable(const QString& file, bool forWriting) {
    const SettingsFileCheck check = checkSettingsFile(file, forWriting);
    if (check.state == SettingsFileCheck::Absent || check.state == SettingsFileCheck::Regular) return true;
    if (!warned_) {
        warned_ = true;
        if (check.state == SettingsFileCheck::TooLarge)
            qWarning("Dwellor: %s is larger than 64 KiB, not a settings file; using the defaults and leaving it alone",
                     qPrintable(file));
        else
            qWarning("Dwellor: %s is not a regular file; using the default settings and leaving it alone",
                     qPrintable(check.path));
    }
    return false;
}

std::string QtSettings::GetSetting(const std::string& app, const std::string& section,
                                   const std::string& key, const std::string& def) {
    const QString file = fileOf(app);
    if (!usable(file, false)) return def;
    // This one file only: QSettings' other constructors also read system-wide files.
    QSettings s(file, QSettings::NativeFormat);
    s.beginGroup(q(section));
    if (!s.contains(q(key))) return def;
    const QVariant v = s.value(q(key));
    // An INI value with commas reads back as a list; keep it as the text it was.
    if (v.typeId() == QMetaType::QStringList) return v.toStringList().join(QLatin1Char(',')).toStdString();
    return v.toString().toStdString();
}

void QtSettings::SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                             const std::string& text) {
    const QString file = fileOf(app);
    if (!usable(file, true)) return;
    QSettings s(file, QSettings::NativeFormat);
    s.beginGroup(q(section));
    s.setValue(q(key), q(text));
    s.endGroup();
    s.sync();
}

}  // namespace dwellor::qt
