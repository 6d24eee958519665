#pragma once
#include <string>

#include "platform/settings_backend.h"

namespace dwellor::win32 {

// Where the VB runtime's GetSetting and SaveSetting keep their values:
// HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<app>\<section>,
// REG_SZ values, so scripts using those functions share them. A value of
// another type, or larger than 64 KiB, is not ours: it reads as the default
// and is never overwritten. The first write the registry refuses is told on
// standard error (or the console started from), never in a box.
class Win32Settings final : public ISettingsBackend {
public:
    // Under HKEY_CURRENT_USER.
    explicit Win32Settings(std::wstring root = L"Software\\VB and VBA Program Settings") : root_(std::move(root)) {}

    std::string GetSetting(const std::string& app, const std::string& section, const std::string& key,
                           const std::string& def) override;
    void SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                     const std::string& text) override;

    static constexpr unsigned long kMaxBytes = 64 * 1024;

private:
    std::wstring keyPath(const std::string& app, const std::string& section) const;
    void warnOnce(const std::wstring& key, long error);
    std::wstring root_;
    bool warned_ = false;
};

}  // namespace dwellor::win32
