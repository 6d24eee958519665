#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/xvfb.h"

using namespace dwellor::testsupport;
using namespace std::chrono_literals;

namespace {

std::string slurp(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// Starts the program with `env` and returns its exit status and output.
std::pair<std::optional<ExitStatus>, std::string> runDwellor(const std::vector<std::string>& env,
                                                             const std::vector<std::string>& args = {}) {
    // Of this test process alone: the suites may run side by side.
    static int runs = 0;
    const std::string out =
        ::testing::TempDir() + "dwellor-startup-" + std::to_string(getpid()) + "-" + std::to_string(runs++) + ".log";
    std::vector<std::string> argv{DWELLOR_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess p;
    p.spawn(argv, env, out);
    auto status = p.waitExit(10s);
    return {status, slurp(out)};
}

TEST(Startup, NoUsableDisplayIsAClearErrorNotACrash) {
    const std::string needs = "Dwellor needs an X11 display with the XTEST extension";
    {
        auto [status, out] = runDwellor({"DISPLAY", "WAYLAND_DISPLAY=wayland-0", "QT_QPA_PLATFORM"});
        ASSERT_TRUE(status.has_value());
        EXPECT_EQ(status->signal, 0);
        EXPECT_EQ(status->code, 1);
        EXPECT_NE(out.find(needs), std::string::npos) << out;
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    }
    {
        Xvfb server({"-extension", "XTEST"});
        auto [status, out] = runDwellor({"DISPLAY=" + server.display(), "QT_QPA_PLATFORM"});
        ASSERT_TRUE(status.has_value());
        EXPECT_EQ(status->signal, 0);
        EXPECT_EQ(status->code, 1);
        EXPECT_NE(out.find(needs), std::string::npos) << out;
    }
}

TEST(Startup, CommandLineAnswersWithoutADisplay) {
    const std::vector<std::string> noDisplay{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    auto [help, helpOut] = runDwellor(noDisplay, {"--help"});
    EXPECT_EQ(help, (ExitStatus{0, 0}));
    EXPECT_TRUE(helpOut.starts_with("Usage: dwellor [options]")) << helpOut;
    for (const char* option : {"--hidden", "--autostart", "--toggle", "--quit", "--allow-xwayland"})
        EXPECT_NE(helpOut.find(option), std::string::npos) << option;

    auto [version, versionOut] = runDwellor(noDisplay, {"--version"});
    EXPECT_EQ(version, (ExitStatus{0, 0}));
    EXPECT_TRUE(versionOut.starts_with("dwellor 1.")) << versionOut;

    auto [bad, badOut] = runDwellor(noDisplay, {"--frobnicate"});
    EXPECT_EQ(bad, (ExitStatus{2, 0}));
    EXPECT_TRUE(badOut.starts_with("dwellor: Unknown option 'frobnicate'.")) << badOut;
    EXPECT_NE(badOut.find("Usage: dwellor"), std::string::npos);

    auto [remote, remoteOut] = runDwellor(noDisplay, {"--toggle"});
    EXPECT_EQ(remote, (ExitStatus{1, 0}));
    EXPECT_EQ(std::count(remoteOut.begin(), remoteOut.end(), '\n'), 1) << remoteOut;
}

TEST(Startup, AutostartEntryIsWrittenValidAndRemoved) {
    const std::string config = ::testing::TempDir() + "dwellor-autostart";
    std::filesystem::remove_all(config);
    const std::vector<std::string> env{"DISPLAY", "XDG_CONFIG_HOME=" + config};
    const std::string entry = config + "/autostart/io.github.dwellor.Dwellor.desktop";

    EXPECT_EQ(runDwellor(env, {"--autostart", "on"}).first, (ExitStatus{0, 0}));
    const std::string text = slurp(entry);
    EXPECT_NE(text.find("\nExec=dwellor --hidden\n"), std::string::npos) << text;
    // Once Dwellor is removed, the session skips the entry.
    EXPECT_NE(text.find("\nTryExec=dwellor\n"), std::string::npos) << text;
    ChildProcess validate;
    validate.spawn({"desktop-file-validate", entry}, {}, config + "/validate.log");
    EXPECT_EQ(validate.waitExit(10s), (ExitStatus{0, 0}));
    EXPECT_EQ(slurp(config + "/validate.log"), "");

    EXPECT_EQ(runDwellor(env, {"--autostart", "off"}).first, (ExitStatus{0, 0}));
    EXPECT_FALSE(std::filesystem::exists(entry));
    EXPECT_EQ(runDwellor(env, {"--autostart", "off"}).first, (ExitStatus{0, 0}));
}

}  // namespace
