#pragma once
#include <string>

namespace dwellor {

// The per-user store of texts addressed by application, section and key.
// Writes are durable when saveSetting returns; failures are silent.
class ISettingsBackend {
public:
    virtual ~ISettingsBackend() = default;
    virtual std::string GetSetting(const std::string& app, const std::string& section,
                                   const std::string& key, const std::string& def) = 0;
    virtual void SaveSetting(const std::string& app, const std::string& section,
                             const std::string& key, const std::string& text) = 0;
};

}  // namespace dwellor
