#pragma once
#include <optional>
#include <string>
#include <vector>

#include <QString>
#include <QTimer>

#include "platform/settings_backend.h"

namespace dwellor::qt {

// What is at a settings path. The file is opened once, without blocking and
// without creating anything, and what was opened is looked at: a FIFO
// would block a reader, a device or a folder is not ours to read or replace.
struct SettingsFileCheck {
    enum State {
        Absent,    // nothing there (a dangling symlink included): written on the first save
        Regular,   // a regular file, or a symlink to one
        TooLarge,  // a regular file larger than kMaxSize: not a settings file of ours
        NotAFile,  // something else is at `path`
    };
    static constexpr qint64 kMaxSize = 64 * 1024;
    State state = Absent;
    QString path;         // for NotAFile, what is not a regular file
    std::string content;  // for Regular, what the file held
};

// Reads `file`, following symlinks; its folder must be a folder or absent.
// For writing, also looks at the lock file beside it, which must be absent
// or a regular file.
SettingsFileCheck checkSettingsFile(const QString& file, bool forWriting);

// Per-user INI files: application "A" lives in <configHome>/A/A.conf, one
// group per section, read and written as QSettings does. A write takes the
// lock file beside it as QSettings does, without waiting, and is on disk when
// the call returns, atomically (written beside the file and renamed over it;
// a symlink is followed and stays one). A lock held by a live process puts
// the write off, said once: it is retried from the event loop, with only the
// newest value of each key waiting. A file that is not regular, or too large,
// is neither read nor written, nor made too large: the defaults apply, and
// one warning says why. A write that fails leaves the file as it was and is
// reported once.
class QtSettings final : public ISettingsBackend {
public:
    // An empty `configHome` is the user's: $XDG_CONFIG_HOME, or ~/.config.
    explicit QtSettings(QString configHome = {});

    std::string GetSetting(const std::string& app, const std::string& section, const std::string& key,
                           const std::string& def) override;
    void SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                     const std::string& text) override;

    // Writes waiting for a lock.
    std::size_t pending() const { return pending_.size(); }
    static constexpr int kRetryMs = 500;

private:
    struct Write {
        QString file;
        std::string section, key, text;
    };
    QString fileOf(const std::string& app) const;
    bool usable(const SettingsFileCheck& check, const QString& file);
    // Writes what is pending; false when a live lock is in the way.
    bool flush();
    // Takes the pending writes to `file` out of the queue, in order.
    std::vector<Write> dropPending(const QString& file);
    void warnOnce(const QString& text);

    QString configHome_;
    bool warned_ = false;
    bool toldPutOff_ = false;  // until a save goes through again
    std::vector<Write> pending_;
    QTimer retry_;
};

}  // namespace dwellor::qt
