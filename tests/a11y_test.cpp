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

#include "tests/support/e2e.h"
#include "tests/support/session_bus.h"

using namespace dwellor::testsupport;
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

class A11yTest : public E2eTest {
protected:
    void SetUp() override {
        E2eTest::SetUp();
        // Clicking off: xdotool moves the pointer.
        writeSettings("[Program]\nEnabled=False\n");
        // The bus hands its environment to the accessibility bus it starts.
        ::setenv("HOME", (dir_ + "/home").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (dir_ + "/home").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", (dir_ + "/runtime").c_str(), 1);
        server_->exportDisplay();
        bus_ = std::make_unique<SessionBus>();
        busAddress_ = bus_->address();
        startApp({}, false, {"QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1"});
    }

    void TearDown() override {
        app_.reset();
        bus_.reset();  // takes the accessibility bus and registry with it
        E2eTest::TearDown();
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

    std::unique_ptr<SessionBus> bus_;
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

TEST_F(A11yTest, TheSettingsWindowsTargetsAreNamed) {
    xdo({"search", "--sync", "--onlyvisible", "--name", "^Dwellor - ", "mousemove", "--window", "%1",
         std::to_string(kSettings.x), std::to_string(kSettings.y), "click", "1", "mousemove", "0", "0"});
    ASSERT_TRUE(waitFor([&] { return tree_->windowTitled("Dwellor Settings") != 0; }));
    // Its signs say nothing on their own: their names do.
    const Seen seen = probe({"--tree"});
    ASSERT_TRUE(seen.ok) << seen.output;
    for (const char* name : {"Shorter dwell period", "Longer dwell period", "Smaller steady radius", "Larger steady radius"})
        EXPECT_TRUE(has(seen.nodes, {"push button", name, name})) << name << "\n" << seen.output;
    for (const char* name : {"Steady rest", "Repeat while resting", "Countdown at the pointer", "Start at login"})
        EXPECT_TRUE(std::any_of(seen.nodes.begin(), seen.nodes.end(),
                                [&](const Node& n) { return n.role == "check box" && n.name == name; }))
            << name << "\n" << seen.output;
}

}  // namespace
