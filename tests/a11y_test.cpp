// The program as a screen reader meets it: the real binary on a private Xvfb
// and a private session bus, its controls read through AT-SPI.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/session_bus.h"
#include "tests/support/xvfb.h"

using dwellor::testsupport::ChildProcess;
using dwellor::testsupport::readFile;
using dwellor::testsupport::SessionBus;
using dwellor::testsupport::Xvfb;
using namespace std::chrono_literals;

namespace {

// An accessible object, or an event from one, as the probe prints it.
struct Node {
    std::string role, name, description;
    friend bool operator==(const Node&, const Node&) = default;
    friend std::ostream& operator<<(std::ostream& os, const Node& n) {
        return os << n.role << " '" << n.name << "' '" << n.description << "'";
    }
};

struct Seen {
    bool ok = false;
    std::vector<Node> nodes;
    std::vector<Node> events;
    std::string output;
};

bool has(const std::vector<Node>& nodes, const Node& n) {
    return std::find(nodes.begin(), nodes.end(), n) != nodes.end();
}

const std::string kNameChange = "object:property-change:accessible-name";
const std::string kDescriptionChange = "object:property-change:accessible-description";

// A click at a point of the window once it is mapped; the pointer then rests
// in the corner, where it never clicks.
std::string clickInWindow(int x, int y) {
    return "xdotool search --sync --onlyvisible --name '^Dwellor - ' mousemove --window %1 " + std::to_string(x) +
           " " + std::to_string(y) + " click 1 mousemove 0 0";
}
constexpr int kToggleX = 93, kToggleY = 20, kRightX = 125, kRightY = 168;

class A11yTest : public ::testing::Test {
protected:
    void SetUp() override {
        char tmpl[] = "/tmp/dwellor-a11y-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        std::filesystem::create_directories(dir_ + "/home/Dwellor");
        std::filesystem::create_directories(dir_ + "/runtime");
        std::filesystem::permissions(dir_ + "/runtime", std::filesystem::perms::owner_all);
        // Clicking off: xdotool moves the pointer.
        std::ofstream(dir_ + "/home/Dwellor/Dwellor.conf") << "[Program]\nEnabled=False\n";
        // The bus hands its environment to the accessibility bus it starts.
        ::setenv("HOME", (dir_ + "/home").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (dir_ + "/home").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", (dir_ + "/runtime").c_str(), 1);
        server_ = std::make_unique<Xvfb>();
        server_->exportDisplay();
        bus_ = std::make_unique<SessionBus>();

        app_ = std::make_unique<ChildProcess>();
        app_->spawn({DWELLOR_BINARY},
                    {"QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1", "DBUS_SESSION_BUS_ADDRESS=" + bus_->address(),
                     "ASAN_OPTIONS=detect_leaks=0", "QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "SESSION_MANAGER"},
                    dir_ + "/dwellor.log");
    }

    void TearDown() override {
        if (HasFailure()) std::cerr << "---- dwellor.log:\n" << readFile(dir_ + "/dwellor.log");
        app_.reset();
        bus_.reset();  // takes the accessibility bus and registry with it
        server_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    // Runs the AT-SPI probe's steps against the program (see atspi_probe.py).
    Seen probe(const std::vector<std::string>& steps) {
        std::vector<std::string> argv{ATSPI_PROBE, "dwellor"};
        argv.insert(argv.end(), steps.begin(), steps.end());
        ChildProcess p;
        p.spawn(argv, {"DBUS_SESSION_BUS_ADDRESS=" + bus_->address()}, dir_ + "/probe.log");
        const auto st = p.waitExit(60s);
        Seen seen;
        seen.ok = st && st->code == 0;
        seen.output = readFile(dir_ + "/probe.log");
        std::istringstream lines(seen.output);
        for (std::string line; std::getline(lines, line);) {
            std::vector<std::string> f;
            std::istringstream fields(line);
            for (std::string s; std::getline(fields, s, '\t');) f.push_back(s);
            f.resize(4);
            if (f[0] == "node") seen.nodes.push_back({f[1], f[2], f[3]});
            if (f[0] == "event") seen.events.push_back({f[1], f[2], f[3]});
        }
        return seen;
    }

    std::string dir_;
    std::unique_ptr<Xvfb> server_;
    std::unique_ptr<SessionBus> bus_;
    std::unique_ptr<ChildProcess> app_;
};

TEST_F(A11yTest, FieldsAreNamedAndTheSelectedModeIsTold) {
    const Seen before = probe({"--tree"});
    ASSERT_TRUE(before.ok) << before.output;
    for (const Node& n : {Node{"text", "Dwell interval in milliseconds", "Enter the interval"},
                          Node{"text", "Drag interval in milliseconds", "Specify the dragging interval"},
                          Node{"label", "Left click", "selected"}, Node{"label", "Double click", "not selected"},
                          Node{"label", "Right click", "not selected"}})
        EXPECT_TRUE(has(before.nodes, n)) << n << "\n" << before.output;

    // Selecting R is announced, and the descriptions follow.
    const Seen after = probe({"--on", kDescriptionChange, "label", clickInWindow(kRightX, kRightY), "--until",
                              "Right click", "selected", "--tree"});
    ASSERT_TRUE(after.ok) << after.output;
    for (const Node& n : {Node{"label", "Left click", "not selected"}, Node{"label", "Double click", "not selected"},
                          Node{"label", "Right click", "selected"}})
        EXPECT_TRUE(has(after.nodes, n)) << n << "\n" << after.output;
}

TEST_F(A11yTest, StatusLineIsAStatusAndAnnouncesItsNewText) {
    const Seen before = probe({"--tree"});
    ASSERT_TRUE(before.ok) << before.output;
    EXPECT_TRUE(has(before.nodes, {"status bar", "Dwellor is currently disabled", ""})) << before.output;

    const Seen toggled = probe({"--on", kNameChange, "status bar", clickInWindow(kToggleX, kToggleY)});
    ASSERT_TRUE(toggled.ok) << toggled.output;
    EXPECT_EQ(toggled.events, (std::vector<Node>{{"status bar", "Dwellor is alive and clicking", ""}}));
}

}  // namespace
