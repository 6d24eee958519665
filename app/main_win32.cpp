// Dwellor on Windows: Form1 on the Win32 backends.
#include <string>
#include <vector>

#include "app/command_line.h"
#include "window/form1.h"

#include "platform/win32/win32_autostart.h"
#include "platform/win32/win32_guardian.h"
#include "platform/win32/win32_input.h"
#include "platform/win32/win32_instance.h"
#include "platform/win32/win32_settings.h"
#include "platform/win32/win32_tray.h"
#include "platform/win32/win32_window.h"

using dwellor::app::CommandLine;
using dwellor::win32::Win32Instance;

namespace {

std::wstring wide(const std::string& s) {
    std::wstring w(MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), static_cast<int>(w.size()));
    return w;
}

std::string utf8(const std::wstring& w) {
    std::string s(WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr),
                  '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), static_cast<int>(s.size()),
                        nullptr, nullptr);
    return s;
}

// Text for the user: into the standard stream when it leads somewhere (a
// pipe, a file, a console), else into the console this was started from,
// else, with no console at all (started from Explorer or a shortcut), in a
// message box.
void say(DWORD stream, const std::string& text) {
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
        const std::wstring w = wide(crlf);
        if (GetConsoleMode(h, &mode) ? WriteConsoleW(h, w.data(), static_cast<DWORD>(w.size()), &done, nullptr)
                                     : WriteFile(h, crlf.data(), static_cast<DWORD>(crlf.size()), &done, nullptr))
            return;
    }
    MessageBoxW(nullptr, wide(text).c_str(), L"Dwellor",
                MB_OK | MB_SETFOREGROUND | (stream == STD_ERROR_HANDLE ? MB_ICONERROR : MB_ICONINFORMATION));
}

// The answers that need no window.
int runWithoutWindow(const CommandLine& cl) {
    switch (cl.action) {
        case CommandLine::Action::Help: say(STD_OUTPUT_HANDLE, cl.helpText); return 0;
        case CommandLine::Action::Version: say(STD_OUTPUT_HANDLE, "dwellor " DWELLOR_VERSION "\n"); return 0;
        case CommandLine::Action::Error:
            say(STD_ERROR_HANDLE, "dwellor: " + cl.error + "\n\n" + cl.helpText);
            return 2;
        case CommandLine::Action::Autostart: {
            std::wstring error;
            if (dwellor::win32::setAutostart(cl.autostartOn, error)) return 0;
            say(STD_ERROR_HANDLE, "dwellor: " + utf8(error) + "\n");
            return 1;
        }
        case CommandLine::Action::Guard: return dwellor::win32::Win32Guardian::guard(cl.guard);
        default: return -1;
    }
}

enum class Role { Primary, Done, Failed };

// Becomes the one instance of this session, or hands the request to the one
// already running. One that is still starting gets a moment to answer; one
// that holds the mutex but does not answer (hung) is never joined by a
// second clicker: the start fails with a line saying so.
Role claimSession(Win32Instance& instance, const CommandLine& cl) {
    const bool remote = cl.action == CommandLine::Action::Remote;
    const std::string command = remote ? cl.remote : "show";
    const ULONGLONG from = GetTickCount64();
    std::wstring error = L"it has not started listening";
    for (;;) {
        if (instance.claim() == Win32Instance::Claim::Ours) {
            if (!remote) return Role::Primary;
            say(STD_ERROR_HANDLE, "dwellor: Dwellor is not running in this session.\n");
            return Role::Failed;
        }
        // A hidden start (at login) leaves a running instance as it is.
        if (!remote && cl.hidden) return Role::Done;
        const Win32Instance::Sent r = Win32Instance::send(command, 3000, error);
        if (r == Win32Instance::Sent::Done) return Role::Done;
        if (r == Win32Instance::Sent::Refused) error = L"it refused --" + wide(command);
        if (r != Win32Instance::Sent::NotFound || GetTickCount64() - from > 5000) break;
        Sleep(50);
    }
    say(STD_ERROR_HANDLE, "dwellor: the Dwellor running in this session does not answer (" + utf8(error) + ").\n");
    return Role::Failed;
}

std::vector<std::string> arguments() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) args.push_back(utf8(argv[i]));
    LocalFree(argv);
    return args;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const CommandLine cl = dwellor::app::parseCommandLine(arguments(), dwellor::app::OptionSet::Windows);
    if (const int rc = runWithoutWindow(cl); rc >= 0) return rc;

    Win32Instance instance;
    if (const Role role = claimSession(instance, cl); role != Role::Primary) return role == Role::Done ? 0 : 1;

    // No ending leaves a press held: a crash and the console here, anything
    // else (TerminateProcess) in the guardian.
    dwellor::win32::Win32Guardian::releaseOnCrashAndConsoleEnd();
    const auto guardian = dwellor::win32::Win32Guardian::start();
    if (!guardian)
        say(STD_ERROR_HANDLE, "dwellor: the guardian could not be started: should Dwellor be ended from outside while "
                              "dragging, the left button would stay held.\n");

    dwellor::win32::Win32Window window;
    dwellor::win32::Win32Tray tray;
    dwellor::win32::Win32Settings settings;
    dwellor::win32::Win32Input input;
    dwellor::Form1 form({window, input, input, tray, settings});
    input.setOwnWindows([&window, &tray](HWND topLevel, POINT at) {
        return window.isOwn(topLevel) || tray.iconContains(at);
    });
    if (guardian) input.onLeftHeld([&g = *guardian](bool held) { g.pressHeld(held); });
    // The session ending: let go of the button first.
    window.onEnding([&form] { form.releaseHeldButton(); });

    dwellor::win32::Win32CommandServer commands([&form](const std::string& c) { form.RemoteCommand(c); });
    if (!commands.listening())
        say(STD_ERROR_HANDLE, "dwellor: other starts cannot reach this one: " +
                                  utf8(dwellor::win32::systemMessage(GetLastError())) + "\n");

    form.Form_Load();
    if (!(cl.hidden && form.StartInTray())) form.ShowWindow();
    const int rc = window.run();
    form.releaseHeldButton();
    return rc;
}
