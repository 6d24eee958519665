#pragma once
#include <QString>

#include "platform/settings_backend.h"

namespace dwellor::qt {

// What is at a settings path, found without opening anything: a FIFO would
// block the opener, a device or a folder is not ours to read or replace.
struct SettingsFileCheck {
    enum State {
        Absent,    // nothing there (a dangling symlink included): written on the first save
        Regular,   // a regular file, or a symlink to one
        TooLarge,  // a regular file larger than kMaxSize: not a settings file of ours
        NotAFile,  // something else is at `path`
    };
    static constexpr qint64 kMaxSize = 64 * 1024;
    State state = Absent;
    QString path;  // for NotAFile, what is not a regular file
};

// Looks at `file`, following symlinks, and at its folder, which must be a
// folder or absent. For writing, also at the lock file QSettings takes beside
// it, which must be absent or a regular file: anything else there blocks the
// writer forever.
SettingsFileCheck checkSettingsFile(const QString& file, bool forWriting);

// Per-user INI files through QSettings: application "A" lives in
// <configHome>/A/A.conf, one group per section. Every write is synced to disk
// before returning, atomically (written beside the file and renamed over it;
// a symlink is followed and stays one). A file that is not regular, or too
// large, is neither read nor written: the defaults apply, and one warning
// says why. A store that cannot be written is skipped.
class QtSettings final : public ISettingsBackend {
public:
    // An empty `configHome` is the user's: $XDG_CONFIG_HOME, or ~/.config.
    explicit QtSettings(QString configHome = {});

    std::string GetSetting(const std::string& app, const std::string& section, const std::string& key,
                           const std::string& def) override;
    void SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                     const std::string& text) override;

private:
    QString fileOf(const std::string& app) const;
    bool usable(const QString& file, bool forWriting);

    QString configHome_;
    bool warned_ = false;
};

}  // namespace dwellor::qt
