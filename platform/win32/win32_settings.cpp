#include "platform/win32/win32_settings.h"

#include "platform/win32/win32_text.h"

namespace dwellor::win32 {

namespace {

struct Key {
    HKEY h = nullptr;
    ~Key() {
        if (h) RegCloseKey(h);
    }
};

enum class Found { Missing, Ours, Foreign };

// What the value is, without reading it.
Found look(HKEY key, const std::wstring& name) {
    DWORD type = 0, bytes = 0;
    const LONG rc = RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &bytes);
    if (rc == ERROR_FILE_NOT_FOUND) return Found::Missing;
    if (rc != ERROR_SUCCESS || type != REG_SZ || bytes > Win32Settings::kMaxBytes) return Found::Foreign;
    return Found::Ours;
}

}  // namespace

std::wstring Win32Settings::keyPath(const std::string& app, const std::string& section) const {
    return root_ + L"\\" + widen(app) + L"\\" + widen(section);
}

std::string Win32Settings::GetSetting(const std::string& app, const std::string& section, const std::string& key,
                                      const std::string& def) {
    Key k;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath(app, section).c_str(), 0, KEY_QUERY_VALUE, &k.h) != ERROR_SUCCESS)
        return def;
    const std::wstring name = widen(key);
    if (look(k.h, name) != Found::Ours) return def;
    std::wstring text(kMaxBytes / sizeof(wchar_t) + 1, L'\0');
    DWORD type = 0, bytes = static_cast<DWORD>(kMaxBytes);
    // Changed in between into something else: not ours either.
    if (RegQueryValueExW(k.h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &bytes) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return def;
    // A stored text need not end in NUL, and may hold several.
    text.resize(bytes / sizeof(wchar_t));
    text.resize(text.find(L'\0') == std::wstring::npos ? text.size() : text.find(L'\0'));
    return narrow(text);
}

void Win32Settings::SaveSetting(const std::string& app, const std::string& section, const std::string& key,
                                const std::string& text) {
    Key k;
    const std::wstring path = keyPath(app, section);
    LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr,
                              &k.h, nullptr);
    if (rc != ERROR_SUCCESS) {
        warnOnce(path, rc);
        return;
    }
    const std::wstring name = widen(key);
    if (look(k.h, name) == Found::Foreign) return;
    const std::wstring value = widen(text);
    rc = RegSetValueExW(k.h, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    if (rc != ERROR_SUCCESS) warnOnce(path, rc);
}

void Win32Settings::warnOnce(const std::wstring& key, long error) {
    // Once, as on Linux: each change saves, and each would say it again.
    if (warned_) return;
    warned_ = true;
    tell(STD_ERROR_HANDLE,
         "Dwellor: cannot save the settings in " + narrow(L"HKEY_CURRENT_USER\\" + key) + ": " +
             narrow(systemMessage(static_cast<DWORD>(error))) + "\n",
         false);
}

}  // namespace dwellor::win32
