#include "platform/win32/win32_autostart.h"

#include "platform/win32/win32_api.h"

namespace dwellor::win32 {

std::wstring autostartCommand() { return L"\"" + modulePath() + L"\" --hidden"; }

bool setAutostart(bool on, std::wstring& error) {
    HKEY key = nullptr;
    LSTATUS r = RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (r == ERROR_SUCCESS) {
        if (on) {
            const std::wstring command = autostartCommand();
            r = RegSetValueExW(key, kRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                               static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
        } else {
            r = RegDeleteValueW(key, kRunValue);
            if (r == ERROR_FILE_NOT_FOUND) r = ERROR_SUCCESS;
        }
        RegCloseKey(key);
    }
    if (r == ERROR_SUCCESS) return true;
    error = (on ? L"cannot write the login entry: " : L"cannot remove the login entry: ") + systemMessage(static_cast<DWORD>(r));
    return false;
}

bool Win32Autostart::enabled() const {
    return RegGetValueW(HKEY_CURRENT_USER, kRunKey, kRunValue, RRF_RT_REG_SZ, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

bool Win32Autostart::setEnabled(bool on) {
    std::wstring error;
    return setAutostart(on, error);
}

}  // namespace dwellor::win32
