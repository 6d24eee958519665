#pragma once
#include <functional>
#include <memory>
#include <string>

#include "platform/win32/win32_api.h"
#include "platform/win32/win32_object_window.h"

namespace dwellor::win32 {

// A second dwellor.exe, started with --guard, that outlives this one just
// long enough to let go of a left press this one still holds when it is
// ended in a way no code of its own survives (TerminateProcess: taskkill /F,
// Task Manager). It waits on this process's handle and nothing else, so it
// never wakes while this one runs; it reads whether a press is held from an
// event this one sets and resets, once, when this one has ended.
//
// Should the guardian itself be ended, another is started in its place on the
// same event, so it knows at once whether a press is held. One started again
// that ends within a second cannot stay up, and is not started once more.
class Win32Guardian final : public ObjectWindow {
public:
    // Null when it cannot be started.
    static std::unique_ptr<Win32Guardian> start();
    ~Win32Guardian() override;

    // Told before a press reaches the system and after its release did.
    void pressHeld(bool held);
    // Told on this thread, through its message loop, when the guardian has
    // ended: whether another now stands in its place.
    void onEnded(std::function<void(bool replaced)> h) { ended_ = std::move(h); }

    // The endings this process sees itself (an unhandled exception such as
    // an access violation, Ctrl+C and the console closing when it has one)
    // let go of a press held at that moment.
    static void releaseOnCrashAndConsoleEnd();

    // The guard's side: `handles` is what start() put on its command line.
    // Returns its exit code once the guarded process has ended.
    static int guard(const std::string& handles);

    static constexpr const wchar_t* kClassName = L"DwellorGuardianWatch";

private:
    explicit Win32Guardian(HANDLE held);
    LRESULT handle(UINT m, WPARAM w, LPARAM l) override;
    // Starts a guardian on held_ and waits for its end; false when it cannot.
    bool launch();
    static void CALLBACK guardianEnded(void* window, BOOLEAN);

    HANDLE held_;
    HANDLE process_ = nullptr;
    HANDLE wait_ = nullptr;
    ULONGLONG startedAt_ = 0;
    bool again_ = false;  // the running one was started again
    std::function<void(bool)> ended_;
};

}  // namespace dwellor::win32
