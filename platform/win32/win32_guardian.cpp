#include "platform/win32/win32_guardian.h"

#include <atomic>
#include <cstdlib>

namespace dwellor::win32 {

namespace {

// For the handlers that run on a crash or from the console: whether a press
// is held now, and the guardian's event, which they clear once they let go.
std::atomic<bool> heldNow{false};
std::atomic<HANDLE> heldEvent{nullptr};

void releaseLeft() {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(1, &in, sizeof in);
}

void releaseIfHeld() {
    if (!heldNow.exchange(false)) return;
    releaseLeft();
    if (HANDLE e = heldEvent.load()) ResetEvent(e);
}

LONG WINAPI onCrash(EXCEPTION_POINTERS*) {
    releaseIfHeld();
    return EXCEPTION_CONTINUE_SEARCH;  // the system's report and ending, as usual
}

BOOL WINAPI onConsoleEnd(DWORD) {
    releaseIfHeld();
    return FALSE;  // then the default: the process ends
}

std::wstring handleText(HANDLE h) { return std::to_wstring(reinterpret_cast<std::uintptr_t>(h)); }

HANDLE handleFrom(const std::string& text, std::size_t& at) {
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str() + at, &end, 10);
    at = static_cast<std::size_t>(end - text.c_str());
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(v));
}

}  // namespace

std::unique_ptr<Win32Guardian> Win32Guardian::start() {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE held = CreateEventW(&inherit, TRUE, FALSE, nullptr);
    HANDLE self = nullptr;
    if (!held || !DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self, SYNCHRONIZE,
                                  TRUE, 0)) {
        if (held) CloseHandle(held);
        return nullptr;
    }
    // Our standard streams (a caller's pipe) must not be kept open by it.
    for (DWORD s : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE})
        if (HANDLE h = GetStdHandle(s); h && h != INVALID_HANDLE_VALUE) SetHandleInformation(h, HANDLE_FLAG_INHERIT, 0);
    std::wstring command = L"\"" + modulePath() + L"\" --guard " + handleText(self) + L":" + handleText(held);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    PROCESS_INFORMATION pi{};
    // Out of a job that would end it with us, where the job allows that.
    bool started = false;
    for (DWORD flags : {DWORD(CREATE_BREAKAWAY_FROM_JOB | CREATE_NEW_PROCESS_GROUP), DWORD(CREATE_NEW_PROCESS_GROUP)}) {
        started = CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr, &si, &pi);
        if (started) break;
    }
    CloseHandle(self);
    if (!started) {
        CloseHandle(held);
        return nullptr;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    // Ours stays inheritable only for that one start.
    SetHandleInformation(held, HANDLE_FLAG_INHERIT, 0);
    heldEvent = held;
    return std::unique_ptr<Win32Guardian>(new Win32Guardian(held, pi.dwProcessId));
}

Win32Guardian::~Win32Guardian() {
    heldEvent = nullptr;
    CloseHandle(held_);
}

void Win32Guardian::pressHeld(bool held) {
    heldNow = held;
    held ? SetEvent(held_) : ResetEvent(held_);
}

void Win32Guardian::releaseOnCrashAndConsoleEnd() {
    SetUnhandledExceptionFilter(onCrash);
    SetConsoleCtrlHandler(onConsoleEnd, TRUE);
}

int Win32Guardian::guard(const std::string& handles) {
    std::size_t at = 0;
    HANDLE process = handleFrom(handles, at);
    if (at >= handles.size() || handles[at] != ':') return 2;
    ++at;
    HANDLE held = handleFrom(handles, at);
    if (at != handles.size()) return 2;
    // One wait, with no timeout: no wake-up while Dwellor runs.
    if (WaitForSingleObject(process, INFINITE) != WAIT_OBJECT_0) return 1;
    // Releasing a button that is already up does nothing.
    if (WaitForSingleObject(held, 0) == WAIT_OBJECT_0) releaseLeft();
    return 0;
}

}  // namespace dwellor::win32
