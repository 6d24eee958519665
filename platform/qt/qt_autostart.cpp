#include "platform/qt/qt_autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QtGlobal>

namespace dwellor::qt {

QString QtAutostart::path() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart/") +
           QLatin1String(kAppId) + QStringLiteral(".desktop");
}

bool QtAutostart::enabled() const { return QFileInfo::exists(path()); }

bool QtAutostart::setEnabled(bool on) {
    QString error;
    if (set(on, error)) return true;
    qWarning("Dwellor: %s", qUtf8Printable(error));
    return false;
}

bool QtAutostart::set(bool on, QString& error) {
    const QString path = QtAutostart::path();
    if (!on) {
        if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink()) return true;
        if (QFile::remove(path)) return true;
        error = QStringLiteral("cannot remove %1").arg(path);
        return false;
    }
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        error = QStringLiteral("cannot create %1").arg(QFileInfo(path).absolutePath());
        return false;
    }
    QSaveFile f(path);
    if (f.open(QIODevice::WriteOnly)) {
        f.write("[Desktop Entry]\n"
                "Type=Application\n"
                "Name=Dwellor\n"
                "Comment=Clicks the mouse wherever the pointer rests\n"
                "TryExec=dwellor\n"
                "Exec=dwellor --hidden\n"
                "Icon=io.github.dwellor.Dwellor\n"
                "Terminal=false\n"
                "X-GNOME-Autostart-enabled=true\n");
        if (f.commit()) return true;
    }
    error = QStringLiteral("cannot write %1: %2").arg(path, f.errorString());
    return false;
}

}  // namespace dwellor::qt
