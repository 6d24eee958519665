#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/command.h"
#include "platform/win32/win32_api.h"
#include "platform/win32/win32_object_window.h"

namespace dwellor::win32 {

// The one Dwellor of this user's session: a `Local\` named mutex marks it,
// and a message-only window of a class of its own takes the commands of
// later starts as WM_COPYDATA.
class Win32Instance {
public:
    enum class Claim { Ours, Theirs };
    enum class Sent { Done, NotFound, Refused, Failed };

    ~Win32Instance();
    // Takes the mutex, or tells that another Dwellor holds it. Can be called
    // again after Theirs: the holder may have ended meanwhile.
    Claim claim();
    // Hands `command` to the running one; "quit" waits (up to `timeoutMs`)
    // for it to end. NotFound: none listens (yet); Refused: it said no;
    // Failed: it does not answer, `error` says how.
    static Sent send(Command command, DWORD timeoutMs, std::wstring& error);

private:
    HANDLE mutex_ = nullptr;
};

// The listening end: a message-only window on the thread that made it. A
// command is answered at once and carried out from the message loop, so a
// sender never waits on it and it never runs inside another's send.
class Win32CommandServer final : public ObjectWindow {
public:
    explicit Win32CommandServer(std::function<void(Command)> run);
    bool listening() const { return hwnd_ != nullptr; }

    static constexpr const wchar_t* kClassName = L"DwellorCommands";
    // COPYDATASTRUCT::dwData of a command.
    static constexpr std::uintptr_t kTag = 0x52574C44;  // "DLWR"
    static constexpr std::size_t kMaxBytes = 16;

    // The command a message carries: exactly one of the known words, its
    // bytes alone (no terminator); nothing for anything else.
    static std::optional<Command> decode(std::uintptr_t tag, const void* data, std::size_t size);

private:
    LRESULT handle(UINT m, WPARAM w, LPARAM l) override;

    std::function<void(Command)> run_;
    std::vector<Command> pending_;
};

// Whether the window `sender` belongs to a process of this process's user.
bool sameUser(HWND sender);

}  // namespace dwellor::win32
