#include "platform/win32/win32_text.h"

namespace dwellor::win32 {

std::wstring widen(const std::string& s) {
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

std::string narrow(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

void tell(DWORD stream, const std::string& text, bool boxed) {
    std::string crlf;
    for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    HANDLE h = GetStdHandle(stream);
    const bool redirected = h && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN;
    if (!redirected && AttachConsole(ATTACH_PARENT_PROCESS))
        h = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    else if (!redirected)
        h = nullptr;
    DWORD done = 0, mode = 0;
    if (h && h != INVALID_HANDLE_VALUE) {
        const std::wstring w = widen(crlf);
        if (GetConsoleMode(h, &mode) ? WriteConsoleW(h, w.data(), static_cast<DWORD>(w.size()), &done, nullptr)
                                     : WriteFile(h, crlf.data(), static_cast<DWORD>(crlf.size()), &done, nullptr))
            return;
    }
    if (!boxed) return;
    MessageBoxW(nullptr, widen(text).c_str(), L"Dwellor",
                MB_OK | MB_SETFOREGROUND | (stream == STD_ERROR_HANDLE ? MB_ICONERROR : MB_ICONINFORMATION));
}

}  // namespace dwellor::win32
