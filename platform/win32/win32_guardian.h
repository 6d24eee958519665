#pragma once
#include <memory>
#include <string>

#include "platform/win32/win32_api.h"

namespace dwellor::win32 {

// A second dwellor.exe, started with --guard, that outlives this one just
// long enough to let go of a left press this one still holds when it is
// ended in a way no code of its own survives (TerminateProcess: taskkill /F,
// Task Manager). It waits on this process's handle and nothing else, so it
// never wakes while this one runs; it reads whether a press is held from an
// event this one sets and resets, once, when this one has ended.
class Win32Guardian {
public:
    // Null when it cannot be started.
    static std::unique_ptr<Win32Guardian> start();
    ~Win32Guardian();
    Win32Guardian(const Win32Guardian&) = delete;
    Win32Guardian& operator=(const Win32Guardian&) = delete;

    // Told before a press reaches the system and after its release did.
    void pressHeld(bool held);
    DWORD pid() const { return pid_; }

    // The endings this process sees itself (an unhandled exception such as
    // an access violation, Ctrl+C and the console closing when it has one)
    // let go of a press held at that moment.
    static void releaseOnCrashAndConsoleEnd();

    // The guard's side: `handles` is what start() put on its command line.
    // Returns its exit code once the guarded process has ended.
    static int guard(const std::string& handles);

private:
    Win32Guardian(HANDLE held, DWORD pid) : held_(held), pid_(pid) {}
    HANDLE held_;
    DWORD pid_;
};

}  // namespace dwellor::win32
