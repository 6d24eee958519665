// The program as a user meets it: clicking, the held drag press and the
// mode labels. The tray has a suite of its own (tray_e2e_test.cpp).
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

// The number of single left clicks at the resting point; fails on any other event.
int leftClicksAtRest(const std::vector<ButtonEvent>& events) {
    EXPECT_EQ(events.size() % 2, 0u);
    for (std::size_t i = 0; i < events.size(); ++i)
        EXPECT_EQ(events[i], at(1, i % 2 == 0, kRest)) << "event " << i;
    return static_cast<int>(events.size() / 2);
}

// Ticks start when clicking is switched on; the pointer arrives within a few
// milliseconds. The first tick on the probe only notes the position, each
// later one clicks.
double expectedClicks(double restedMs, double periodMs) { return restedMs / periodMs - 1; }

// ---- Clicking at the chosen period

using E2eClicking = E2eTest;

TEST_F(E2eClicking, TypedIntervalIsThePeriodOfClicksAtTheRestingPointer) {
    ASSERT_FALSE(std::filesystem::exists(settingsPath()));
    startApp();
    ASSERT_EQ(caption(), "Dwellor - Enabled");
    enableWithInterval("200");

    double rested = 0;
    const auto events = restOnProbe(1500ms, rested);
    EXPECT_NEAR(leftClicksAtRest(events), expectedClicks(rested, 200), 1.0) << "rested " << rested << " ms";
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
    double rested = 0;
    const auto events = restOnProbe(1500ms, rested);
    EXPECT_NEAR(leftClicksAtRest(events), expectedClicks(rested, 200), 1.0) << "rested " << rested << " ms";
}

TEST_F(E2eClicking, DisabledProgramDoesNotClick) {
    writeSettings("[Program]\nEnabled=False\nInterval=100\n");
    startApp();
    EXPECT_EQ(caption(), "Dwellor - Disabled");
    double rested = 0;
    EXPECT_EQ(restOnProbe(500ms, rested), std::vector<ButtonEvent>{});
}

// ---- A drag press held when the program ends

enum class Ending { ExitButton, Term, Int, Hup };

std::string nameOf(Ending e) {
    switch (e) {
        case Ending::ExitButton: return "ExitButton";
        case Ending::Term: return "Sigterm";
        case Ending::Int: return "Sigint";
        case Ending::Hup: return "Sighup";
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
                         ::testing::Values(Ending::ExitButton, Ending::Term, Ending::Int, Ending::Hup),
                         [](const ::testing::TestParamInfo<Ending>& i) { return nameOf(i.param); });

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

}  // namespace
