#pragma once

#include "platform/settings_backend.h"

namespace dwellor::qt {

// Per-user INI files through QSettings: application "A" lives in
// $XDG_CONFIG_HOME/A/A.conf, one group per section. Every write is synced to
// disk before returning; a store that cannot be written is silently skipped.
class QtSettings final : public ISettingsBackend {
public:
    std::string GetSetting(const std::string& app, const std::string& section, const std::string& key,
                           const std::string& def) override;
    void SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                     const std::string& text) override;
};

}  // namespace dwellor::qt
