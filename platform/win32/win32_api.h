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

// The window procedure of a class whose objects each own one window: the
// object comes as CreateWindowEx's last argument and is kept with the window.
template <class T>
LRESULT CALLBACK objectProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_NCCREATE) {
        auto* created = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
        created->hwnd_ = h;
        SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
    }
    auto* self = reinterpret_cast<T*>(GetWindowLongPtrW(h, GWLP_USERDATA));
    return self ? self->handle(m, w, l) : DefWindowProcW(h, m, w, l);
}

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

// Creates the one window of `object`, registering its class on first use.
template <class T>
HWND createObjectWindow(T* object, const wchar_t* className, DWORD exStyle, const wchar_t* title, DWORD style,
                        int x, int y, int width, int height, HWND owner, bool dialogBackground) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = objectProc<T>;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    if (dialogBackground) wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = className;
    RegisterClassExW(&wc);  // fails harmlessly when already registered
    return CreateWindowExW(exStyle, className, title, style, x, y, width, height, owner, nullptr, wc.hInstance, object);
}

}  // namespace dwellor::win32
