// Writes COUNT keys PREFIX0=0, PREFIX1=1, ... into section "Program" of the
// settings of "Dwellor" under CONFIG_HOME, one save each: through Dwellor's
// own writer ("dwellor") or through QSettings itself ("qsettings").
#include <cstdio>

#include <QCoreApplication>
#include <QSettings>
#include <QTimer>

#include "platform/qt/qt_settings.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5) {
        std::fputs("usage: settings_writer dwellor|qsettings CONFIG_HOME PREFIX COUNT\n", stderr);
        return 2;
    }
    const QString prefix = args[3];
    const int count = args[4].toInt();
    if (args[1] == QLatin1String("qsettings")) {
        QSettings settings(args[2] + QStringLiteral("/Dwellor/Dwellor.conf"), QSettings::IniFormat);
        for (int i = 0; i < count; ++i) {
            settings.setValue(QStringLiteral("Program/%1%2").arg(prefix).arg(i), QString::number(i));
            settings.sync();
            if (settings.status() != QSettings::NoError) return 1;
        }
        return 0;
    }
    dwellor::qt::QtSettings settings(args[2]);
    for (int i = 0; i < count; ++i)
        settings.SaveSetting("Dwellor", "Program", (prefix + QString::number(i)).toStdString(), std::to_string(i));
    // What was put off is written from the event loop.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!settings.pending()) app.quit();
    });
    poll.start(50);
    if (settings.pending()) app.exec();
    return 0;
}
