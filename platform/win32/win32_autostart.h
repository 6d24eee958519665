#pragma once
#include <string>

#include "platform/autostart.h"

namespace dwellor::win32 {

// HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run, value
// "Dwellor": what the shell starts at login.
inline constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr const wchar_t* kRunValue = L"Dwellor";

// The running exe, quoted, with --hidden.
std::wstring autostartCommand();
// Writes (on) or removes (off) the value; removing one that is not there
// succeeds. False with `error` set when the registry refused.
bool setAutostart(bool on, std::wstring& error);

// The login entry as the Settings window switches it: on while the value is
// there (whatever it starts), written and removed as --autostart does.
class Win32Autostart final : public IAutostart {
public:
    bool enabled() const override;
    bool setEnabled(bool on) override;
};

}  // namespace dwellor::win32
