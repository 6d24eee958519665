#include <gtest/gtest.h>

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
std::pair<std::optional<ExitStatus>, std::string> runDwellor(const std::vector<std::string>& env) {
    const std::string out = ::testing::TempDir() + "dwellor-startup.log";
    ChildProcess p;
    p.spawn({DWELLOR_BINARY}, env, out);
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

}  // namespace
