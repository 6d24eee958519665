#pragma once
#include "platform/win32/win32_api.h"

namespace dwellor::win32 {

// An object that owns one window of a class of its own and hears its
// messages through handle(). The window is let go of before it is destroyed,
// so no message of its last moments reaches an object partly torn down.
class ObjectWindow {
public:
    ObjectWindow(const ObjectWindow&) = delete;
    ObjectWindow& operator=(const ObjectWindow&) = delete;

    // Null when the window could not be made, or is gone.
    HWND hwnd() const { return hwnd_; }

protected:
    ObjectWindow() = default;
    virtual ~ObjectWindow() { destroyWindow(); }

    // Makes the window, registering its class on first use; from the most
    // derived constructor, as its messages start at once. False, with
    // GetLastError telling why, when the class or the window cannot be made
    // (another class of that name in this process among the reasons).
    // `parent` owns a top-level window and holds a WS_CHILD one.
    bool createWindow(const wchar_t* className, DWORD exStyle, const wchar_t* title, DWORD style, int x, int y,
                      int width, int height, HWND parent, bool dialogBackground);
    // Lets go of the window, then destroys it: the object hears nothing more.
    void destroyWindow();

    virtual LRESULT handle(UINT m, WPARAM w, LPARAM l) { return DefWindowProcW(hwnd_, m, w, l); }

    // Set and cleared here alone.
    HWND hwnd_ = nullptr;

private:
    static LRESULT CALLBACK proc(HWND h, UINT m, WPARAM w, LPARAM l);
};

// Whether a point of the screen lies in the client area of a shown window
// that is not minimised.
bool clientAreaContains(HWND window, POINT screen);

}  // namespace dwellor::win32
