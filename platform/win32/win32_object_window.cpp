#include "platform/win32/win32_object_window.h"

namespace dwellor::win32 {

namespace {

// True when `name` is this process's class for object windows.
bool registerOnce(const wchar_t* name, bool dialogBackground, WNDPROC proc) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    if (GetClassInfoExW(instance, name, &wc)) {
        if (wc.lpfnWndProc == proc) return true;
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);  // someone else's: its windows would not reach us
        return false;
    }
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    if (dialogBackground) wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    return RegisterClassExW(&wc) != 0;
}

}  // namespace

bool ObjectWindow::createWindow(const wchar_t* className, DWORD exStyle, const wchar_t* title, DWORD style, int x,
                                int y, int width, int height, HWND parent, bool dialogBackground) {
    if (!registerOnce(className, dialogBackground, proc)) return false;
    // hwnd_ is set from WM_NCCREATE on, as the first messages come inside.
    return CreateWindowExW(exStyle, className, title, style, x, y, width, height, parent, nullptr,
                           GetModuleHandleW(nullptr), this) != nullptr;
}

void ObjectWindow::destroyWindow() {
    const HWND h = hwnd_;
    if (!h) return;
    hwnd_ = nullptr;
    SetWindowLongPtrW(h, GWLP_USERDATA, 0);
    DestroyWindow(h);
}

LRESULT CALLBACK ObjectWindow::proc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_NCCREATE) {
        auto* created = static_cast<ObjectWindow*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
        created->hwnd_ = h;
        SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
    }
    auto* self = reinterpret_cast<ObjectWindow*>(GetWindowLongPtrW(h, GWLP_USERDATA));
    if (!self) return DefWindowProcW(h, m, w, l);
    const LRESULT result = self->handle(m, w, l);
    // Destroyed from elsewhere (DestroyWindow on it, its owner going): the
    // handle must not outlive it, as the system may give it to another.
    if (m == WM_NCDESTROY) {
        SetWindowLongPtrW(h, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
    }
    return result;
}

bool clientAreaContains(HWND window, POINT screen) {
    if (!IsWindowVisible(window) || IsIconic(window)) return false;
    RECT r;
    GetClientRect(window, &r);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
    return PtInRect(&r, screen);
}

}  // namespace dwellor::win32
