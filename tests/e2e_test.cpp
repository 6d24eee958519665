// The program as a user meets it: clicking, the held drag press, one
// instance and its commands, Wayland sessions and the window itself. The
// tray has a suite of its own (tray_e2e_test.cpp).
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/e2e.h"

using namespace dwellor::testsupport;
using namespace std::chrono_literals;

namespace {

// ---- Clicking at the chosen period

using E2eClicking = E2eTest;

TEST_F(E2eClicking, TypedIntervalIsThePeriodOfClicksAtTheRestingPointer) {
    ASSERT_FALSE(std::filesystem::exists(settingsPath()));
    startApp();
    ASSERT_EQ(caption(), "Dwellor - Enabled");
    enableWithInterval("200");

    expectClickingEvery(200);
    const auto p = pointer_->query();
    EXPECT_EQ(p.x, kRest.x);
    EXPECT_EQ(p.y, kRest.y);
    EXPECT_FALSE(p.buttonDown(1));
}

TEST_F(E2eClicking, ExitKeepsThePeriodForTheNextStart) {
    startApp();
    enableWithInterval("200");
    clickAndLeave(kExit);
    const auto st = app_->waitExit(kPatience);
    ASSERT_TRUE(st) << "Exit did not end the program";
    EXPECT_EQ(*st, (ExitStatus{0, 0}));
    EXPECT_EQ(readFile(settingsPath()), "[Program]\nDrag=0\nEnabled=True\nInterval=200\n");

    startApp();
    EXPECT_EQ(caption(), "Dwellor - Enabled");
    expectClickingEvery(200);
}

TEST_F(E2eClicking, DisabledProgramDoesNotClick) {
    writeSettings("[Program]\nEnabled=False\nInterval=100\n");
    startApp();
    EXPECT_EQ(caption(), "Dwellor - Disabled");
    pointer_->warp(kRest.x, kRest.y);
    // Five periods: any tick would have clicked by then.
    EXPECT_EQ(probe_->collect(1, 500ms), std::vector<ButtonEvent>{});
}

// ---- A drag press held when the program ends

enum class Ending { ExitButton, Term, Int, Hup, QuitCommand };

std::string nameOf(Ending e) {
    switch (e) {
        case Ending::ExitButton: return "ExitButton";
        case Ending::Term: return "Sigterm";
        case Ending::Int: return "Sigint";
        case Ending::Hup: return "Sighup";
        case Ending::QuitCommand: return "QuitCommand";
    }
    return "?";
}
void PrintTo(Ending e, std::ostream* os) { *os << nameOf(e); }

class E2eHeldButton : public E2eTest, public ::testing::WithParamInterface<Ending> {};

TEST_P(E2eHeldButton, IsReleasedWhenTheProgramEnds) {
    // Dragging on: the first rest presses, the next one releases.
    writeSettings("[Program]\nDrag=1\nEnabled=True\nInterval=200\n");
    startApp();
    if (GetParam() == Ending::ExitButton) {
        // Focus goes into the window before the press: with the button down,
        // the pointer belongs to the probe and Exit is reached by keyboard.
        clickAndLeave(kText1);
    }

    pointer_->warp(kRest.x, kRest.y);
    auto events = probe_->collect(1, kPatience);
    ASSERT_EQ(events, std::vector<ButtonEvent>{at(1, true, kRest)});
    // The corner holds the engine still, the press stays.
    pointer_->warp(0, 0);
    ASSERT_EQ(probe_->collect(), std::vector<ButtonEvent>{}) << "released before the pointer left";
    ASSERT_TRUE(pointer_->query().buttonDown(1));

    switch (GetParam()) {
        case Ending::ExitButton:
            // Tab order from Text1 back to Exit.
            xdo({"key", "shift+Tab", "space"});
            break;
        case Ending::Term: app_->signal(SIGTERM); break;
        case Ending::Int: app_->signal(SIGINT); break;
        case Ending::Hup: app_->signal(SIGHUP); break;
        case Ending::QuitCommand: ASSERT_EQ(runToEnd({"--quit"}), (ExitStatus{0, 0})); break;
    }
    const auto st = app_->waitExit(kPatience);
    ASSERT_TRUE(st) << "the program did not end";
    EXPECT_EQ(*st, (ExitStatus{0, 0}));
    // The release may still be on its way through the server.
    EXPECT_TRUE(waitFor([&] { return !pointer_->query().buttonDown(1); }, 2000ms)) << "button 1 left down";
    events = probe_->collect();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].button, 1u);
    EXPECT_FALSE(events[0].press);
}

INSTANTIATE_TEST_SUITE_P(Endings, E2eHeldButton,
                         ::testing::Values(Ending::ExitButton, Ending::Term, Ending::Int, Ending::Hup, Ending::QuitCommand),
                         [](const ::testing::TestParamInfo<Ending>& i) { return nameOf(i.param); });

// ---- One instance per display, and commands to it

using E2eInstance = E2eTest;

TEST_F(E2eInstance, ASecondStartShowsTheFirstFromTheTrayAndAddsNoClicks) {
    startTrayer();
    writeSettings("[Program]\nEnabled=False\nInterval=200\n");
    startApp();
    clickAndLeave(kHide);
    ASSERT_TRUE(waitFor([&] { return tree_->trayIcons().size() == 1 && !tree_->viewable(main_); }));

    EXPECT_EQ(runToEnd({}), (ExitStatus{0, 0}));
    EXPECT_TRUE(waitFor([&] { return tree_->viewable(main_) && tree_->trayIcons().empty(); }))
        << "the running instance did not come back from the tray";
    EXPECT_TRUE(app_->running());

    // Switched on, a resting pointer gets one click per tick: a second
    // clicking process would double them.
    ASSERT_EQ(runToEnd({"--enable"}), (ExitStatus{0, 0}));
    expectClickingEvery(200);
}

TEST_F(E2eInstance, CommandsReachTheRunningInstanceAndNeedOne) {
    for (const char* c : {"--toggle", "--enable", "--disable", "--show", "--quit"}) {
        std::string out;
        EXPECT_EQ(runToEnd({c}, &out), (ExitStatus{1, 0})) << c;
        EXPECT_EQ(out, "dwellor: Dwellor is not running on display " + server_->display() + ".\n");
    }
    startApp();
    ASSERT_EQ(caption(), "Dwellor - Enabled");
    EXPECT_EQ(runToEnd({"--toggle"}), (ExitStatus{0, 0}));
    EXPECT_TRUE(captionIs("Dwellor - Disabled"));
    EXPECT_EQ(readFile(settingsPath()), "[Program]\nEnabled=False\n");

    // Already off: nothing is done, not even a write of the same file.
    const auto written = std::filesystem::last_write_time(settingsPath());
    EXPECT_EQ(runToEnd({"--disable"}), (ExitStatus{0, 0}));
    EXPECT_EQ(std::filesystem::last_write_time(settingsPath()), written);
    EXPECT_EQ(runToEnd({"--enable"}), (ExitStatus{0, 0}));
    EXPECT_TRUE(captionIs("Dwellor - Enabled"));
    EXPECT_EQ(readFile(settingsPath()), "[Program]\nDrag=0\nEnabled=True\nInterval=1000\n");

    // Killed outright, it leaves its lock and socket behind; the next start runs all the same.
    app_->signal(SIGKILL);
    ASSERT_TRUE(app_->waitExit(kPatience));
    ASSERT_TRUE(waitFor([&] { return tree_->mainWindow() == 0; }));
    startApp();
    EXPECT_EQ(runToEnd({"--quit"}), (ExitStatus{0, 0}));
    EXPECT_TRUE(app_->waitExit(kPatience)) << "--quit did not end it";
}

TEST_F(E2eInstance, HiddenStartGoesToTheTrayWhenThereIsOne) {
    startApp({"--hidden"});  // no tray: shown as usual
    clickAndLeave(kExit);
    ASSERT_TRUE(app_->waitExit(kPatience));

    startTrayer();
    startApp({"--hidden"}, false);
    ASSERT_TRUE(waitFor([&] { return tree_->trayIcons().size() == 1; })) << "no icon";
    main_ = tree_->mainWindow();
    EXPECT_TRUE(main_ == 0 || !tree_->viewable(main_));
    // A hidden start while it runs (a second login autostart) leaves it be.
    EXPECT_EQ(runToEnd({"--hidden"}), (ExitStatus{0, 0}));
    EXPECT_EQ(tree_->trayIcons().size(), 1u);
    EXPECT_EQ(runToEnd({"--show"}), (ExitStatus{0, 0}));
    EXPECT_TRUE(waitFor([&] {
        main_ = tree_->mainWindow();
        return main_ && tree_->viewable(main_) && tree_->trayIcons().empty();
    }));
}

// ---- Wayland sessions, where the X server cannot see the pointer

using E2eWayland = E2eTest;

const std::string kWaylandRefusal = "Dwellor cannot work in a Wayland session";

TEST_F(E2eWayland, AWaylandSessionIsRefusedUnlessAllowed) {
    std::string out;
    EXPECT_EQ(runToEnd({}, &out, {"WAYLAND_DISPLAY=wayland-0"}), (ExitStatus{1, 0}));
    EXPECT_TRUE(out.starts_with(kWaylandRefusal)) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    EXPECT_EQ(runToEnd({}, &out, {"XDG_SESSION_TYPE=wayland"}), (ExitStatus{1, 0}));
    EXPECT_EQ(tree_->mainWindow(), 0u) << "a window was opened before the refusal";

    startApp({"--allow-xwayland"}, true, {"WAYLAND_DISPLAY=wayland-0"});
    EXPECT_EQ(runToEnd({"--quit"}), (ExitStatus{0, 0}));
    EXPECT_TRUE(app_->waitExit(kPatience));
}

TEST_F(E2eWayland, ARealXWaylandServerIsRecognised) {
    // A headless Wayland compositor with XWayland, and nothing in the
    // environment that tells of Wayland: the server itself must.
    ChildProcess weston;
    weston.spawn({"weston", "--backend=headless-backend.so", "--xwayland", "--socket=dwellor-test", "--idle-time=0"},
                 {"XDG_RUNTIME_DIR=" + dir_ + "/runtime", "WAYLAND_DISPLAY", "DISPLAY"}, dir_ + "/weston.log");
    std::string display;
    ASSERT_TRUE(waitFor([&] {
        const std::string log = readFile(dir_ + "/weston.log");
        const auto at = log.find("xserver listening on display ");
        if (at == std::string::npos) return false;
        display = log.substr(at + 29, log.find('\n', at) - at - 29);
        return true;
    })) << readFile(dir_ + "/weston.log");

    std::string out;
    EXPECT_EQ(runToEnd({}, &out, {"DISPLAY=" + display}), (ExitStatus{1, 0})) << out;
    EXPECT_TRUE(out.starts_with(kWaylandRefusal)) << out;
}

// ---- The mode labels

using E2eWindow = E2eTest;

TEST_F(E2eWindow, SelectedModeLabelIsRed) {
    writeSettings("[Program]\nEnabled=False\n");
    startApp();
    Shot s;
    EXPECT_TRUE(waitFor([&] {
        s = screenshot();
        return isRed(s, kLeftLabel);
    })) << "L is not red";
    EXPECT_TRUE(isColourless(s, kDoubleLabel));
    EXPECT_TRUE(isColourless(s, kRightLabel));

    clickAndLeave(kLabel6);
    EXPECT_TRUE(waitFor([&] {
        s = screenshot();
        return isRed(s, kRightLabel) && isColourless(s, kLeftLabel);
    })) << "R did not take over from L";
    EXPECT_TRUE(isColourless(s, kDoubleLabel));
}

// ---- Dwelling on Dwellor's own window

TEST_F(E2eWindow, RestingOnAModeLabelSelectsItInRightMode) {
    writeSettings("[Program]\nEnabled=True\nInterval=200\n");
    startApp();
    clickAndLeave(kLabel6, kLabel4);  // Right, then rest on "L"
    EXPECT_TRUE(waitFor([&] {
        const Shot s = screenshot();
        return isRed(s, kLeftLabel) && isColourless(s, kRightLabel);
    })) << "a rest on L did not select Left";
    pointer_->warp(0, 0);
}

TEST_F(E2eWindow, RestingOnToggleInDoubleModeTogglesOnce) {
    writeSettings("[Program]\nEnabled=True\nInterval=200\n");
    startApp();
    clickAndLeave(kLabel7, kToggle);  // Double, then rest on Toggle
    ASSERT_TRUE(captionIs("Dwellor - Disabled"));
    // A double click would switch it straight back on; watch two periods.
    EXPECT_TRUE(holdsFor([&] { return caption() == "Dwellor - Disabled"; }, 400ms));
    EXPECT_EQ(readFile(settingsPath()), "[Program]\nEnabled=False\nInterval=200\n");
}

}  // namespace
