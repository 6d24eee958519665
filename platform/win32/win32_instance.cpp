#include "platform/win32/win32_instance.h"

#include <cstring>
#include <memory>
#include <vector>

namespace dwellor::win32 {

namespace {

// Local\: this session's namespace, so each signed-in user has one. The
// installer looks for it too, to know whether one runs.
constexpr const wchar_t* kMutexName = L"Local\\io.github.dwellor.Dwellor";
constexpr UINT kRun = WM_APP + 1;

// The user SID of a process's token, as bytes; empty when it cannot be read.
std::vector<unsigned char> userOf(HANDLE process) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return {};
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buf(size);
    std::vector<unsigned char> sid;
    if (size && GetTokenInformation(token, TokenUser, buf.data(), size, &size)) {
        PSID s = reinterpret_cast<TOKEN_USER*>(buf.data())->User.Sid;
        if (IsValidSid(s)) sid.assign(static_cast<unsigned char*>(s), static_cast<unsigned char*>(s) + GetLengthSid(s));
    }
    CloseHandle(token);
    return sid;
}

LRESULT CALLBACK senderProc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcW(h, m, w, l); }

}  // namespace

bool sameUser(HWND sender) {
    DWORD pid = 0;
    if (!sender || !GetWindowThreadProcessId(sender, &pid) || !pid) return false;
    HANDLE other = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!other) return false;
    const std::vector<unsigned char> theirs = userOf(other);
    CloseHandle(other);
    return !theirs.empty() && theirs == userOf(GetCurrentProcess());
}

Win32Instance::~Win32Instance() {
    if (mutex_) CloseHandle(mutex_);
}

Win32Instance::Claim Win32Instance::claim() {
    if (mutex_) return Claim::Ours;
    HANDLE m = CreateMutexW(nullptr, FALSE, kMutexName);
    if (m && GetLastError() != ERROR_ALREADY_EXISTS) {
        mutex_ = m;
        return Claim::Ours;
    }
    // Not kept: the name must go with the Dwellor that made it.
    if (m) CloseHandle(m);
    // Also when it could not be made at all (the name taken by an object of
    // another kind): never a second clicker.
    return Claim::Theirs;
}

Win32Instance::Sent Win32Instance::send(Command command, DWORD timeoutMs, std::wstring& error) {
    // HWND_MESSAGE: plain FindWindow does not see message-only windows on Windows.
    HWND to = FindWindowExW(HWND_MESSAGE, nullptr, Win32CommandServer::kClassName, nullptr);
    if (!to) return Sent::NotFound;
    DWORD pid = 0;
    GetWindowThreadProcessId(to, &pid);
    // The one we ask may bring its window to the front: this start is what
    // the user just did.
    AllowSetForegroundWindow(pid);
    HANDLE process = command == Command::Quit ? OpenProcess(SYNCHRONIZE, FALSE, pid) : nullptr;

    // The receiver checks who sends from this window's owner.
    WNDCLASSW wc{};
    wc.lpfnWndProc = senderProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"DwellorCommandSender";
    RegisterClassW(&wc);
    HWND self = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);

    COPYDATASTRUCT cds{};
    cds.dwData = Win32CommandServer::kTag;
    const std::string_view word = nameOf(command);
    cds.cbData = static_cast<DWORD>(word.size());
    cds.lpData = const_cast<char*>(word.data());
    DWORD_PTR answer = 0;
    SetLastError(0);
    const LRESULT ok = SendMessageTimeoutW(to, WM_COPYDATA, reinterpret_cast<WPARAM>(self),
                                           reinterpret_cast<LPARAM>(&cds), SMTO_ABORTIFHUNG | SMTO_BLOCK, timeoutMs,
                                           &answer);
    const DWORD code = GetLastError();
    if (self) DestroyWindow(self);
    Sent result = Sent::Done;
    if (!ok) {
        // The window went between finding and sending: that one has ended.
        if (!IsWindow(to)) result = Sent::NotFound;
        else {
            error = code == ERROR_TIMEOUT || code == 0 ? L"no answer in " + std::to_wstring(timeoutMs / 1000) + L" s"
                                                       : systemMessage(code);
            result = Sent::Failed;
        }
    } else if (!answer) {
        result = Sent::Refused;
    } else if (process && WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0) {
        error = L"it has not ended after " + std::to_wstring(timeoutMs / 1000) + L" s";
        result = Sent::Failed;
    }
    if (process) CloseHandle(process);
    return result;
}

std::optional<Command> Win32CommandServer::decode(std::uintptr_t tag, const void* data, std::size_t size) {
    if (tag != kTag || !data || size == 0 || size > kMaxBytes) return std::nullopt;
    return commandNamed(std::string_view(static_cast<const char*>(data), size));
}

Win32CommandServer::Win32CommandServer(std::function<void(Command)> run) : run_(std::move(run)) {
    createWindow(kClassName, 0, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, false);
}

LRESULT Win32CommandServer::handle(UINT m, WPARAM w, LPARAM l) {
    if (m == WM_COPYDATA) {
        const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(l);
        if (!cds || !sameUser(reinterpret_cast<HWND>(w))) return FALSE;
        const std::optional<Command> command = decode(cds->dwData, cds->lpData, cds->cbData);
        if (!command) return FALSE;
        // Queued here, not in the posted message: anyone can post one.
        pending_.push_back(*command);
        PostMessageW(hwnd_, kRun, 0, 0);
        return TRUE;
    }
    if (m == kRun) {
        std::vector<Command> now;
        now.swap(pending_);
        for (Command c : now)
            if (run_) run_(c);
        return 0;
    }
    return DefWindowProcW(hwnd_, m, w, l);
}

}  // namespace dwellor::win32
