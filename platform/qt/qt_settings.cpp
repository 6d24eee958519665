#include "platform/qt/qt_settings.h"

#include <QSettings>
#include <QStringList>

namespace dwellor::qt {

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

std::string QtSettings::GetSetting(const std::string& app, const std::string& section,
                                   const std::string& key, const std::string& def) {
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, q(app), q(app));
    s.beginGroup(q(section));
    if (!s.contains(q(key))) return def;
    const QVariant v = s.value(q(key));
    // An INI value with commas reads back as a list; keep it as the text it was.
    if (v.typeId() == QMetaType::QStringList) return v.toStringList().join(QLatin1Char(',')).toStdString();
    return v.toString().toStdString();
}

void QtSettings::SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                             const std::string& text) {
    QSettings s(QSettings::NativeFormat, QSettings::UserScope, q(app), q(app));
    s.beginGroup(q(section));
    s.setValue(q(key), q(text));
    s.endGroup();
    s.sync();
}

}  // namespace dwellor::qt
