#pragma once
// <windows.h> for the Win32 backend. Include the program's own headers
// first: <windows.h> defines macros (WM_MOUSEMOVE, NIM_ADD, MOUSEEVENTF_*)
// that the interfaces also name as constants, and `near` and `far`, which
// are field names there.
#include <windows.h>
#undef near
#undef far

#include <string>

namespace dwellor::win32 {

// The path of this process's exe; long paths too.
inline std::wstring modulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) return path.substr(0, n);
        path.resize(path.size() * 2);
    }
}

// The system's words for an error code, without the final full stop.
inline std::wstring systemMessage(DWORD code) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring s = text ? text : L"error " + std::to_wstring(code);
    LocalFree(text);
    while (!s.empty() && (s.back() == L'\n' || s.back() == L'\r' || s.back() == L'.')) s.pop_back();
    return s;
}

}  // namespace dwellor::win32
