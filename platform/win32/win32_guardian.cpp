#include "platform/win32/win32_guardian.h"

#include <atomic>
#include <cstdlib>

namespace dwellor::win32 {

namespace {

// For the handlers that run on a crash or from the console: whether a press
// is held now, and the guardian's event, which they clear once they let go.
std::atomic<bool> heldNow{false};
std::atomic<HANDLE> heldEvent{nullptr};

constexpr UINT kEndedMessage = WM_APP + 1;
// A guardian started again that ends sooner than this cannot stay up.
constexpr ULONGLONG kStaysUpMs = 1000;

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
    HANDLE held = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!held) return nullptr;
    std::unique_ptr<Win32Guardian> g(new Win32Guardian(held));
    if (!g->launch()) return nullptr;
    heldEvent = held;
    return g;
}

Win32Guardian::Win32Guardian(HANDLE held) : held_(held) {
    // Message-only, where the guardian's end is heard. Without it the
    // guardian still guards; only its end goes unheard.
    createWindow(kClassName, 0, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, false);
}

bool Win32Guardian::launch() {
    // Inheritable copies for this one start: ours stay out of any other.
    const HANDLE me = GetCurrentProcess();
    HANDLE self = nullptr, held = nullptr;
    if (!DuplicateHandle(me, me, me, &self, SYNCHRONIZE, TRUE, 0) ||
        !DuplicateHandle(me, held_, me, &held, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
        if (self) CloseHandle(self);
        return false;
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
    CloseHandle(held);
    if (!started) return false;
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    startedAt_ = GetTickCount64();
    // A thread-pool wait: nothing here wakes until the guardian has ended.
    // Message-only, where the guardian's end is heard. Without it the
    // guardian still guards; only its end goes unheard.
    if (hwnd_ && !RegisterWaitForSingleObject(&wait_, process_, guardianEnded, hwnd_, INFINITE, WT_EXECUTEONLYONCE))
        wait_ = nullptr;
    return true;
}

void CALLBACK Win32Guardian::guardianEnded(void* window, BOOLEAN) {
    // On a pool thread: the rest belongs to the thread that owns the window.
    PostMessageW(static_cast<HWND>(window), kEndedMessage, 0, 0);
}

LRESULT Win32Guardian::handle(UINT m, WPARAM w, LPARAM l) {
    // Anyone may post to a window: only a guardian that has ended counts.
    if (m != kEndedMessage || !process_ || WaitForSingleObject(process_, 0) != WAIT_OBJECT_0)
        return DefWindowProcW(hwnd_, m, w, l);
    if (wait_) UnregisterWaitEx(wait_, INVALID_HANDLE_VALUE);
    wait_ = nullptr;
    CloseHandle(process_);
    process_ = nullptr;
    const bool staysUp = !again_ || GetTickCount64() - startedAt_ >= kStaysUpMs;
    again_ = staysUp && launch();
    if (ended_) ended_(again_);
    return 0;
}

Win32Guardian::~Win32Guardian() {
    // Ours ends first, then the guardian: that end is not heard.
    if (wait_) UnregisterWaitEx(wait_, INVALID_HANDLE_VALUE);
    destroyWindow();
    if (process_) CloseHandle(process_);
    HANDLE ours = held_;
    heldEvent.compare_exchange_strong(ours, nullptr);
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
