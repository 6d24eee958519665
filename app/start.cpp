#include "app/start.h"
#include "app/version.h"

#include "window/form1.h"

namespace dwellor::app {

namespace {

using Stream = StartHost::Stream;

// The answers that need no window; nothing for a start that runs Dwellor or
// reaches the one running.
std::optional<int> answerAlone(const CommandLine& cl, StartHost& host) {
    switch (cl.action) {
        case CommandLine::Action::Help: host.say(Stream::Out, cl.helpText); return 0;
        case CommandLine::Action::Version: host.say(Stream::Out, "dwellor " DWELLOR_VERSION "\n"); return 0;
        case CommandLine::Action::Error: host.say(Stream::Err, "dwellor: " + cl.error + "\n\n" + cl.helpText); return 2;
        case CommandLine::Action::Autostart: {
            std::string error;
            if (host.setAutostart(cl.autostartOn, error)) return 0;
            host.say(Stream::Err, "dwellor: " + error + "\n");
            return 1;
        }
        case CommandLine::Action::Guard: return host.guard(cl.guard);
        case CommandLine::Action::Run:
        case CommandLine::Action::Remote: break;
    }
    return std::nullopt;
}

enum class Role { Primary, Done, Failed };

// Becomes the one instance, or hands the request to the one already running.
// One that is still starting gets a moment to answer, and a claim whose
// holder has gone is claimed again; one that holds the claim but does not
// answer (stopped, hung) is never joined by a second clicker: the start fails
// with a line saying so.
Role claimOrHandOver(const CommandLine& cl, StartHost& host) {
    const bool remote = cl.action == CommandLine::Action::Remote;
    const Command command = remote ? cl.remote : Command::Show;
    std::string error = "it has not started listening";
    for (int attempt = 0;; ++attempt) {
        switch (host.claim(cl, error)) {
            case StartHost::Claim::Ours:
                if (!remote) return Role::Primary;
                host.say(Stream::Err, "dwellor: Dwellor is not running " + host.scope() + ".\n");
                return Role::Failed;
            case StartHost::Claim::Unreachable:
                // Dwellor itself may still run (and say why it cannot); a
                // command has nowhere to go.
                if (!remote) return Role::Primary;
                host.say(Stream::Err, "dwellor: " + error + "\n");
                return Role::Failed;
            case StartHost::Claim::Running: break;
        }
        // A hidden start (at login) leaves a running instance as it is.
        if (!remote && cl.hidden) return Role::Done;
        const StartHost::Sent sent = host.send(command, kSendTimeoutMs, error);
        if (sent == StartHost::Sent::Done) return Role::Done;
        if (sent == StartHost::Sent::Failed || attempt == kRetries) break;
        host.pause(kRetryMs);
    }
    host.say(Stream::Err, "dwellor: the Dwellor running " + host.scope() + " does not answer (" + error + ").\n");
    return Role::Failed;
}

}  // namespace

int start(const std::vector<std::string>& arguments, StartHost& host) {
    const CommandLine cl = parseCommandLine(arguments, host.options());
    if (const auto rc = answerAlone(cl, host)) return *rc;

    if (const Role role = claimOrHandOver(cl, host); role != Role::Primary) return role == Role::Done ? 0 : 1;
    if (!host.guardHeldPress()) return 1;

    const std::optional<Platform> platform = host.buildWindow(cl);
    if (!platform) return 1;
    Form1 form(*platform);

    host.listen([&form](Command command) { form.RemoteCommand(command); });
    host.watchEndings([&form] { form.releaseHeldButton(); });

    form.Form_Load();
    if (!(cl.hidden && form.StartInTray())) form.ShowWindow();
    const int rc = host.run();
    form.releaseHeldButton();
    return rc;
}

}  // namespace dwellor::app
