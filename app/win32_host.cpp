// Dwellor on Windows: Form1 on the Win32 backends.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/start.h"

#include "platform/win32/win32_autostart.h"
#include "platform/win32/win32_guardian.h"
#include "platform/win32/win32_input.h"
#include "platform/win32/win32_instance.h"
#include "platform/win32/win32_settings.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/win32_tray.h"
#include "platform/win32/win32_window.h"

using dwellor::app::CommandLine;
using dwellor::win32::narrow;
using dwellor::win32::tell;
using dwellor::win32::Win32Instance;

namespace {

constexpr const char* kUnguarded =
    "should Dwellor be ended from outside while dragging, the left button would stay held.\n";

// One instance per user session, on a Win32 window and tray, clicking
// through SendInput. Members are declared in the order they are made.
class Win32Host final : public dwellor::app::StartHost {
public:
    dwellor::app::OptionSet options() const override { return dwellor::app::OptionSet::Windows; }
    void say(Stream to, const std::string& text) override {
        tell(to == Stream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE, text);
    }

    bool setAutostart(bool on, std::string& error) override {
        std::wstring why;
        if (dwellor::win32::setAutostart(on, why)) return true;
        error = narrow(why);
        return false;
    }
    int guard(const std::string& what) override { return dwellor::win32::Win32Guardian::guard(what); }

    Claim claim(const CommandLine&, std::string&) override {
        return instance_.claim() == Win32Instance::Claim::Ours ? Claim::Ours : Claim::Running;
    }
    Sent send(dwellor::Command command, int timeoutMs, std::string& error) override {
        std::wstring why;
        switch (Win32Instance::send(command, static_cast<DWORD>(timeoutMs), why)) {
            case Win32Instance::Sent::Done: return Sent::Done;
            case Win32Instance::Sent::NotFound: return Sent::NotListening;
            case Win32Instance::Sent::Refused: error = std::string("it refused --") + dwellor::nameOf(command); return Sent::Failed;
            case Win32Instance::Sent::Failed: break;
        }
        error = narrow(why);
        return Sent::Failed;
    }
    std::string scope() const override { return "in this session"; }
    void pause(int ms) override { Sleep(static_cast<DWORD>(ms)); }

    // A crash and the console here, anything else (TerminateProcess) in the
    // guardian.
    bool guardHeldPress() override {
        dwellor::win32::Win32Guardian::releaseOnCrashAndConsoleEnd();
        guardian_ = dwellor::win32::Win32Guardian::start();
        if (!guardian_) {
            say(Stream::Err, "dwellor: the guardian could not be started: " + std::string(kUnguarded));
            return true;
        }
        // Replaced, nothing is lost: a line where one is read, never a box
        // that takes the user's focus. Not replaced, the user must know.
        guardian_->onEnded([this](bool replaced) {
            if (replaced)
                tell(STD_ERROR_HANDLE, "dwellor: the guardian process ended; another has taken its place.\n", false);
            else
                say(Stream::Err, "dwellor: the guardian process ended and could not be started again: " +
                                     std::string(kUnguarded));
        });
        return true;
    }

    std::optional<dwellor::Platform> buildWindow(const CommandLine&) override {
        window_.emplace();
        tray_.emplace(window_->hwnd());
        settings_.emplace();
        input_.emplace();
        input_->setOwnWindows([this](HWND topLevel, POINT at) {
            return window_->isOwn(topLevel) || tray_->iconContains(at);
        });
        if (guardian_) input_->onLeftHeld([&g = *guardian_](bool held) { g.pressHeld(held); });
        return dwellor::Platform{*window_, *input_, *input_, *input_, *tray_, *settings_, autostart_};
    }

    void listen(std::function<void(dwellor::Command)> run) override {
        commands_ = std::make_unique<dwellor::win32::Win32CommandServer>(std::move(run));
        if (!commands_->listening())
            say(Stream::Err, "dwellor: other starts cannot reach this one: " +
                                 narrow(dwellor::win32::systemMessage(GetLastError())) + "\n");
    }

    // The session ending: let go of the button first.
    void watchEndings(std::function<void()> releaseHeldButton) override {
        window_->onEnding(std::move(releaseHeldButton));
    }

    int run() override { return window_->run(); }

private:
    Win32Instance instance_;
    std::unique_ptr<dwellor::win32::Win32Guardian> guardian_;
    std::optional<dwellor::win32::Win32Window> window_;
    std::optional<dwellor::win32::Win32Tray> tray_;
    std::optional<dwellor::win32::Win32Settings> settings_;
    std::optional<dwellor::win32::Win32Input> input_;
    dwellor::win32::Win32Autostart autostart_;
    std::unique_ptr<dwellor::win32::Win32CommandServer> commands_;
};

std::vector<std::string> arguments() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) args.push_back(narrow(argv[i]));
    LocalFree(argv);
    return args;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    Win32Host host;
    return dwellor::app::start(arguments(), host);
}
