// Dwellor on Windows: Form1 on the Win32 backends.
#include "window/form1.h"

#include "platform/win32/win32_input.h"
#include "platform/win32/win32_settings.h"
#include "platform/win32/win32_tray.h"
#include "platform/win32/win32_window.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    dwellor::win32::Win32Window window;
    dwellor::win32::Win32Tray tray;
    dwellor::win32::Win32Settings settings;
    dwellor::win32::Win32Input input;
    dwellor::Form1 form({window, input, input, tray, settings});
    input.setOwnWindows([&window, &tray](HWND topLevel, POINT at) {
        return window.isOwn(topLevel) || tray.iconContains(at);
    });
    // The session ending: let go of the button first.
    window.onEnding([&form] { form.releaseHeldButton(); });

    form.Form_Load();
    form.ShowWindow();
    const int rc = window.run();
    form.releaseHeldButton();
    return rc;
}
