#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "platform/platform.h"

namespace dwellor::app {

// What one platform does at each step of start-up. start() tells the steps
// in their order; a host carries out its own part of each and says itself,
// through say(), why a step it cannot take failed.
class StartHost {
public:
    virtual ~StartHost() = default;

    virtual OptionSet options() const = 0;
    enum class Stream { Out, Err };
    virtual void say(Stream to, const std::string& text) = 0;

    // Answers that need no window.
    virtual bool setAutostart(bool on, std::string& error) = 0;
    // Only where the guardian is a program started with an option of its own.
    virtual int guard(const std::string& /*what*/) { return 2; }

    // The one instance. Ours: this process now is it. Running: another one
    // is, or is starting, and send() reaches it. Unreachable: there is no
    // place for an instance here at all; `why` says so.
    enum class Claim { Ours, Running, Unreachable };
    virtual Claim claim(const CommandLine& cl, std::string& why) = 0;
    // NotListening: nobody takes commands (yet), worth another try; Ended:
    // the one that held the claim went without answering (a start that found
    // no instance and has ended), so the claim may be free again; Failed: no
    // answer will come, `error` says why.
    enum class Sent { Done, NotListening, Ended, Failed };
    virtual Sent send(Command command, int timeoutMs, std::string& error) = 0;
    // Where the one instance is one: "on display :0", "in this session".
    virtual std::string scope() const = 0;
    virtual void pause(int ms) = 0;

    // No ending of the process may leave a drag press held. False when
    // Dwellor cannot go on.
    virtual bool guardHeldPress() = 0;
    // The window and the services it runs on; nothing when they cannot be had.
    virtual std::optional<Platform> buildWindow(const CommandLine& cl) = 0;
    // Commands of later starts; the handler says whether it knew one.
    virtual void listen(std::function<void(Command)> run) = 0;
    // Every ending the process gets a say in lets go of a held press first.
    virtual void watchEndings(std::function<void()> releaseHeldButton) = 0;
    // The event loop, until Dwellor quits; its exit code.
    virtual int run() = 0;
};

// How long a start waits for a running instance to take its request.
inline constexpr int kSendTimeoutMs = 3000;
inline constexpr int kRetryMs = 50;
inline constexpr int kRetries = 100;  // an instance still starting: about 5 s

// Dwellor from its arguments (the program name first) to its exit code.
int start(const std::vector<std::string>& arguments, StartHost& host);

}  // namespace dwellor::app
