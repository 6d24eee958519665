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

// How a lock file found in the way is dealt with.
enum class LockDecision {
    TakeOver,  // its owner is gone, or unknown (empty or unreadable content)
    Wait,      // a live process holds it: try again later
};
// From the lock file's content ("pid\napp\nhost\n", as QLockFile writes it),
// this machine's host name and whether a process id is alive.
LockDecision decideLock(const std::string& content, const std::string& host, bool (*alive)(long pid));

// Per-user INI files: application "A" lives in <configHome>/A/A.conf, one
// group per section, in the format QSettings reads. A write takes the lock
// file beside it without waiting, and is on disk when the call returns,
// atomically (written beside the file and renamed over it; a symlink is
// followed and stays one). A lock held by a live process puts the write off:
// it is retried from the event loop, and later writes queue behind it. A
// file that is not regular, or too large, is neither read nor written: the
// defaults apply, and one warning says why. A write that fails is reported
// once.
class QtSettings final : public ISettingsBackend {
public:
    // An empty `configHome` is the user's: $XDG_CONFIG_HOME, or ~/.config.
    explicit QtSettings(QString configHome = {});

    std::string GetSetting(const std::string& app, const std::string& section, const std::string& key,
                           const std::string& def) override;
    void SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                     const std::string& text) override;

    // Writes waiting for a lock.
    bool pending() const { return !pending_.empty(); }
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
    std::vector<Write> pending_;
    QTimer retry_;
};

}  // namespace dwellor::qt
