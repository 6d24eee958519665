// Start-up's steps and their order, on a host that writes down what it is
// asked and answers from a script.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

#include "app/version.h"
#include "app/start.h"
#include "platform/fake/fake_platform.h"

using dwellor::app::StartHost;

namespace {

struct ScriptedHost final : StartHost {
    std::vector<std::string> steps;
    std::deque<Claim> claims;  // the last one repeats
    std::deque<Sent> sends;
    std::string sendError = "hung";
    bool guardOk = true, buildOk = true, autostartOk = true;
    dwellor::fake::FakePlatform platform;
    std::function<void(dwellor::Command)> commands;
    std::function<void()> ending;
    std::function<void()> whileRunning;  // the form lives only until run() returns

    dwellor::app::OptionSet options() const override { return dwellor::app::OptionSet::Windows; }
    void say(Stream to, const std::string& text) override { steps.push_back((to == Stream::Out ? "out:" : "err:") + text); }
    bool setAutostart(bool on, std::string& error) override {
        steps.push_back(on ? "autostart on" : "autostart off");
        error = "no Run key";
        return autostartOk;
    }
    int guard(const std::string& what) override {
        steps.push_back("guard " + what);
        return 5;
    }
    Claim claim(const dwellor::app::CommandLine&, std::string& why) override {
        steps.push_back("claim");
        why = "nowhere to run";
        const Claim c = claims.front();
        if (claims.size() > 1) claims.pop_front();
        return c;
    }
    Sent send(dwellor::Command command, int, std::string& error) override {
        steps.push_back(std::string("send ") + dwellor::nameOf(command));
        error = sendError;
        const Sent s = sends.empty() ? Sent::NotListening : sends.front();
        if (!sends.empty()) sends.pop_front();
        return s;
    }
    std::string scope() const override { return "here"; }
    void pause(int ms) override { steps.push_back("pause " + std::to_string(ms)); }
    bool guardHeldPress() override { return steps.push_back("guard press"), guardOk; }
    std::optional<dwellor::Platform> buildWindow(const dwellor::app::CommandLine&) override {
        steps.push_back("build");
        if (!buildOk) return std::nullopt;
        return platform.platform();
    }
    void listen(std::function<void(dwellor::Command)> h) override { steps.push_back("listen"), commands = std::move(h); }
    void watchEndings(std::function<void()> r) override { steps.push_back("endings"), ending = std::move(r); }
    int run() override {
        steps.push_back("run");
        if (whileRunning) whileRunning();
        return 7;
    }

    int start(std::vector<std::string> args) {
        args.insert(args.begin(), "dwellor.exe");
        return dwellor::app::start(args, *this);
    }
    bool did(const std::string& step) const { return std::find(steps.begin(), steps.end(), step) != steps.end(); }
};

using V = std::vector<std::string>;

TEST(StartTest, AnswersThatNeedNoWindowNeverClaimTheInstance) {
    struct Case {
        V args;
        bool autostartOk;
        int rc;
        std::string first;  // what the host is asked first
    };
    for (const Case& c : std::vector<Case>{
             {{"--version"}, true, 0, "out:dwellor " DWELLOR_VERSION "\n"},
             {{"--autostart", "on"}, true, 0, "autostart on"},
             {{"--autostart", "off"}, false, 1, "autostart off"},
             {{"--guard", "1:2"}, true, 5, "guard 1:2"},
             {{"--bogus"}, true, 2, "err:dwellor: Unknown option 'bogus'.\n\nUsage: dwellor [options]"},
         }) {
        ScriptedHost host;
        host.autostartOk = c.autostartOk;
        EXPECT_EQ(host.start(c.args), c.rc) << c.args[0];
        ASSERT_FALSE(host.steps.empty());
        EXPECT_TRUE(host.steps[0].starts_with(c.first)) << host.steps[0];
        EXPECT_FALSE(host.did("claim")) << c.args[0];
    }
    ScriptedHost failed;
    failed.autostartOk = false;
    failed.start({"--autostart", "on"});
    EXPECT_EQ(failed.steps, (V{"autostart on", "err:dwellor: no Run key\n"}));
}

TEST(StartTest, TheOneInstanceRunsEveryStepInOrderAndShowsItsWindow) {
    ScriptedHost host;
    host.claims = {StartHost::Claim::Ours};
    // The commands and the endings reach the window that was built.
    host.whileRunning = [&host] {
        EXPECT_TRUE(host.platform.window.visible());
        host.commands(dwellor::Command::Disable);
        EXPECT_EQ(host.platform.window.caption(), "Dwellor - Disabled");
        host.ending();
    };
    EXPECT_EQ(host.start({}), 7);
    EXPECT_EQ(host.steps, (V{"claim", "guard press", "build", "listen", "endings", "run"}));

    // At login, in the tray.
    ScriptedHost hidden;
    hidden.claims = {StartHost::Claim::Ours};
    hidden.start({"--hidden"});
    EXPECT_TRUE(hidden.platform.tray.shown);
}

TEST(StartTest, AStepThatFailsEndsTheStartBeforeTheNext) {
    ScriptedHost noGuard;
    noGuard.claims = {StartHost::Claim::Ours};
    noGuard.guardOk = false;
    EXPECT_EQ(noGuard.start({}), 1);
    EXPECT_FALSE(noGuard.did("build"));

    ScriptedHost noWindow;
    noWindow.claims = {StartHost::Claim::Ours};
    noWindow.buildOk = false;
    EXPECT_EQ(noWindow.start({}), 1);
    EXPECT_FALSE(noWindow.did("listen"));
    EXPECT_FALSE(noWindow.did("run"));
}

TEST(StartTest, ALaterStartHandsItsRequestToTheRunningOne) {
    using C = StartHost::Claim;
    using S = StartHost::Sent;
    struct Case {
        const char* what;
        V args;
        std::deque<C> claims;
        std::deque<S> sends;
        int rc;
        V steps;
    };
    for (const Case& c : std::vector<Case>{
             {"a plain start shows it", {}, {C::Running}, {S::Done}, 0, {"claim", "send show"}},
             {"at login it is left alone", {"--hidden"}, {C::Running}, {}, 0, {"claim"}},
             {"one still starting is waited for",
              {"--toggle"},
              {C::Running},
              {S::NotListening, S::Done},
              0,
              {"claim", "send toggle", "pause 50", "claim", "send toggle"}},
             {"one that has ended meanwhile is taken over",
              {},
              {C::Running, C::Ours},
              {S::NotListening},
              7,
              {"claim", "send show", "pause 50", "claim", "guard press", "build", "listen", "endings", "run"}},
             // A start and a command at once, none running: the command took
             // the claim, found no instance and ended before it answered.
             {"a claim whose holder has ended is claimed again",
              {},
              {C::Running, C::Ours},
              {S::Ended},
              7,
              {"claim", "send show", "pause 50", "claim", "guard press", "build", "listen", "endings", "run"}},
             {"a hung one is never joined",
              {"--quit"},
              {C::Running},
              {S::Failed},
              1,
              {"claim", "send quit", "err:dwellor: the Dwellor running here does not answer (hung).\n"}},
             {"a command with none running", {"--enable"}, {C::Ours}, {}, 1, {"claim", "err:dwellor: Dwellor is not running here.\n"}},
             {"a command with nowhere to go", {"--show"}, {C::Unreachable}, {}, 1, {"claim", "err:dwellor: nowhere to run\n"}},
         }) {
        ScriptedHost host;
        host.claims = c.claims;
        host.sends = c.sends;
        EXPECT_EQ(host.start(c.args), c.rc) << c.what;
        EXPECT_EQ(host.steps, c.steps) << c.what;
    }

    // One that never starts listening: about five seconds of tries, then a line.
    ScriptedHost silent;
    silent.claims = {C::Running};
    silent.sendError = "refused";
    EXPECT_EQ(silent.start({"--toggle"}), 1);
    EXPECT_EQ(std::count(silent.steps.begin(), silent.steps.end(), "pause 50"), dwellor::app::kRetries);
    EXPECT_EQ(silent.steps.back(), "err:dwellor: the Dwellor running here does not answer (refused).\n");
}

}  // namespace
